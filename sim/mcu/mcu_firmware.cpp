#include "sim/mcu/mcu_firmware.h"

#include <fmt/format.h>

#include "sim/mcu/boot_protocol.h"
#include "sim/mcu/device_frames.h"

namespace sim::mcu {

namespace {

// Line rates the baud rate command selects on the chips that have it.
uint32_t rateOfCode(uint8_t code) {
    switch (code) {
        case 0x03: return 9600;
        case 0x04: return 19200;
        case 0x05: return 38400;
        case 0x06: return 76800;
        case 0x07: return 115200;
        case 0x08: return 153600;
        default: return 0;
    }
}

// The rate the chip-0 oscillator command leaves the UART at.
constexpr uint32_t kChip0FastRate = 115200;

const char* commandName(uint8_t command) {
    switch (command) {
        case kCmdReset: return "RESET";
        case kCmdVerify: return "VERIFY";
        case kCmdChipErase: return "CHIP ERASE";
        case kCmdBlankCheck: return "BLANK CHECK";
        case kCmdProgramming: return "PROGRAMMING";
        case kCmdOscillatorFrequency: return "OSCILLATOR FREQUENCY";
        case kCmdBaudRate: return "BAUD RATE";
        case kCmdSignature: return "SIGNATURE";
        default: return "UNKNOWN COMMAND";
    }
}

uint32_t be24(const uint8_t* p) { return (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2]; }

}  // namespace

McuFirmware::McuFirmware(McuOptions options, McuFlash& flash, LogFn log)
    : options_(std::move(options)), flash_(flash), log_(std::move(log)) {
    dropAckLeft_ = options_.faults.dropAck;
    dropVerifyAckLeft_ = options_.faults.dropVerifyAck;
    loseStatusLeft_ = options_.faults.loseStatus;
    loseVerifyStatusLeft_ = options_.faults.loseVerifyStatus;
}

void McuFirmware::enterProgrammingMode(uint64_t) {
    state_ = State::AwaitSync;
    syncZeros_ = 0;
    reader_.clear();
    log_("entered programming mode (boot rate 9600)");
}

void McuFirmware::leaveProgrammingMode() {
    if (state_ != State::Off) log_("left programming mode");
    state_ = State::Off;
    reader_.clear();
}

std::vector<DeviceAction> McuFirmware::receive(const uint8_t* bytes, size_t size, uint64_t nowMs) {
    std::vector<DeviceAction> out;
    if (state_ == State::Off) {
        log_(fmt::format("ignored {} bytes: not in programming mode", size));
        return out;
    }
    for (const HostFrame& frame : reader_.feed(bytes, size, nowMs)) onFrame(frame, out);
    if (size_t skipped = reader_.takeSkipped()) log_(fmt::format("skipped {} bytes of noise", skipped));
    return out;
}

void McuFirmware::onFrame(const HostFrame& frame, std::vector<DeviceAction>& out) {
    if (frame.kind == HostFrame::Sync) {
        if (state_ == State::AwaitSync && ++syncZeros_ == 2) {
            state_ = State::Commands;
            log_("synchronised");
        }
        return;
    }
    if (state_ == State::AwaitSync) {
        log_(fmt::format("ignored a frame before synchronisation ({} bytes)", frame.raw.size()));
        return;
    }
    if (frame.kind == HostFrame::Command) {
        onCommand(frame, out);
    } else {
        onData(frame, out);
    }
}

bool McuFirmware::takeFault(std::map<uint8_t, int>& table, uint8_t command) {
    auto it = table.find(command);
    if (it == table.end() || it->second == 0) return false;
    if (it->second > 0) --it->second;
    return true;
}

void McuFirmware::answer(uint8_t command, std::vector<uint8_t> status, std::vector<DeviceAction>& out) {
    std::vector<uint8_t> frame = deviceFrame(status);
    std::string note;
    if (takeFault(options_.faults.corruptChecksum, command)) {
        frame[frame.size() - 2] ^= 0x5A;
        note = " (checksum corrupted)";
    }
    log_(fmt::format("{} -> {}{}", commandName(command), describeStatus(status[0]), note));
    out.push_back({DeviceAction::Send, 0, std::move(frame)});
}

bool McuFirmware::parseRange(const std::vector<uint8_t>& data, uint32_t& start, uint32_t& end) const {
    if (data.size() != 6) return false;
    start = be24(&data[0]);
    end = be24(&data[3]);
    return start <= end && end <= options_.lastAddress;
}

void McuFirmware::onCommand(const HostFrame& frame, std::vector<DeviceAction>& out) {
    if (state_ == State::Programming || state_ == State::Verifying) {
        log_(fmt::format("transfer abandoned at {:06X}", transfer_.next));
        state_ = State::Commands;
    }
    uint8_t cmd = frame.command;
    if (!frame.checksumOk) {
        log_(fmt::format("{}: checksum error", commandName(cmd)));
        out.push_back({DeviceAction::Send, 0, statusFrame(kStatusChecksumError)});
        return;
    }
    if (takeFault(options_.faults.nak, cmd)) return answer(cmd, {kStatusNack}, out);

    const auto& data = frame.data;
    switch (cmd) {
        case kCmdReset:
            if (!data.empty()) return answer(cmd, {kStatusParameterError}, out);
            return answer(cmd, {kStatusAck}, out);

        case kCmdOscillatorFrequency:
            if (data.size() != 4) return answer(cmd, {kStatusParameterError}, out);
            answer(cmd, {kStatusAck}, out);
            if (options_.chip == 0) {
                // This chip runs its UART from the new clock: the answer leaves at the old rate.
                log_(fmt::format("line rate now {}", kChip0FastRate));
                out.push_back({DeviceAction::SetRate, kChip0FastRate, {}});
            }
            return;

        case kCmdBaudRate: {
            if (options_.chip != 1) return answer(cmd, {kStatusCommandError}, out);
            uint32_t rate = data.size() == 1 ? rateOfCode(data[0]) : 0;
            if (rate == 0) return answer(cmd, {kStatusParameterError}, out);
            answer(cmd, {kStatusAck}, out);  // still at the old rate
            log_(fmt::format("line rate now {}", rate));
            out.push_back({DeviceAction::SetRate, rate, {}});
            return;
        }

        case kCmdSignature: {
            if (!data.empty()) return answer(cmd, {kStatusParameterError}, out);
            answer(cmd, {kStatusAck}, out);
            out.push_back({DeviceAction::Send, 0, deviceFrame(signatureData(options_))});
            return;
        }

        case kCmdBlankCheck: {
            uint32_t first = 0;
            uint32_t last = 0;
            if (options_.chip == 0) {
                if (!parseRange(data, first, last)) return answer(cmd, {kStatusParameterError}, out);
            } else {
                if (data.size() != 1 || data[0] >= options_.blockCount) return answer(cmd, {kStatusParameterError}, out);
                first = data[0] * options_.blockSize();
                last = first + options_.blockSize() - 1;
            }
            out.push_back({DeviceAction::Wait, options_.blankCheckMs, {}});
            bool blank = !options_.faults.notBlankForever && flash_.isBlank(first, last);
            return answer(cmd, {blank ? kStatusAck : kStatusNotBlank}, out);
        }

        case kCmdChipErase:
            if (!data.empty()) return answer(cmd, {kStatusParameterError}, out);
            out.push_back({DeviceAction::Wait, options_.eraseMs, {}});
            flash_.eraseAll();
            if (options_.faults.eraseNoAck) {
                log_("CHIP ERASE -> erased, answer withheld");
                return;
            }
            return answer(cmd, {kStatusAck}, out);

        case kCmdProgramming:
        case kCmdVerify: {
            uint32_t start = 0;
            uint32_t end = 0;
            if (!parseRange(data, start, end) || start % kFlashUnit != 0 || (end + 1) % kFlashUnit != 0)
                return answer(cmd, {kStatusParameterError}, out);
            transfer_ = Transfer{start, end, start, {}};
            state_ = cmd == kCmdProgramming ? State::Programming : State::Verifying;
            log_(fmt::format("{} {:06X}-{:06X}", commandName(cmd), start, end));
            return answer(cmd, {kStatusAck}, out);
        }

        default:
            return answer(cmd, {kStatusCommandError}, out);
    }
}

void McuFirmware::onData(const HostFrame& frame, std::vector<DeviceAction>& out) {
    if (state_ != State::Programming && state_ != State::Verifying) {
        log_(fmt::format("ignored a data frame outside a transfer ({} bytes)", frame.data.size()));
        return;
    }
    bool programming = state_ == State::Programming;
    const char* pass = programming ? "WRITE" : "VERIFY";
    uint32_t block = (transfer_.next - transfer_.start) / kFlashUnit;
    if (!frame.checksumOk) {
        log_(fmt::format("{} block {}: checksum error", pass, block));
        out.push_back({DeviceAction::Send, 0, statusFrame(kStatusChecksumError)});
        return;
    }
    auto& dropLeft = programming ? dropAckLeft_ : dropVerifyAckLeft_;
    if (dropLeft.erase(block)) {
        log_(fmt::format("{} block {}: frame lost, no answer", pass, block));
        return;
    }
    uint32_t size = static_cast<uint32_t>(frame.data.size());
    if (transfer_.next > transfer_.end || size > transfer_.end - transfer_.next + 1) {
        log_(fmt::format("{} block {}: beyond the end {:06X}, transfer abandoned", pass, block, transfer_.end));
        state_ = State::Commands;
        out.push_back({DeviceAction::Send, 0, statusFrame(kStatusParameterError)});
        return;
    }

    uint8_t st2 = kStatusAck;
    if (programming) {
        out.push_back({DeviceAction::Wait, options_.blockMs, {}});
        bool took = flash_.program(transfer_.next, frame.data.data(), size);
        transfer_.received.insert(transfer_.received.end(), frame.data.begin(), frame.data.end());
        if (!took || options_.faults.writeError.count(block)) st2 = kStatusWriteError;
    } else if (!flash_.equals(transfer_.next, frame.data.data(), size)) {
        st2 = kStatusVerifyError;
    }
    transfer_.next += size;
    // The other kind of lost answer: the block was taken (programmed or compared) and the
    // device moved on, but its status never reached the host.
    auto& loseLeft = programming ? loseStatusLeft_ : loseVerifyStatusLeft_;
    if (loseLeft.erase(block)) {
        log_(fmt::format("{} block {} {:06X}{} -> {}, status lost", pass, block, transfer_.next - size,
                         frame.last ? " (last)" : "", describeStatus(st2)));
    } else {
        log_(fmt::format("{} block {} {:06X}{} -> {} {}", pass, block, transfer_.next - size,
                         frame.last ? " (last)" : "", describeStatus(kStatusAck), describeStatus(st2)));
        out.push_back({DeviceAction::Send, 0, statusFrame(kStatusAck, st2)});
    }
    if (!frame.last) return;

    state_ = State::Commands;
    if (!programming) return;
    // After the last frame the firmware reads the whole range back against what it received.
    out.push_back({DeviceAction::Wait, options_.internalVerifyMs, {}});
    bool complete = transfer_.next == transfer_.end + 1;
    bool same = complete && flash_.equals(transfer_.start, transfer_.received.data(),
                                          static_cast<uint32_t>(transfer_.received.size()));
    uint8_t st = same ? kStatusAck : kStatusInternalVerifyError;
    log_(fmt::format("INTERNAL VERIFY {:06X}-{:06X} -> {}{}", transfer_.start, transfer_.end, describeStatus(st),
                     complete ? "" : " (transfer incomplete)"));
    out.push_back({DeviceAction::Send, 0, statusFrame(st)});
}

std::string McuFirmware::describeStatus(uint8_t st) const {
    switch (st) {
        case kStatusAck: return "ACK";
        case kStatusNack: return "NACK";
        case kStatusCommandError: return "COMMAND ERROR";
        case kStatusParameterError: return "PARAMETER ERROR";
        case kStatusChecksumError: return "CHECKSUM ERROR";
        case kStatusVerifyError: return "VERIFY ERROR";
        case kStatusNotBlank: return "NOT BLANK/VERIFY ERROR";
        case kStatusWriteError: return "WRITE ERROR";
        default: return fmt::format("{:02X}", st);
    }
}

}  // namespace sim::mcu
