#pragma once
// The Bluetooth DFU engine's functions, exported by name with C linkage from UpdateXan and
// called by its Bluetooth page. One port and one download per process; the worker thread owns
// the port and the engine once start_update has released it.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/devices/serial_port.h"

extern "C" {

// What get_status reports: download blocks sent so far and whether the module reported success.
struct BtDfuStatus {
    uint32_t blocksSent;
    uint8_t reserved;  // always 0
    uint8_t done;      // 1 = success
};

// Opens the module's port ("COM2:") exclusively, reads returning at once. A worker left from an
// earlier attempt is stopped and its port closed first. Returns 1 on success, 0 on failure
// ("Cannot open com port").
int open_port(const char16_t* portName);

// 115200 baud, 8 data bits, the given parity and stop bits (0/0 for the module command,
// 2/0 for BCSP). Nonzero on success.
int setting_port(uint8_t parity, uint8_t stopBits);

// Sends the module's 25-byte command (0xEF, 0x07, 23 zero bytes); returns the bytes written.
int write_dfu(void);

// One read of up to `length` bytes (returns at once); returns the bytes read.
int read_dfu(uint8_t* buffer, int length);

// Creates the start event and the worker thread, which waits for start_update. Returns 1.
int open_update(void);

// Releases the worker. Returns 1, or 0 when open_update has not run.
int start_update(void);

// The image size in KiB plus one (size / 1024 + 1), or -1 when the image cannot be opened.
int get_fileinfo(void);

// Fills the status record; returns 0.
int get_status(BtDfuStatus* status);

}  // extern "C"

namespace bluetooth {

inline constexpr const char* kDefaultImagePath = "\\SDMMC Card\\UpdateXan\\BT.bin";

// The image the engine downloads (a device path); the default is kDefaultImagePath. Set
// before open_update.
void SetDfuImagePath(const std::string& devicePath);
const std::string& DfuImagePath();

// Stops the worker (if any) and closes the port. Called when a program is done with the
// module; open_port does the same before a new attempt.
void StopDfuEngine();

// The line settings setting_port gave the port since open_port, in order: what the code
// asked for, parity included, which a pseudo-terminal cannot show.
std::vector<ce::Dcb> DfuLineSettings();

// The download blocks the current attempt's firmware takes (in the module's transfer size);
// 0 until the module has told its transfer size. The page's percentage counts against it.
uint32_t DfuBlocksInImage();

// Figures of the current attempt, for the benchmark.
struct DfuFigures {
    uint64_t bytesWritten = 0;      // host to module, on the line
    uint64_t bytesRead = 0;         // module to host
    double characterSeconds = 0;    // line time of one character
    uint32_t delayedWaitMs = 0;     // time spent in the engine's deliberate waits
};
DfuFigures CurrentDfuFigures();

// The worker's result once it has ended: 0 (port closed or success), -1 (could not start);
// 1 while it runs or before it has started.
int DfuWorkerResult();

}  // namespace bluetooth
