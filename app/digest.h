// SHA-1 and SHA-256 of a text, through the system's cryptography (BCrypt).
#pragma once
#include <cstdint>
#include <string>

bool sha1_digest(const std::string& text, uint8_t digest[20]);
bool sha256_digest(const std::string& text, uint8_t digest[32]);
