#include "sim/mcu/mcu_simulator.h"

#include <fmt/format.h>
#include <nlohmann/json.hpp>
#include <sys/resource.h>
#include <unistd.h>

#include <fstream>
#include <stdexcept>

#include "sim/board/gpio_log.h"
#include "sim/mcu/mcu_firmware.h"
#include "sim/mcu/mcu_flash.h"
#include "sim/mcu/line_garbler.h"
#include "sim/pty/pty_endpoint.h"

namespace sim::mcu {

namespace fs = std::filesystem;

namespace {

// The pty behind COM5: the profile's "serial" entry, else dev/COM5.
fs::path comLink(const fs::path& root) {
    std::ifstream in(root / "headunit.json");
    if (in) {
        auto doc = nlohmann::json::parse(in, nullptr, false);
        if (!doc.is_discarded() && doc.contains("serial") && doc["serial"].contains("COM5:") &&
            doc["serial"]["COM5:"].is_string()) {
            fs::path link = doc["serial"]["COM5:"].get<std::string>();
            return link.is_absolute() ? link : root / link;
        }
    }
    return root / "dev" / "COM5";
}

constexpr int kReadSliceMs = 20;  // how often the board's lines are looked at while idle

// The MCU's UART runs 8 data bits without parity at its current rate; bytes framed
// any other way arrive as garbage. (A pty keeps no parity bits: there only the rate shows.)
bool sameFraming(const LineSettings& program, uint32_t deviceRate) {
    return program.baud == deviceRate && program.dataBits == 8 &&
           (!program.parityObservable || program.parity == 'N');
}

bool sameSettings(const LineSettings& a, const LineSettings& b) {
    return a.baud == b.baud && a.dataBits == b.dataBits && a.parity == b.parity && a.stopBits == b.stopBits;
}

}  // namespace

McuOptions McuSimulator::optionsFor(const fs::path& root) {
    McuOptions options;
    std::ifstream in(root / "headunit.json");
    if (!in) throw std::runtime_error("no head unit at " + root.string() + " (headunit.json missing)");
    auto doc = nlohmann::json::parse(in, nullptr, false);
    if (doc.is_discarded()) throw std::runtime_error((root / "headunit.json").string() + " is not valid JSON");
    if (doc.contains("sim") && doc["sim"].contains("mcu")) applyJson(options, doc["sim"]["mcu"]);
    return options;
}

McuSimulator::McuSimulator(const fs::path& root, McuOptions options)
    : options_(std::move(options)), start_(std::chrono::steady_clock::now()) {
    if (std::string problem = options_.validate(); !problem.empty()) throw std::runtime_error("mcu: " + problem);

    fs::create_directories(logFile(root).parent_path());
    logFile_.open(logFile(root), std::ios::app);
    if (!logFile_) throw std::runtime_error("mcu: cannot write " + logFile(root).string());

    std::vector<uint8_t> cells;
    switch (options_.start) {
        case StartContents::Blank: cells = McuFlash::blank(options_.flashSize()); break;
        case StartContents::Programmed: cells = McuFlash::oldFirmware(options_.flashSize()); break;
        case StartContents::Keep:
            cells = McuFlash::loadOr(flashFile(root), McuFlash::oldFirmware(options_.flashSize()));
            break;
    }
    flash_ = std::make_unique<McuFlash>(std::move(cells), flashFile(root));
    firmware_ = std::make_unique<McuFirmware>(options_, *flash_, [this](const std::string& line) { log(line); });
    garbler_ = std::make_unique<LineGarbler>();
    if (!options_.skipEntryCheck) {
        auto levels = GpioLog::levels(root);
        auto port = levels.find(EntryDetector::kPort);
        entry_.setLevels(port == levels.end() ? 0 : port->second);
        board_ = std::make_unique<GpioWatcher>(root);
    }
    const fs::path link = comLink(root);
    if (std::error_code ec; fs::is_symlink(fs::symlink_status(link))) {
        // A link to a real adapter is the user's; only a pty left by a simulator is replaced.
        fs::path target = fs::read_symlink(link, ec);
        if (!ec && target.string().rfind("/dev/pts/", 0) != 0)
            throw std::runtime_error("mcu: " + link.string() + " links to " + target.string() +
                                     ", a real serial line; remove the link to simulate the MCU there");
    }
    pty_ = std::make_unique<PtyEndpoint>(link);
    pty_->setPacing(options_.paced);

    log(fmt::format("MCU chip {}: flash 0..{:06X}, {} blocks, vendor {:02X}, \"{}\"{}{} on {}", options_.chip,
                    options_.lastAddress, options_.blockCount, options_.vendorCode, options_.deviceName,
                    options_.paced ? ", paced" : "", options_.skipEntryCheck ? ", no entry check" : "",
                    pty_->slavePath()));
    if (options_.skipEntryCheck) {
        firmware_->enterProgrammingMode(nowMs());
        programming_ = true;
    }
    thread_ = std::thread([this] { run(); });
}

McuSimulator::~McuSimulator() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
}

const std::string& McuSimulator::ttyPath() const { return pty_->slavePath(); }

std::vector<uint8_t> McuSimulator::flashContents() const {
    std::lock_guard lock(flashMutex_);
    return flash_->contents();
}

std::vector<std::string> McuSimulator::logLines() const {
    std::lock_guard lock(logMutex_);
    return logLines_;
}

uint64_t McuSimulator::nowMs() const {
    return static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start_).count());
}

