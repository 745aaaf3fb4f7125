// Drive back end of a build without drives: the list is empty.
#include "cdlib.h"
#include "drives.h"

int backend_list_drives(DriveName*, int)
{
#ifdef CDLIB_TEST_FAULT
    // Test build: a processor fault inside the library.
    volatile int* nowhere = nullptr;
    *nowhere = 1;
#endif
    return 0;
}

int backend_read_disc(int, Toc*, CdText*, bool) { return CDLIB_ERROR_DEVICE; }
int backend_read_audio(int, uint32_t, uint32_t, uint8_t*, uint32_t*) { return CDLIB_ERROR_DEVICE; }
int backend_read_speed(int) { return 0; }
int backend_read_q(int, uint32_t, uint8_t*) { return CDLIB_ERROR_DEVICE; }
int backend_read_codes(int, int, std::string*, std::string*) { return CDLIB_ERROR_DEVICE; }
int backend_drive_info(int, CDLIB_DRIVEINFO*) { return CDLIB_ERROR_DEVICE; }
