#pragma once
// The DFU 1.1 class requests the engine sends to the module over BCSP channel 12, and the
// device states the module reports in its status answers.

#include <cstdint>

namespace bluetooth {

inline constexpr uint8_t kDfuChannel = 12;
inline constexpr uint16_t kDfuSetupSize = 8;      // bmRequestType, bRequest, wValue, wIndex, wLength
inline constexpr uint16_t kDfuMaxTransfer = 1024;  // data part of the send buffer
inline constexpr uint16_t kDfuAnswerSlot = 64;     // receive slot for answers
inline constexpr uint16_t kDfuAnswerDataOffset = 4;  // answers carry 4 bytes before their data
inline constexpr uint32_t kDfuSuffixSize = 16;     // the file's DFU suffix, never sent
inline constexpr uint16_t kDfuDetachTimeoutMs = 3000;

// bRequest values.
enum : uint8_t {
    DFU_DETACH = 0x00,
    DFU_DNLOAD = 0x01,
    DFU_GETSTATUS = 0x03,
    DFU_RESET = 0x07,
    DFU_GET_DEVICE = 0x08,
    DFU_GET_FUNCTION = 0x09,
};

// bState values of a status answer.
enum : uint8_t {
    DFU_STATE_APP_IDLE = 0,
    DFU_STATE_APP_DETACH = 1,
    DFU_STATE_DFU_IDLE = 2,
    DFU_STATE_DNLOAD_SYNC = 3,
    DFU_STATE_DNBUSY = 4,
    DFU_STATE_DNLOAD_IDLE = 5,
    DFU_STATE_MANIFEST_SYNC = 6,
    DFU_STATE_MANIFEST = 7,
    DFU_STATE_MANIFEST_WAIT_RESET = 8,
    DFU_STATE_UPLOAD_IDLE = 9,
    DFU_STATE_ERROR = 10,
};

// The 6 bytes of a status answer.
struct DfuStatus {
    uint8_t bStatus = 0;
    uint32_t bwPollTimeout = 0;  // ms, 24 bits on the wire
    uint8_t bState = 0;
    uint8_t iString = 0;
};

}  // namespace bluetooth
