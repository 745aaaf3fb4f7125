// CDDB replies of any bytes through the reply check, the value, year and
// genre search and the DTITLE split. The first byte chooses the out buffers'
// size (1 to 256 bytes), each buffer allocated at exactly that size: a
// value as long as the buffer is then quick to find, and a write one byte
// past it is caught. What a buffer gets is all of the whole value that
// fits; a value holds no line break and, from one line, is that line's
// rest. The same text as an e-mail address: the hello words decode back to
// it. The same bytes as a cover picture: what is taken has a size and is
// a JPEG or a PNG of bounded size.
#include "lookup/cddb.h"
#include "rip/cover_picture.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

// Whether `got`, out of a buffer of `size` bytes, is as much of `whole` as fits.
static bool cut_of(const std::string& whole, const char* got, size_t size)
{
    return strlen(got) == std::min(whole.size(), size - 1) && whole.compare(0, size - 1, got) == 0;
}

// The value of `key`, whole and in a buffer of `size` bytes; returns the whole.
static std::string check_value(const std::string& reply, const char* key, size_t size)
{
    std::vector<char> whole(reply.size() + 1), cut(size);
    bool found = cddb_value(reply.c_str(), key, whole.data(), whole.size());
    std::string value = whole.data(), line = std::string(key) + "=";
    size_t at = reply.find(line);
    if (found == value.empty() || cddb_value(reply.c_str(), key, cut.data(), size) != (found && size > 1) ||
        !cut_of(value, cut.data(), size) || value.find_first_of("\r\n") != std::string::npos || (found && at == std::string::npos))
        abort();
    at += line.size();
    if (found && at == reply.rfind(line) + line.size() &&
        (reply.compare(at, value.size(), value) || !strchr("\r\n", reply[at + value.size()])))
        abort();
    return value;
}

// The hello words: only characters a query carries as they are, '+' for
// the '@', %XX for the rest, and they decode back to the address.
static void check_hello(const char* email, size_t size)
{
    std::vector<char> hello(size);
    std::string back;
    if (!cddb_hello_words(email, hello.data(), size)) return;
    for (const char* p = hello.data(); *p; ++p) {
        if (*p == '%' && isxdigit(static_cast<unsigned char>(p[1])) && isxdigit(static_cast<unsigned char>(p[2])))
            back += static_cast<char>(strtoul(std::string(p + 1, 2).c_str(), nullptr, 16)), p += 2;
        else if (*p == '+') back += '@';
        else if (isalnum(static_cast<unsigned char>(*p)) || strchr("-._~", *p)) back += *p;
        else abort();
    }
    if (back != email || back.size() > kMaxEmailLength) abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) return 0;
    size_t out_size = 1 + data[0];
    std::string reply(reinterpret_cast<const char*>(data + 1), size - 1);
    reply = reply.c_str();  // as the program reads it: up to the first NUL
    std::vector<char> year(out_size), genre(out_size), artist(out_size), album(out_size);
    CddbReply kind = classify_cddb_reply(200, reply.c_str());
    if (classify_cddb_reply(404, reply.c_str()) != CddbReply::kHttpError ||
        (kind == CddbReply::kEntry && reply.compare(0, 3, "210")) || (kind == CddbReply::kNoEntry && reply.compare(0, 3, "401")))
        abort();
    for (const char* key : {"DTITLE", "EXTD", "TTITLE0", "TTITLE1", "TTITLE12"}) check_value(reply, key, out_size);
    // A year is four digits, all that fit; none when the entry has none.
    bool dated = cddb_year(reply.c_str(), year.data(), out_size);
    size_t digits = strlen(year.data());
    if (digits != (dated ? std::min<size_t>(4, out_size - 1) : 0) || strspn(year.data(), "0123456789") != digits) abort();
    // The genre is DGENRE, else the category's name; "misc" names none.
    std::string dgenre = check_value(reply, "DGENRE", out_size);
    bool named = cddb_genre(reply.c_str(), "rock", genre.data(), out_size);
    if (named != (genre[0] != '\0') || !cut_of(dgenre.empty() ? "Rock" : dgenre, genre.data(), out_size) ||
        cddb_genre(reply.c_str(), "misc", genre.data(), out_size) != (!dgenre.empty() && out_size > 1))
        abort();
    // The artist stands before the first " / ", the album after it.
    size_t mark = reply.find(" / ");
    split_dtitle(reply.c_str(), artist.data(), out_size, album.data(), out_size);
    if (!cut_of(reply.substr(0, mark), artist.data(), out_size) ||
        !cut_of(mark == std::string::npos ? "" : reply.substr(mark + 3), album.data(), out_size))
        abort();
    check_hello(reply.c_str(), out_size);
    CoverPicture cover;
    std::string bytes(reinterpret_cast<const char*>(data), size);
    if (!read_cover_picture(bytes, &cover)) return 0;
    std::string start = cover.mime == "image/png" ? "\x89PNG" : cover.mime == "image/jpeg" ? "\xFF\xD8" : "?";
    if (!cover.width || !cover.height || !cover.depth || cover.bytes != bytes || bytes.compare(0, start.size(), start))
        abort();
    return 0;
}
