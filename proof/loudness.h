// Loudness for ReplayGain 2: the EBU R 128 integrated loudness of a
// track's audio (44.1 kHz 16-bit stereo, fed as it is read, in blocks of
// any size), and of several tracks as one album; the gains and peaks as
// players read them from tags.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <ebur128.h>

constexpr double kReplayGainReference = -18.0;  // LUFS

class LoudnessMeter {
public:
    LoudnessMeter() = default;
    ~LoudnessMeter();
    LoudnessMeter(const LoudnessMeter&) = delete;
    LoudnessMeter& operator=(const LoudnessMeter&) = delete;

    // A new measurement; false when the library cannot make one.
    bool start();
    void feed(const uint8_t* data, size_t size);
    // LUFS; false for audio without loudness (digital silence, or too
    // quiet for the gate) or no measurement.
    bool loudness(double* lufs) const;
    ebur128_state* state() const { return state_; }

private:
    ebur128_state* state_ = nullptr;
    uint8_t partial_[4] = {};
    size_t partial_bytes_ = 0;
};

// The loudness of the measured tracks together; false as above.
bool album_loudness(const std::vector<const LoudnessMeter*>& tracks, double* lufs);

// "-6.54 dB": the gain that brings `lufs` to the reference.
std::string replaygain_gain_text(double lufs);
// "0.987654": the largest absolute sample (0 to 32768) as a fraction of full scale.
std::string replaygain_peak_text(int peak);
