#include "proof/loudness.h"

#include <ebur128.h>

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

constexpr unsigned kRate = 44100, kChannels = 2;
constexpr size_t kFrameBytes = 4;

bool audible(double lufs)
{
    return std::isfinite(lufs);
}

}  // namespace

LoudnessMeter::~LoudnessMeter()
{
    if (state_) ebur128_destroy(&state_);
}

bool LoudnessMeter::start()
{
    if (state_) ebur128_destroy(&state_);
    partial_bytes_ = 0;
    // Every 400 ms block's energy is kept (a few hundred KiB for an hour):
    // the library's histogram would be smaller but rounds to 0.1 LU.
    state_ = ebur128_init(kChannels, kRate, EBUR128_MODE_I);
    return state_ != nullptr;
}

void LoudnessMeter::feed(const uint8_t* data, size_t size)
{
    if (!state_) return;
    int16_t frames[2048 * kChannels];
    size_t count = 0;
    auto flush = [&] {
        if (count) ebur128_add_frames_short(state_, frames, count);
        count = 0;
    };
    auto take = [&](const uint8_t* frame) {
        for (unsigned c = 0; c < kChannels; ++c)
            frames[count * kChannels + c] = static_cast<int16_t>(frame[2 * c] | frame[2 * c + 1] << 8);
        if (++count == sizeof frames / sizeof frames[0] / kChannels) flush();
    };
    while (size > 0 && partial_bytes_ > 0) {  // a frame the last block began
        partial_[partial_bytes_++] = *data++, --size;
        if (partial_bytes_ == kFrameBytes) take(partial_), partial_bytes_ = 0;
    }
    for (; size >= kFrameBytes; data += kFrameBytes, size -= kFrameBytes) take(data);
    flush();
    memcpy(partial_, data, size);
    partial_bytes_ = size;
}

bool LoudnessMeter::loudness(double* lufs) const
{
    return state_ && ebur128_loudness_global(state_, lufs) == EBUR128_SUCCESS && audible(*lufs);
}

bool album_loudness(const std::vector<const LoudnessMeter*>& tracks, double* lufs)
{
    std::vector<ebur128_state*> states;
    for (const LoudnessMeter* track : tracks)
        if (track && track->state()) states.push_back(track->state());
    return !states.empty() && ebur128_loudness_global_multiple(states.data(), states.size(), lufs) == EBUR128_SUCCESS &&
           audible(*lufs);
}

std::string replaygain_gain_text(double lufs)
{
    char text[32];
    double gain = kReplayGainReference - lufs;
    snprintf(text, sizeof text, "%.2f dB", std::fabs(gain) < 0.005 ? 0.0 : gain);
    return text;
}

std::string replaygain_peak_text(int peak)
{
    char text[32];
    snprintf(text, sizeof text, "%.6f", peak / 32768.0);
    return text;
}
