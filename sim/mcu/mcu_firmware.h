#pragma once
// The MCU's boot-mode programming firmware: what the device does with each frame the host
// sends while it runs in programming mode.
//
// It is a pure state machine (no I/O, no clock of its own): the simulator feeds it the bytes
// that reached the device's UART and carries out the actions it returns, in order — wait
// (the device is busy), send a frame, switch the device's line rate. This keeps every
// protocol decision here and every line effect (garbling, pacing, splitting) in the
// simulator.
//
// Promises: a command is answered only after synchronisation (two 0x00 bytes after the entry
// into programming mode); a data frame is taken only inside a programming or verify transfer
// and only once; the flash changes only by erase and programming; the faults of McuFaults
// are injected exactly as configured.

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <optional>
#include <string>
#include <vector>

#include "sim/mcu/host_frame_reader.h"
#include "sim/mcu/mcu_flash.h"
#include "sim/mcu/mcu_options.h"

namespace sim::mcu {

struct DeviceAction {
    enum Kind { Wait, Send, SetRate } kind = Send;
    uint32_t value = 0;          // Wait: milliseconds; SetRate: baud
    std::vector<uint8_t> bytes;  // Send
};

class McuFirmware {
public:
    using LogFn = std::function<void(const std::string&)>;

    static constexpr uint32_t kBootRate = 9600;

    McuFirmware(McuOptions options, McuFlash& flash, LogFn log);

    // The board released the reset line with the mode line high: the firmware starts over at
    // the boot rate and waits for the synchronisation.
    void enterProgrammingMode(uint64_t nowMs);
    // The reset line went low, or the device started its application: the UART is not ours.
    void leaveProgrammingMode();
    bool inProgrammingMode() const { return state_ != State::Off; }

    // Bytes as they reached the device's UART at time nowMs; the actions to carry out.
    std::vector<DeviceAction> receive(const uint8_t* bytes, size_t size, uint64_t nowMs);

private:
    enum class State { Off, AwaitSync, Commands, Programming, Verifying };

    struct Transfer {
        uint32_t start = 0;
        uint32_t end = 0;
        uint32_t next = 0;   // address of the next data frame
        std::vector<uint8_t> received;  // what the host sent (programming: for the internal verify)
    };

    void onFrame(const HostFrame& frame, std::vector<DeviceAction>& out);
    void onCommand(const HostFrame& frame, std::vector<DeviceAction>& out);
    void onData(const HostFrame& frame, std::vector<DeviceAction>& out);

    void answer(uint8_t command, std::vector<uint8_t> status, std::vector<DeviceAction>& out);
    bool takeFault(std::map<uint8_t, int>& table, uint8_t command);
    bool parseRange(const std::vector<uint8_t>& data, uint32_t& start, uint32_t& end) const;
    std::string describeStatus(uint8_t st) const;

    McuOptions options_;
    McuFlash& flash_;
    LogFn log_;
    HostFrameReader reader_;
    State state_ = State::Off;
    int syncZeros_ = 0;
    Transfer transfer_;
    std::set<uint32_t> dropAckLeft_;
    std::set<uint32_t> dropVerifyAckLeft_;
    std::set<uint32_t> loseStatusLeft_;
    std::set<uint32_t> loseVerifyStatusLeft_;
};

}  // namespace sim::mcu
