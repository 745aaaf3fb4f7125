#include "checksum_worker.h"

#include <windows.h>

#include "app/log.h"
#include "proof/ar_checksum.h"

namespace {

// A ring of slots: the reader fills the one after the queued ones, the
// thread sums the oldest. The thread is woken once half the ring is queued
// (or the track ends), and sums all there is before it sleeps again: a
// wake per block would cost more than the sums.
constexpr int kSlots = 32;
constexpr int kWakeAt = kSlots / 2;

struct Slot {
    uint8_t data[kChecksumSlotBytes];
    ArChecksum* sum;
    size_t size;
};

Slot g_slots[kSlots];
SRWLOCK g_lock = SRWLOCK_INIT;
CONDITION_VARIABLE g_queued = CONDITION_VARIABLE_INIT;  // the thread waits for a block
CONDITION_VARIABLE g_freed = CONDITION_VARIABLE_INIT;   // the reader waits for a slot or the end
int g_oldest, g_pending;                                // under g_lock
bool g_thread_waits, g_reader_waits;                    // under g_lock
INIT_ONCE g_started = INIT_ONCE_STATIC_INIT;
bool g_running;

DWORD WINAPI sum_blocks(LPVOID)
{
    AcquireSRWLockExclusive(&g_lock);
    for (;;) {
        while (g_pending == 0) {
            g_thread_waits = true;
            SleepConditionVariableSRW(&g_queued, &g_lock, INFINITE, 0);
            g_thread_waits = false;
        }
        Slot& slot = g_slots[g_oldest];
        ReleaseSRWLockExclusive(&g_lock);
        ar_checksum_feed(slot.sum, slot.data, slot.size);
        AcquireSRWLockExclusive(&g_lock);
        g_oldest = (g_oldest + 1) % kSlots;
        --g_pending;
        if (g_reader_waits) WakeConditionVariable(&g_freed);
    }
}

BOOL CALLBACK start_thread(PINIT_ONCE, PVOID, PVOID*)
{
    HANDLE thread = CreateThread(nullptr, 0, sum_blocks, nullptr, 0, nullptr);
    if (!thread) {
        g_log.print("checksums: no thread (%lu), summed while reading", GetLastError());
        return TRUE;
    }
    CloseHandle(thread);
    g_running = true;
    return TRUE;
}

// Waits under g_lock until at most `most` blocks are queued.
void wait_until_pending(int most)
{
    while (g_pending > most) {
        g_reader_waits = true;
        SleepConditionVariableSRW(&g_freed, &g_lock, INFINITE, 0);
        g_reader_waits = false;
    }
}

}  // namespace

uint8_t* checksum_slot()
{
    InitOnceExecuteOnce(&g_started, start_thread, nullptr, nullptr);
    if (!g_running) return nullptr;
    AcquireSRWLockExclusive(&g_lock);
    wait_until_pending(kSlots - 1);
    uint8_t* data = g_slots[(g_oldest + g_pending) % kSlots].data;
    ReleaseSRWLockExclusive(&g_lock);
    return data;
}

void checksum_queue(ArChecksum* sum, size_t size)
{
    AcquireSRWLockExclusive(&g_lock);
    Slot& slot = g_slots[(g_oldest + g_pending) % kSlots];
    slot.sum = sum;
    slot.size = size;
    ++g_pending;
    if (g_thread_waits && g_pending >= kWakeAt) WakeConditionVariable(&g_queued);
    ReleaseSRWLockExclusive(&g_lock);
}

void checksum_finish()
{
    if (!g_running) return;
    AcquireSRWLockExclusive(&g_lock);
    if (g_thread_waits && g_pending > 0) WakeConditionVariable(&g_queued);
    wait_until_pending(0);
    ReleaseSRWLockExclusive(&g_lock);
}
