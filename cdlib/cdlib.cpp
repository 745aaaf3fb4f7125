// Library-wide state: version, initialisation and the per-thread error code.
#include "cdlib.h"
#include "cdlib_internal.h"

#include <atomic>

#ifndef CDLIB_REPORTED_VERSION
#define CDLIB_REPORTED_VERSION CDLIB_VERSION_2_3
#endif

static thread_local int t_error = CDLIB_OK;
static std::atomic<int> g_initialised{0};

int cdlib_fail(int code)
{
    t_error = code;
    return 0;
}

void cdlib_ok()
{
    t_error = CDLIB_OK;
}

CDLIB_DWORD BASS_GetVersion(void)
{
    return CDLIB_REPORTED_VERSION;
}

int BASS_ErrorGetCode(void)
{
    return t_error;
}

int BASS_Init(int device, CDLIB_DWORD freq, CDLIB_DWORD, void*, const void*)
{
    if (device < -1 || freq == 0) return cdlib_fail(CDLIB_ERROR_ILLPARAM);
    int expected = 0;
    if (!g_initialised.compare_exchange_strong(expected, 1)) return cdlib_fail(CDLIB_ERROR_ALREADY);
    cdlib_ok();
    return 1;
}

int BASS_Free(void)
{
    if (g_initialised.exchange(0) == 0) return cdlib_fail(CDLIB_ERROR_INIT);
    cdlib_ok();
    return 1;
}

bool cdlib_initialised()
{
    return g_initialised.load() != 0;
}
