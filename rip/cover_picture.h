// The album's front cover as the tags carry it: only a JPEG or a PNG whose
// header gives its size is taken, and only up to a bound that every
// format's picture block holds.
#pragma once
#include <cstddef>
#include <string>

#include "rip/tag_set.h"

constexpr size_t kMaxCoverBytes = 4u << 20;

// Fills `cover` with `bytes` and what their header says (MIME type, width,
// height, bits a pixel) when they are a JPEG or a PNG of at most
// kMaxCoverBytes; false, leaving `cover` as it was, for anything else.
bool read_cover_picture(const std::string& bytes, CoverPicture* cover);
