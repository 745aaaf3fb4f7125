#include "app/whole_file.h"

#include <windows.h>

#include "app/log.h"

bool replace_file(const std::string& path, const std::string& bytes)
{
    std::string part = path + ".part";
    HANDLE file = CreateFileA(part.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    bool whole = file != INVALID_HANDLE_VALUE &&
                 WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) && written == bytes.size();
    if (file != INVALID_HANDLE_VALUE && !CloseHandle(file)) whole = false;
    if (whole && MoveFileExA(part.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
    g_log.print("%s not written (%lu)", path.c_str(), GetLastError());
    DeleteFileA(part.c_str());
    return false;
}

bool read_whole_file(const char* path, size_t limit, std::string* bytes)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size = {};
    DWORD read = 0;
    bool ok = GetFileSizeEx(file, &size) && size.QuadPart <= static_cast<LONGLONG>(limit);
    if (ok) bytes->resize(static_cast<size_t>(size.QuadPart));
    ok = ok && (bytes->empty() || (ReadFile(file, &(*bytes)[0], static_cast<DWORD>(bytes->size()), &read, nullptr) &&
                                   read == bytes->size()));
    CloseHandle(file);
    return ok;
}
