// A track encoded on a thread of its own while the reader goes on with the
// next: MP3 from the track's capture file beside the program, read as it
// grows; WMA and FLAC from a bounded queue in memory. The reader opens the
// output (so that a file that cannot be made is told at once, as before)
// and feeds the job; the job encodes, tags and closes the file under its
// temporary name, or removes it.
#pragma once
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <cstdio>

#include "app/settings_rules.h"
#include "cdlib/cdlib.h"
#include "rip/rip_state.h"
#include "rip/tag_set.h"

struct FlacFile;

enum class JobEnd {
    kRunning,
    kWhole,    // the file is whole and tagged under its temporary name
    kFault,    // a write failed; `tell` says whether this job tells the user
    kStopped,  // the rip stopped or the capture was cut; nothing is left
};

struct EncodeJob {
    // Set by the reader before job_start.
    OutputFormat format = OutputFormat::kMp3;
    int track = 0;                  // 0-based
    TagSet tags;                    // this track's tags (none for WAV)
    char part_path[kMaxPathBytes] = {};  // written here, renamed once whole
    char final_path[kMaxPathBytes] = {};
    char capture_path[kMaxPathBytes] = {};  // MP3: the capture beside the program
    int capture_slot = -1;             // MP3: which of the capture names
    uint64_t length = 0;               // bytes of the track's audio
    unsigned long unread = 0;          // sectors the disc would not give

    // The feed: bytes of audio handed over (MP3: in the capture file) and
    // taken by the encoder; feeding is 1 while the reader still reads the
    // track, 0 once it has all been handed over, -1 when the capture was cut.
    std::atomic<uint64_t> fed{0};
    std::atomic<uint64_t> taken{0};
    std::atomic<int> feeding{1};
    char* queue = nullptr;  // WMA and FLAC
    HANDLE fed_event = nullptr, taken_event = nullptr, thread = nullptr;
    HANDLE capture = INVALID_HANDLE_VALUE;  // MP3: the job's own reading handle

    FILE* mp3 = nullptr;
    HWMENCODE wma = 0;
    FlacFile* flac = nullptr;

    // Set by the job before its thread ends.
    JobEnd end = JobEnd::kRunning;
    bool tell = false;  // the first fault of the rip came from this job
    char fault_path[kMaxPathBytes] = {};
    DWORD error = 0;
};

// Opens the job's output and starts its thread. False, after telling the
// user "Can't create file", when the output cannot be made (nothing is
// then left of it). MP3: the capture file must exist.
bool job_start(EncodeJob* job, uint64_t length);

// WMA and FLAC: queues a block of the track, waiting while the queue is
// full. False when the rip stops or the job has ended.
bool job_feed(EncodeJob* job, const char* data, size_t bytes);

// MP3: the first `bytes` of the track's audio are in the capture file.
void job_fed(EncodeJob* job, uint64_t bytes);

// The reader is done with the track: whole, or cut (the job then removes
// what it wrote). The capture file is the job's to remove from now on.
void job_feed_end(EncodeJob* job, bool whole);

// Whether the job's thread has ended, waiting up to `ms` for it.
bool job_ended(const EncodeJob* job, DWORD ms);

// The share of the track encoded so far, 0 to 1.
double job_share(const EncodeJob* job);

// Frees an ended job (or one never started).
void job_free(EncodeJob* job);
