#include <gtest/gtest.h>

#include <sstream>

#include "rip/replaygain_tags.h"
#include "tests/table_file.h"

namespace {

void le(std::string* b, int n, uint64_t v)
{
    for (int i = 0; i < n; ++i, v >>= 8) b->push_back(static_cast<char>(v & 0xFF));
}

void be(std::string* b, int n, uint64_t v)
{
    for (int i = n - 1; i >= 0; --i) b->push_back(static_cast<char>(v >> (8 * i) & 0xFF));
}

std::string utf16(const std::string& s)
{
    std::string out;
    for (char c : s + '\0') out += c, out += '\0';
    return out;
}

std::vector<std::string> split(const std::string& text, char by)
{
    std::vector<std::string> parts;
    std::istringstream in(text);
    for (std::string part; std::getline(in, part, by);) parts.push_back(part);
    return parts;
}

const char kEcd[] = "\x40\xA4\xD0\xD2\x07\xE3\xD2\x11\x97\xF0\x00\xA0\xC9\x5E\xA8\x50";
const char kPad[] = "\x74\xD4\x06\x18\xDF\xCA\x09\x45\xA4\xBA\x9A\xAB\xCB\x96\xAA\xE8";
const char kHeader[] = "\x30\x26\xB2\x75\x8E\x66\xCF\x11\xA6\xD9\x00\xAA\x00\x62\xCE\x6C";

// A file's start in the row's format: its tag, then audio bytes.
std::string build(const std::string& format, const std::vector<std::string>& texts, long padding)
{
    std::string b;
    if (format == "flac") {
        std::string body;
        le(&body, 4, 4), body += "orvo";
        le(&body, 4, texts.size());
        for (const std::string& t : texts) le(&body, 4, t.size()), body += t;
        b = "fLaC";
        b += '\0', be(&b, 3, 34), b += std::string(34, '\x11');  // STREAMINFO
        b += static_cast<char>(padding < 0 ? 0x84 : 4), be(&b, 3, body.size()), b += body;
        if (padding >= 0) b += '\x81', be(&b, 3, padding), b += std::string(padding, '\0');
    } else if (format == "mp3") {
        std::string frames;
        for (const std::string& t : texts) {
            std::string id = t.substr(0, 4), rest = t.substr(5);
            std::string body = id == "TXXX" ? std::string(1, '\0') + rest.substr(0, rest.find('=')) + '\0' + rest.substr(rest.find('=') + 1)
                                            : std::string(1, '\0') + rest;
            frames += id, be(&frames, 4, body.size()), frames += std::string(2, '\0') + body;
        }
        size_t size = frames.size() + padding;
        b = std::string("ID3\x03\x00\x00", 6);
        for (int shift = 21; shift >= 0; shift -= 7) b += static_cast<char>(size >> shift & 0x7F);
        b += frames + std::string(padding, '\0');
    } else {
        std::string ecd(kEcd, 16), descriptors;
        for (const std::string& t : texts) {
            std::string name = utf16(t.substr(0, t.find('='))), value = utf16(t.substr(t.find('=') + 1));
            le(&descriptors, 2, name.size()), descriptors += name, le(&descriptors, 2, 0), le(&descriptors, 2, value.size()), descriptors += value;
        }
        le(&ecd, 8, 26 + descriptors.size()), le(&ecd, 2, texts.size()), ecd += descriptors;
        std::string pad;
        if (padding >= 0) pad = std::string(kPad, 16), le(&pad, 8, 24 + padding), pad += std::string(padding, '\0');
        b = std::string(kHeader, 16);
        le(&b, 8, 30 + ecd.size() + pad.size()), le(&b, 4, padding >= 0 ? 2 : 1), b += "\x01\x02";
        b += ecd + pad;
    }
    return b + "AUDIO";
}

// The texts of a tag as built above, and the padding after them.
std::string read_back(const std::string& format, const std::string& b)
{
    std::string out;
    size_t padding = 0;
    auto add = [&](const std::string& t) { out += (out.empty() ? "" : ";") + t; };
    auto get = [&](size_t at, int n, bool little) {
        uint64_t v = 0;
        for (int i = 0; i < n; ++i) v = little ? v | static_cast<uint64_t>(static_cast<uint8_t>(b[at + i])) << (8 * i) : v << 8 | static_cast<uint8_t>(b[at + i]);
        return v;
    };
    if (format == "flac") {
        for (size_t at = 4;;) {
            int type = b[at] & 0x7F;
            size_t length = get(at + 1, 3, false);
            if (type == 4) {
                size_t p = at + 4 + 4 + get(at + 4, 4, true), n = get(p, 4, true);
                for (p += 4; n--; p += 4 + get(p, 4, true)) add(b.substr(p + 4, get(p, 4, true)));
            }
            if (type == 1) padding = length;
            if (b[at] & 0x80) break;
            at += 4 + length;
        }
    } else if (format == "mp3") {
        size_t end = 10 + (get(6, 1, false) << 21 | get(7, 1, false) << 14 | get(8, 1, false) << 7 | get(9, 1, false)), at = 10;
        for (; at < end && b[at]; at += 10 + get(at + 4, 4, false)) {
            std::string body = b.substr(at + 11, get(at + 4, 4, false) - 1);
            if (body.find('\0') != std::string::npos) body[body.find('\0')] = '=';
            add(b.substr(at, 4) + "=" + body);
        }
        padding = end - at;
    } else {
        for (size_t at = 30; at < get(16, 8, true); at += get(at + 16, 8, true)) {
            if (b.compare(at, 16, kPad, 16) == 0) padding = get(at + 16, 8, true) - 24;
            if (b.compare(at, 16, kEcd, 16) != 0) continue;
            size_t p = at + 26;
            for (size_t n = get(at + 24, 2, true); n--;) {
                size_t name = get(p, 2, true), value = get(p + 4 + name, 2, true);
                std::string text;
                for (size_t c = 0; c + 2 < name; c += 2) text += b[p + 2 + c];
                text += '=';
                for (size_t c = 0; c + 2 < value; c += 2) text += b[p + 6 + name + c];
                add(text);
                p += 6 + name + value;
            }
        }
    }
    return out + " + " + std::to_string(padding);
}

std::string gains(const TableRow& row)
{
    std::string format = row.at(0), why;
    std::string head = build(format, split(row.at(1), ';'), row.at(2) == "-" ? -1 : std::stol(row.at(2)));
    size_t before = head.size();
    GainValues values = {{"REPLAYGAIN_TRACK_GAIN", "-6.54 dB"}, {"REPLAYGAIN_TRACK_PEAK", "0.987654"}};
    size_t (*put)(std::string*, const GainValues&, std::string*) =
        format == "flac" ? flac_with_gains : format == "mp3" ? id3v2_with_gains : asf_with_gains;
    size_t spans = put(&head, values, &why);
    if (!spans) return why;
    if (head.size() != before || spans != before - 5 || head.substr(spans) != "AUDIO") return "the file's size or audio changed";
    return read_back(format, head);
}

}  // namespace

TEST(Rip, ReplayGainTagsInPlace) { check_table("rip/replaygain.table", gains); }
