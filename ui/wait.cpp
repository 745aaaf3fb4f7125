#include "wait.h"

#include <windows.h>

void wait_until_clear(const std::atomic<int>& flag)
{
    while (flag.load() != 0) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_SENDMESSAGE);
        MSG msg;
        PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}
