// Checksums taken beside the reading. The capture reads each block into a
// slot lent from here, writes it out and queues it; a thread of its own
// adds it to the track's sums while the next block is read, so the sums
// cost the reading nothing while a core is free.
#pragma once
#include <cstddef>
#include <cstdint>

struct ArChecksum;

constexpr size_t kChecksumSlotBytes = 20000;

// The slot to read the next block into (kChecksumSlotBytes), once one is
// free. Null when the thread cannot be started: the caller then sums the
// block itself.
uint8_t* checksum_slot();

// Queues the slot checksum_slot gave, holding `size` bytes, for `sum`.
void checksum_queue(ArChecksum* sum, size_t size);

// Returns once every queued block is in its sums.
void checksum_finish();
