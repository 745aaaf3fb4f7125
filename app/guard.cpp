#include "guard.h"

#include <windows.h>
#include <atomic>
#include <exception>

namespace {

std::atomic<DWORD> g_guarded_thread{0};
void (*g_finish)() = nullptr;

void show_failure()
{
    MessageBoxA(nullptr, "Failed", "Error", MB_OK);
}

bool on_guarded_thread()
{
    return g_guarded_thread.load() == GetCurrentThreadId();
}

// A fault that nothing handled. On the guarded thread it ends the run the
// way a caught failure does; elsewhere the system's handling goes on.
LONG WINAPI on_unhandled_fault(EXCEPTION_POINTERS*)
{
    if (!on_guarded_thread()) return EXCEPTION_CONTINUE_SEARCH;
    g_guarded_thread = 0;
    show_failure();
    g_finish();
    return EXCEPTION_EXECUTE_HANDLER;
}

// An exception that found no handler on its way up (for example one that
// could not unwind through a system callback).
void on_terminate()
{
    if (on_guarded_thread()) {
        g_guarded_thread = 0;
        show_failure();
        g_finish();
    }
    ExitProcess(3);
}

}  // namespace

bool run_guarded(void (*body)(), void (*finish)())
{
    g_finish = finish;
    g_guarded_thread = GetCurrentThreadId();
    LPTOP_LEVEL_EXCEPTION_FILTER previous_filter = SetUnhandledExceptionFilter(on_unhandled_fault);
    std::terminate_handler previous_terminate = std::set_terminate(on_terminate);
    bool completed = false;
    try {
        body();
        completed = true;
    } catch (...) {
        g_guarded_thread = 0;
        show_failure();
    }
    g_guarded_thread = 0;
    std::set_terminate(previous_terminate);
    SetUnhandledExceptionFilter(previous_filter);
    return completed;
}
