#include "app/code_page.h"

#ifndef LOCALE_IUSEUTF8LEGACYACP
#define LOCALE_IUSEUTF8LEGACYACP 0x00000666
#endif

// The system locale's (the "language for non-Unicode programs"), which
// earlier versions wrote in; where Windows' own UTF-8 option makes that
// 65001, the code page it stood for.
UINT legacy_ansi_code_page()
{
    DWORD page = 0;
    for (LCTYPE type : {LOCALE_IUSEUTF8LEGACYACP, LOCALE_IDEFAULTANSICODEPAGE}) {
        if (page && page != CP_UTF8) break;
        page = 0;
        GetLocaleInfoW(LOCALE_SYSTEM_DEFAULT, type | LOCALE_RETURN_NUMBER, reinterpret_cast<LPWSTR>(&page),
                       sizeof page / sizeof(WCHAR));
    }
    return page && page != CP_UTF8 ? page : 1252;
}

std::string code_page_to_utf8(const std::string& bytes, UINT page)
{
    int size = static_cast<int>(bytes.size());
    int wide = MultiByteToWideChar(page, 0, bytes.data(), size, nullptr, 0);
    if (wide <= 0) return "";
    std::wstring text(wide, L'\0');
    MultiByteToWideChar(page, 0, bytes.data(), size, &text[0], wide);
    int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), wide, nullptr, 0, nullptr, nullptr);
    if (length <= 0) return "";
    std::string utf8(length, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), wide, &utf8[0], length, nullptr, nullptr);
    return utf8;
}
