// Set-up steps: discs, files, settings, the program's start.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "tests/support/scenario.h"

namespace scenario {

// Samples of `frames` stereo frames, different for every track number.
std::string pattern(int track, uint32_t frames)
{
    std::string bytes(frames * 4, '\0');
    for (uint32_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>((i * 13 + track * 101 + i / 997) & 0xFF);
    return bytes;
}

void make_parents(const std::string& path)
{
    for (size_t at = path.find('\\', 3); at != std::string::npos; at = path.find('\\', at + 1))
        CreateDirectoryA(path.substr(0, at).c_str(), nullptr);
}

bool write(Run& run, const std::string& path, const std::string& bytes)
{
    make_parents(path);
    return harness::write_file(path, bytes) || fail(run, "cannot write " + show(path));
}

bool copy_path(Run& run, const std::string& from, const std::string& to)
{
    make_parents(to);
    return (harness::copy_tree(from, to) && harness::file_exists(to)) || fail(run, "cannot copy " + show(from));
}

uint32_t le32(const std::string& s, size_t at)
{
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<uint8_t>(at + i < s.size() ? s[at + i] : 0);
    return v;
}

// The file a WAV rip of the track must make: header, samples, and the
// silence of a gap after them.
std::string wav_file(int track, uint32_t frames, uint32_t silence)
{
    uint32_t data = (frames + silence) * 4;
    // RIFF size, "WAVE", "fmt ", 16, PCM stereo, 44100 Hz, bytes a second, 4-byte frames of 16 bits, "data", size
    const uint32_t fields[] = {36 + data, 0x45564157, 0x20746d66, 16,         0x00020001,
                               44100,     176400,     0x00100004, 0x61746164, data};
    std::string bytes = "RIFF";
    for (uint32_t f : fields) bytes.append(reinterpret_cast<const char*>(&f), 4);
    return bytes + pattern(track, frames) + std::string(silence * 4, '\0');
}

std::string msf(uint32_t sector)
{
    char text[16];
    snprintf(text, sizeof text, "%02u:%02u:%02u", sector / 4500, sector / 75 % 60, sector % 75);
    return text;
}

std::string cue_track(int track, const char* mode, uint32_t at, const std::string* title, uint32_t gap)
{
    return "  TRACK " + std::string(track < 10 ? "0" : "") + to_string(track) + " " + mode + "\n" +
           (title ? "    TITLE \"" + *title + "\"\n" : "") + (gap ? "    PREGAP " + msf(gap) + "\n" : "") +
           "    INDEX 01 " + msf(at) + "\n";
}

// `files=wave`: each audio track a WAVE file of its own, with a chunk before
// "fmt " that a reader must skip; `files=motorola`: one raw file of
// big-endian samples; `gap=S`: S seconds of silence that no file holds
// before every audio track but the first.
bool disc(Run& run, Strings& a)
{
    constexpr uint32_t kDataSectors = 300;
    std::string cue, bin, data, files = "binary";
    Strings titles;
    bool titled = false;
    uint32_t gap = 0;
    int track = 1;  // `first=N`: the disc numbers its tracks from N
    for (size_t i = 2; i < a.size() && !a[i].empty(); ++i) {
        std::string option = a[i].substr(0, a[i].find('=') + 1), value = a[i].substr(option.size());
        if (option == "speed=") cue += "REM SPEED " + value + "\n";
        else if (option == "delay=") cue += "REM DELAY " + value + "\n";
        else if (option == "cdtext=") cue += "CDTEXTFILE \"" + value + "\"\n";
        else if (option == "titles=") titled = true, titles = pieces(value, "|");
        else if (option == "data=" && (value == "first" || value == "last")) data = value;
        else if (option == "files=" && (value == "wave" || value == "motorola" || value == "binary")) files = value;
        else if (option == "gap=") gap = static_cast<uint32_t>(lround(atof(value.c_str()) * 75));
        else if (option == "first=") track = atoi(value.c_str());
        else return fail(run, "unknown disc option " + show(a[i]));
    }
    if (files == "wave" && !data.empty()) return fail(run, "a data track goes with one image file only");
    cue += files == "wave" ? "" : "FILE \"" + a[0] + ".bin\" " + (files == "motorola" ? "MOTOROLA\n" : "BINARY\n");
    uint32_t at = 0;
    auto add_data = [&] {
        cue += cue_track(track++, "MODE1/2352", at, nullptr, 0);
        bin += std::string(kDataSectors * 2352, 'D');
        at += kDataSectors;
    };
    if (data == "first") add_data();
    Strings lengths = pieces(a[1], ",");
    for (size_t i = 0; i < lengths.size(); ++i) {
        long sectors = lround(atof(lengths[i].c_str()) * 75);
        if (sectors < 1) return fail(run, "bad length " + show(lengths[i]));
        std::string samples = pattern(track, static_cast<uint32_t>(sectors) * 588);
        if (lengths[i].back() == 's') samples.assign(samples.size(), '\0');  // "2s": digital silence
        if (lengths[i].back() == 'f') samples[0] = '\0', samples[1] = '\x80';  // "2f": a sample at full scale
        if (files == "wave") {
            std::string name = a[0] + "-" + to_string(track) + ".wav";
            cue += "FILE \"" + name + "\" WAVE\n";
            std::string wave = wav_file(track, static_cast<uint32_t>(sectors) * 588, 0);
            uint32_t riff = le32(wave, 4) + 14;
            wave.replace(4, 8, std::string(reinterpret_cast<char*>(&riff), 4) + "WAVELIST" + std::string("\6\0\0\0hello", 10));
            if (!write(run, run.vars["DISCS"] + "\\" + name, wave)) return false;
            at = 0;
        }
        for (size_t b = 0; files == "motorola" && b + 1 < samples.size(); b += 2) std::swap(samples[b], samples[b + 1]);
        cue += cue_track(track, "AUDIO", at, titled && i < titles.size() ? &titles[i] : nullptr, i ? gap : 0);
        bin += files == "wave" ? "" : samples;
        ++track;
        at += static_cast<uint32_t>(sectors);
    }
    if (data == "last") add_data();
    return (files == "wave" || write(run, run.vars["DISCS"] + "\\" + a[0] + ".bin", bin)) &&
           write(run, run.vars["DISCS"] + "\\" + a[0] + ".cue", cue);
}

bool is_format(const std::string& word) { return strstr(" wav mp3 wma flac ", (" " + word + " ").c_str()); }

bool format(Run& run, Strings& a)
{
    std::string ini = "[Settings]\r\nMP3=" + to_string(a[0] == "mp3") + "\r\nWAV=" + to_string(a[0] == "wav") +
                      "\r\nWMA=" + to_string(a[0] == "wma") + "\r\nOutput=" + (a[1].empty() ? run.vars["OUT"] : a[1]) +
                      "\r\n" + (a[0] == "flac" ? "FLAC=1\r\n" : "") + "TestAndCopy=0\r\n";
    if (!is_format(a[0])) return fail(run, "format wav|mp3|wma|flac [ROOT]");
    return write(run, run.vars["PROG"] + "\\settings.ini", ini);
}

bool start(Run& run, Strings& a)
{
    bool wait = a[0].compare(0, 6, "nowait") != 0;
    std::string exe = wait ? a[0] : a[0].substr(std::min<size_t>(a[0].size(), 7));
    if (exe.empty()) exe = run.vars["SIM"];
    run.exe_in_prog = run.program.folder + exe.substr(exe.find_last_of('\\'));
    // The first refresh has ended, and the lookup that may follow it.
    auto refreshed = [&] {
        return log_of(run).find("end thread...") != std::string::npos && harness::window_text(run.status) == "Done";
    };
    // Under Wine a process start fails once in a long while: one more try.
    bool began = run.program.start(exe) || (Sleep(500), run.program.start(exe));
    DWORD why = began ? 0 : GetLastError();
    run.started = began && (!wait || (main_window(run) && harness::wait_until(refreshed, 10000)));
    return run.started ||
           fail(run, show(exe) + " did not start (error " + to_string(why) + ")" + (wait ? " or read its disc" : ""));
}

// The first file named `name` under `folder`, searched depth first; "" when none.
std::string find_file(const std::string& folder, const char* name)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    std::string path;
    for (bool more = search != INVALID_HANDLE_VALUE; more && path.empty(); more = FindNextFileA(search, &found)) {
        std::string entry = found.cFileName;
        if (entry == "." || entry == "..") continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) path = find_file(folder + "\\" + entry, name);
        else if (entry == name) path = folder + "\\" + entry;
    }
    if (search != INVALID_HANDLE_VALUE) FindClose(search);
    return path;
}

