#include "rip/replaygain.h"

#include <windows.h>

#include <cstring>

namespace {

constexpr DWORD kMaxTagBytes = 9u << 20;  // a tag with the largest cover the program writes, and more

bool at_start(HANDLE file, bool write, void* data, DWORD bytes)
{
    LARGE_INTEGER zero = {};
    DWORD done = 0;
    return SetFilePointerEx(file, zero, nullptr, FILE_BEGIN) &&
           (write ? WriteFile(file, data, bytes, &done, nullptr) : ReadFile(file, data, bytes, &done, nullptr)) && done == bytes;
}

std::string system_reason(const char* what)
{
    char text[96];
    snprintf(text, sizeof text, "%s (error %lu)", what, GetLastError());
    return text;
}

bool ends_with(const std::string& text, const char* end)
{
    size_t n = strlen(end);
    return text.size() >= n && _stricmp(text.c_str() + text.size() - n, end) == 0;
}

}  // namespace

std::string write_gain_tags(const std::string& path, const GainValues& values)
{
    size_t (*put)(std::string*, const GainValues&, std::string*) = ends_with(path, ".flac") ? flac_with_gains
                                                                  : ends_with(path, ".mp3") ? id3v2_with_gains
                                                                  : ends_with(path, ".wma") ? asf_with_gains
                                                                                            : nullptr;
    if (!put) return "no tags in this format";
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return system_reason("cannot open it");
    LARGE_INTEGER size = {};
    std::string why;
    if (!GetFileSizeEx(file, &size)) why = system_reason("cannot tell its size");
    DWORD bytes = size.QuadPart < kMaxTagBytes ? static_cast<DWORD>(size.QuadPart) : kMaxTagBytes;
    std::string was(bytes, '\0'), head;
    if (why.empty() && !at_start(file, false, &was[0], bytes)) why = system_reason("cannot read it");
    head = was;
    size_t spans = why.empty() ? put(&head, values, &why) : 0;
    if (spans && head.compare(0, spans, was, 0, spans) != 0) {
        // One write of the tag's bytes over themselves: nothing grows, so
        // a full volume cannot cut it; read back to be sure.
        std::string check(spans, '\0');
        bool written = at_start(file, true, &head[0], static_cast<DWORD>(spans)) && FlushFileBuffers(file) &&
                       at_start(file, false, &check[0], static_cast<DWORD>(spans)) && check.compare(0, spans, head, 0, spans) == 0;
        if (!written) {
            why = system_reason("the write failed");
            at_start(file, true, &was[0], static_cast<DWORD>(spans));  // what it was, as far as the system lets
            FlushFileBuffers(file);
        }
    }
    CloseHandle(file);
    return why;
}
