// Drive back end of a machine without drives: every query reports that
// there is no such drive. Streams and WMA files need a drive or a later
// back end; until then they fail cleanly.
#include "cdlib.h"
#include "cdlib_internal.h"

const char* BASS_CD_GetDriveDescription(CDLIB_DWORD drive)
{
#ifdef CDLIB_TEST_FAULT
    // Test build: a processor fault inside the library.
    volatile int* nowhere = nullptr;
    *nowhere = static_cast<int>(drive);
#endif
    (void)drive;
    cdlib_fail(CDLIB_ERROR_DEVICE);
    return nullptr;
}

CDLIB_DWORD BASS_CD_GetDriveLetter(CDLIB_DWORD) { cdlib_fail(CDLIB_ERROR_DEVICE); return 0xFFFFFFFFu; }
int BASS_CD_IsReady(CDLIB_DWORD) { return cdlib_fail(CDLIB_ERROR_DEVICE); }
int BASS_CD_GetTracks(CDLIB_DWORD) { cdlib_fail(CDLIB_ERROR_DEVICE); return -1; }
CDLIB_DWORD BASS_CD_GetTrackLength(CDLIB_DWORD, CDLIB_DWORD) { cdlib_fail(CDLIB_ERROR_DEVICE); return 0xFFFFFFFFu; }
const char* BASS_CD_GetID(CDLIB_DWORD, CDLIB_DWORD) { cdlib_fail(CDLIB_ERROR_DEVICE); return nullptr; }
HSTREAM BASS_CD_StreamCreate(CDLIB_DWORD, CDLIB_DWORD, CDLIB_DWORD) { return cdlib_fail(CDLIB_ERROR_DEVICE); }
int BASS_CD_StreamSetTrack(HSTREAM, CDLIB_DWORD) { return cdlib_fail(CDLIB_ERROR_HANDLE); }
CDLIB_QWORD BASS_ChannelGetLength(CDLIB_DWORD) { cdlib_fail(CDLIB_ERROR_HANDLE); return ~0ull; }
CDLIB_QWORD BASS_ChannelGetPosition(CDLIB_DWORD) { cdlib_fail(CDLIB_ERROR_HANDLE); return ~0ull; }
float BASS_ChannelBytes2Seconds(CDLIB_DWORD, CDLIB_QWORD bytes) { return static_cast<float>(static_cast<double>(bytes) / 176400.0); }
int BASS_ChannelPlay(CDLIB_DWORD, int) { return cdlib_fail(CDLIB_ERROR_HANDLE); }
CDLIB_DWORD BASS_ChannelIsActive(CDLIB_DWORD) { return BASS_ACTIVE_STOPPED; }
CDLIB_DWORD BASS_ChannelGetData(CDLIB_DWORD, void*, CDLIB_DWORD) { cdlib_fail(CDLIB_ERROR_HANDLE); return 0xFFFFFFFFu; }
HWMENCODE BASS_WMA_EncodeOpenFile(CDLIB_DWORD, CDLIB_DWORD, CDLIB_DWORD, CDLIB_DWORD, const char*) { return cdlib_fail(CDLIB_ERROR_NOTAVAIL); }
int BASS_WMA_EncodeSetTag(HWMENCODE, const char*, const char*, CDLIB_DWORD) { return cdlib_fail(CDLIB_ERROR_HANDLE); }
int BASS_WMA_EncodeWrite(HWMENCODE, const void*, CDLIB_DWORD) { return cdlib_fail(CDLIB_ERROR_HANDLE); }
void BASS_WMA_EncodeClose(HWMENCODE) {}