// The AccurateRip database's answer for the disc of `disc NAME LENGTHS
// [OPTIONS]` at its path on the test server, as tests/proof/accuraterip_ref.py
// made it beforehand (from its own checksums and ids, not the program's) in
// ${AR}\<the step's words joined by "_">; its opening comment has the options.
bool accuraterip_answer(Run& run, Strings& a)
{
    std::string key = a[0];
    for (const std::string& word : pieces(a[1], " ")) key += word.empty() ? "" : "_" + word;
    std::string folder = run.vars["AR"] + "\\" + key, reply = find_file(folder, "reply.bin");
    if (reply.empty()) return fail(run, "no answer made for " + show(key) + " in " + show(run.vars["AR"]));
    return write(run, run.vars["SERVER"] + "\\www.accuraterip.com" + reply.substr(folder.size()), harness::read_file(reply));
}

const std::vector<Verb> kSetupVerbs = {
    {"accuraterip", "wT", accuraterip_answer},
    {"disc", "wwWWWWWW", disc},
    {"file", "pt", [](Run& r, Strings& a) { return write(r, a[0], a[1]); }},
    {"copy", "pr", [](Run& r, Strings& a) { return copy_path(r, a[0], a[1]); }},
    {"mkdir", "r", [](Run& r, Strings& a) {
         return make_parents(a[0] + "\\"), harness::file_exists(a[0]) || fail(r, "no folder made");
     }},
    // Another program holds the file open, shared for reading only, until
    // the run ends: a read-only attribute would not do (as root under Wine
    // it does not stop a write).
    {"hold", "r", [](Run& r, Strings& a) {
         HANDLE file = CreateFileA(a[0].c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
         return file != INVALID_HANDLE_VALUE ? (r.held.push_back(file), true) : fail(r, "cannot hold " + show(a[0]));
     }},
    // The program's folder becomes this one (before any file of it).
    {"home", "r", [](Run& r, Strings& a) {
         r.program.folder = a[0];
         r.vars["PROG"] = a[0];
         r.vars["DISCS"] = a[0] + "\\discs";
         return true;
     }},
    {"settings", "t", [](Run& r, Strings& a) { return write(r, r.vars["PROG"] + "\\settings.ini", a[0]); }},
    {"format", "wR", format},
    {"start", "T", start},
};

}  // namespace scenario
