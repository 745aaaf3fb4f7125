#include "refresh_worker.h"

std::atomic<int> g_refresh_busy{0};
std::atomic<int> g_refresh_abort{0};
std::atomic<int> g_drive_index{0};
