#pragma once
// The exports of libMcuLoaderDLL.so, the MCU programming library.
//
// StartUpdateMicom opens the port (e.g. u"COM5:") at 9600 baud and starts the programming of
// the MCU's flash with the image at a device path (e.g. u"\\SDMMC Card\\UpdateXan\\MICOM.BIN")
// for chip variant 0 or 1. It returns at once: nonzero once the port is open and configured,
// 0 when it cannot be (or while another update runs). Progress and the result arrive as the
// registered window message "MICOM_UPDATE", sent to every top-level window:
//   0x8000 connect (the listener puts the MCU into programming mode before it returns),
//   0x8001 erase, 0x8002 write, 0x8003 verify, 0x8004 verified,
//   1..240 block position, 0x4000 success, 0x4001 failure (exactly one of the two per start
//   that was not refused).
// The strings are the caller's and are copied; nothing is allocated across the boundary.
//
// StopUpdateMicom closes the port if it is still open and lets go of the threads.

#define MCU_LOADER_EXPORT __attribute__((visibility("default")))

#ifdef __cplusplus
extern "C" {
#endif

MCU_LOADER_EXPORT int StartUpdateMicom(const char16_t* port, const char16_t* file, int chip);
MCU_LOADER_EXPORT int StopUpdateMicom(void);

#ifdef __cplusplus
}
#endif
