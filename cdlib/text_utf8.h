// UTF-8 checks and the conversion of ISO-8859-1 texts, for texts from discs,
// servers and files that may come in either.
#pragma once
#include <string>

// Whether `text` is well-formed UTF-8 (no overlong forms, no surrogates, nothing past U+10FFFF).
bool is_valid_utf8(const std::string& text);

// Each byte of `text` as the ISO-8859-1 letter it stands for, in UTF-8;
// bytes 80-9F, control characters there, as the punctuation code page 1252
// has in their place (what Windows tools write: ’ “ ” – … €).
std::string latin1_to_utf8(const std::string& text);
