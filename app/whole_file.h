// Files written whole or not at all, and read whole.
#pragma once
#include <cstddef>
#include <string>

// Writes `bytes` under `path` + ".part" first, then moves them over `path`:
// a file cut short (a full volume) never stands under the name. log.txt
// says why a file was not written.
bool replace_file(const std::string& path, const std::string& bytes);

// The whole file, when it holds at most `limit` bytes.
bool read_whole_file(const char* path, size_t limit, std::string* bytes);
