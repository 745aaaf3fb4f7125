#pragma once
#include <windows.h>

#include <atomic>

// Polls `flag` every 50 ms until it is 0. While it waits, the calling (UI)
// thread keeps answering messages that other threads send to its windows,
// so a worker in the middle of a synchronous request can always finish it.
// Posted messages stay queued.
void wait_until_clear(const std::atomic<int>& flag);