void McuSimulator::log(const std::string& line) {
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    std::string stamped = fmt::format("[{:9.3f}] {}", seconds, line);
    std::lock_guard lock(logMutex_);
    logLines_.push_back(stamped);
    logFile_ << stamped << '\n';
    logFile_.flush();
}

void McuSimulator::run() {
    // Hardware never waits for a scheduler: the device judges the rate of what it receives
    // when it reads it, so a late read on a busy host must not make the program's rate switch
    // a few milliseconds later look earlier than it was. A higher priority where allowed.
    setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), -10);
    while (!stop_) {
        pollBoard();
        const auto waitStart = std::chrono::steady_clock::now();
        auto bytes = pty_->read(kReadSliceMs);
        if (bytes.empty()) {
            quietMs_ += static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                                  std::chrono::steady_clock::now() - waitStart)
                                                  .count());
        }
        if (options_.skipEntryCheck && pty_->closeCount() != closesSeen_) {
            // Without the board's lines, a line the program closed and opens again meets a
            // freshly started boot firmware.
            closesSeen_ = pty_->closeCount();
            firmware_->enterProgrammingMode(nowMs());
            deviceRate_ = McuFirmware::kBootRate;
        }
        if (!bytes.empty()) onBytes(std::move(bytes));
        lastSeen_ = pty_->lineSettings();
    }
}

void McuSimulator::pollBoard() {
    if (!board_) return;
    for (const GpioEvent& event : board_->next(0)) {
        switch (entry_.onRequest(static_cast<uint8_t>(event.port), event.mask, static_cast<uint8_t>(event.level))) {
            case EntryDetector::Change::EnterProgramming:
                firmware_->enterProgrammingMode(nowMs());
                deviceRate_ = McuFirmware::kBootRate;
                programming_ = true;
                break;
            case EntryDetector::Change::Leave:
                firmware_->leaveProgrammingMode();
                programming_ = false;
                break;
            case EntryDetector::Change::None: break;
        }
    }
}

void McuSimulator::waitOnLine(const std::vector<uint8_t>& bytes, const LineSettings& sentWith) {
    // With pacing the device has the bytes only once they have crossed the line.
    if (!options_.paced || sentWith.baud == 0) return;
    int bits = 1 + sentWith.dataBits + (sentWith.parity == 'N' ? 0 : 1) + sentWith.stopBits;
    double perChar = static_cast<double>(bits) / sentWith.baud;
    auto now = std::chrono::steady_clock::now();
    auto arrival = std::max(now, receiveLineFreeAt_) +
                   std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                       std::chrono::duration<double>(perChar * static_cast<double>(bytes.size())));
    receiveLineFreeAt_ = arrival;
    std::this_thread::sleep_until(arrival);
}

void McuSimulator::onBytes(std::vector<uint8_t> bytes) {
    // The rate the bytes were sent at is the one set when they left the program, even if
    // the program switches while they are still on the line.
    LineSettings sentWith = pty_->lineSettings();
    // The program changed its settings since the simulator last looked at the line (a busy
    // host let it look late): bytes that frame correctly at the settings seen before left
    // the program before its switch, as the program's own pause before a switch intends.
    if (!sameSettings(sentWith, lastSeen_) && !sameFraming(sentWith, deviceRate_) &&
        sameFraming(lastSeen_, deviceRate_))
        sentWith = lastSeen_;
    waitOnLine(bytes, sentWith);
    if (firmware_->inProgrammingMode() && !sameFraming(sentWith, deviceRate_)) {
        log(fmt::format("received {} bytes sent at {} {}{}{} while the device listens at {} 8N1: garbled",
                        bytes.size(), sentWith.baud, sentWith.dataBits, sentWith.parity, sentWith.stopBits,
                        deviceRate_));
        bytes = garbler_->garble(bytes, sentWith.baud, deviceRate_);
    }
    std::vector<DeviceAction> actions;
    {
        std::lock_guard lock(flashMutex_);
        actions = firmware_->receive(bytes.data(), bytes.size(), quietMs_);
    }
    perform(actions);
}

void McuSimulator::perform(const std::vector<DeviceAction>& actions) {
    for (const auto& action : actions) {
        switch (action.kind) {
            case DeviceAction::Wait: {
                auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(action.value);
                while (!stop_ && std::chrono::steady_clock::now() < until) {
                    std::this_thread::sleep_until(std::min(until, std::chrono::steady_clock::now() +
                                                                      std::chrono::milliseconds(10)));
                }
                break;
            }
            case DeviceAction::Send: send(action.bytes); break;
            case DeviceAction::SetRate: deviceRate_ = action.value; break;
        }
    }
}

void McuSimulator::send(const std::vector<uint8_t>& frame) {
    std::vector<uint8_t> bytes;
    if (options_.faults.garbageBytes) bytes = garbler_->noise(options_.faults.garbageBytes);
    bytes.insert(bytes.end(), frame.begin(), frame.end());
    LineSettings program = pty_->lineSettings();
    if (!sameFraming(program, deviceRate_)) {
        log(fmt::format("sent {} bytes at {} 8N1 while the program listens at {} {}{}{}: garbled", bytes.size(),
                        deviceRate_, program.baud, program.dataBits, program.parity, program.stopBits));
        bytes = garbler_->garble(bytes, deviceRate_, program.baud);
    }
    size_t piece = options_.faults.splitFrames ? options_.faults.splitFrames : bytes.size();
    for (size_t at = 0; at < bytes.size(); at += piece) {
        if (at) std::this_thread::sleep_for(std::chrono::milliseconds(2));
        pty_->write(bytes.data() + at, std::min(piece, bytes.size() - at));
    }
}

}  // namespace sim::mcu
