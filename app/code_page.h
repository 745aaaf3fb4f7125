// Texts between code pages: the system's legacy ANSI code page (which the
// program's own declaration of UTF-8 does not change) and UTF-8.
#pragma once
#include <windows.h>

#include <string>

UINT legacy_ansi_code_page();

// `bytes` in code page `page`, as UTF-8 ("" when they do not convert).
std::string code_page_to_utf8(const std::string& bytes, UINT page);
