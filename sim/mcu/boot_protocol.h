#pragma once
// The byte values of the MCU's boot-mode UART programming protocol, as the device's
// programming firmware knows them.
//
// Host to device: command frames  SOH LEN COM data... SUM ETX   (LEN = 1 + data bytes)
//                 data frames     STX LEN data...     SUM ETB|ETX (LEN 0 means 256)
// Device to host: status and data STX LEN data...     SUM ETX
// SUM is the two's complement of the byte sum of LEN and what follows it up to SUM.

#include <cstdint>

namespace sim::mcu {

enum : uint8_t {
    kSOH = 0x01,
    kSTX = 0x02,
    kETX = 0x03,
    kETB = 0x17,
};

// Commands the firmware understands.
enum : uint8_t {
    kCmdReset = 0x00,
    kCmdVerify = 0x13,
    kCmdChipErase = 0x20,
    kCmdBlankCheck = 0x32,
    kCmdProgramming = 0x40,
    kCmdOscillatorFrequency = 0x90,
    kCmdBaudRate = 0x9A,
    kCmdSignature = 0xC0,
};

// Status bytes the firmware answers with.
enum : uint8_t {
    kStatusCommandError = 0x04,   // unknown command
    kStatusParameterError = 0x05, // bad data length, address or value
    kStatusAck = 0x06,
    kStatusChecksumError = 0x07,
    kStatusVerifyError = 0x0F,    // verify: the flash differs from the data sent
    kStatusNack = 0x15,
    kStatusNotBlank = 0x1B,       // blank check failed
    kStatusInternalVerifyError = 0x1B,  // the same code after the last frame of programming
    kStatusWriteError = 0x1C,     // the cells did not take the data (not erased)
};

inline constexpr uint32_t kFlashUnit = 256;  // bytes per data frame of a transfer

}  // namespace sim::mcu
