// ReplayGain values put into the tags of finished files, in place: within
// the room the tag keeps for later edits (FLAC's PADDING block, ID3v2's
// padding, an ASF Padding Object), so the audio never moves and a file is
// rewritten in one piece of its first bytes or not at all. Each function
// takes the file's first bytes (at least its whole tag), changes them in
// place and returns how many bytes from the start its tag spans (what to
// write back: the same bytes as before beyond it); 0, with why, when the
// tag is not laid out as expected, lies past `head`, or has no room.
#pragma once
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

// Name and value, in the order written: REPLAYGAIN_TRACK_GAIN "-6.54 dB"...
typedef std::vector<std::pair<std::string, std::string>> GainValues;

// FLAC: Vorbis comments, any earlier REPLAYGAIN_ ones replaced.
size_t flac_with_gains(std::string* head, const GainValues& values, std::string* why);
// MP3: ID3v2.3 or 2.4 TXXX frames, any earlier REPLAYGAIN_ ones replaced.
size_t id3v2_with_gains(std::string* head, const GainValues& values, std::string* why);
// WMA: Unicode attributes of the Extended Content Description object.
size_t asf_with_gains(std::string* head, const GainValues& values, std::string* why);

// An ID3v2 tag (all of it) given at least `bytes` of padding, its size in
// the header to match; false for a tag not laid out as expected.
bool id3v2_with_padding(std::string* tag, size_t bytes);

// The room a new file's tag keeps for the four values and their names,
// several times over.
constexpr size_t kGainRoomBytes = 1024;
