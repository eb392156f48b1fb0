#include "sim/bluetooth/bluetooth_module.h"

#include <algorithm>
#include <cstdio>

namespace sim::bluetooth {

namespace {

constexpr uint8_t kDfuChannel = 12;
constexpr uint32_t kLineBaud = 115200;
constexpr auto kResetAnswerWait = std::chrono::milliseconds(500);
constexpr int kMaxWaitMs = 20;

// What a byte sent at the wrong rate or framing looks like at the other end.
uint8_t garble(uint8_t byte) { return static_cast<uint8_t>(((byte << 3) | (byte >> 5)) ^ 0x5A); }

}  // namespace

BluetoothModule::BluetoothModule(ModuleOptions options)
    : options_(std::move(options)),
      peer_(options_.faults, options_.timing, [this](const std::string& line) { log(line); }),
      dfu_(options_.dfu, [this](const std::string& line) { log(line); }) {
    std::error_code ec;
    std::filesystem::create_directories(options_.root / "log", ec);
    std::filesystem::create_directories(options_.root / "flash", ec);
    logFile_.open(logPath(), std::ios::app);
    pty_ = std::make_unique<PtyEndpoint>(ModuleLinkPath(options_));
    pty_->setPacing(false);  // the module paces its own UART (its framing, not the program's)
    log(std::string("module powered up in ") + (dfu_.dfuMode() ? "DFU" : "application") + " mode on " +
        ModuleLinkPath(options_).string() + (options_.paced ? " (paced at the line rate)" : ""));
}

BluetoothModule::~BluetoothModule() {
    stop();
    logFile_.flush();
}

void BluetoothModule::start() {
    if (thread_.joinable()) return;
    stopRequested_ = false;
    thread_ = std::thread([this] { run(stopRequested_); });
}

void BluetoothModule::stop() {
    stopRequested_ = true;
    if (thread_.joinable()) thread_.join();
}

void BluetoothModule::log(const std::string& line) {
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started_).count();
    char stamp[24];
    std::snprintf(stamp, sizeof stamp, "[%8lld] ", static_cast<long long>(ms));
    logFile_ << stamp << line << '\n';
    // Flushed a few times a second, not per line: a module that waits on the disk would
    // answer late and distort the line timing.
    if (Clock::now() - lastFlush_ > std::chrono::milliseconds(200)) {
        logFile_.flush();
        lastFlush_ = Clock::now();
    }
}

BluetoothModule::Snapshot BluetoothModule::snapshot() const {
    std::lock_guard lock(mutex_);
    Snapshot s;
    s.dfuMode = dfu_.dfuMode();
    s.state = dfu_.state();
    s.blocksReceived = dfu_.blocksReceived();
    s.manifestations = dfu_.manifestations();
    s.image = dfu_.image();
    s.restarts = restarts_;
    s.commandsAnswered = commandsAnswered_;
    s.garbledChunks = garbledChunks_;
    s.linkUp = peer_.state() == BcspPeer::State::Garrulous;
    s.link = peer_.counters();
    return s;
}

void BluetoothModule::run(const std::atomic<bool>& stopFlag) {
    while (!stopFlag) {
        Clock::time_point wake;
        {
            std::lock_guard lock(mutex_);
            Clock::time_point now = Clock::now();
            step(now);
            wake = restartAt_ ? *restartAt_ : peer_.nextDue(now);
            if (!held_.empty()) wake = std::min(wake, std::max(dfu_.busyUntil(), now));
            if (resetPending_) wake = now + std::chrono::milliseconds(1);
        }
        auto waitMs = std::chrono::ceil<std::chrono::milliseconds>(wake - Clock::now()).count();
        int timeout = static_cast<int>(std::clamp<long long>(waitMs, 0, kMaxWaitMs));
        lastLookedAt_ = Clock::now();
        Bytes bytes = pty_->read(timeout);
        if (bytes.empty()) logFile_.flush();  // a quiet line: the log may catch up
        if (!bytes.empty()) onBytes(bytes);
    }
}

// Everything the module does on its own: restarting, answering held requests, sending.
void BluetoothModule::step(Clock::time_point now) {
    if (resetPending_ && (peer_.allSent() || now >= resetDeadline_)) {
        resetPending_ = false;
        restartAt_ = now + std::chrono::milliseconds(options_.restartMs);
        log("module restarting");
    }
    if (restartAt_) {
        if (now < *restartAt_) return;
        restartAt_.reset();
        bool dfuMode = restartMode_ == DfuDevice::Restart::Dfu;
        peer_.restart();
        dfu_.boot(dfuMode);
        held_.clear();
        ++restarts_;
        log(std::string("module restarted in ") + (dfuMode ? "DFU" : "application") + " mode: new link");
    }
    processDeliveries(now);
    Bytes out = peer_.poll(now);
    if (!out.empty()) sendToHost(out, false);
}

void BluetoothModule::processDeliveries(Clock::time_point now) {
    for (auto& delivery : peer_.takeDeliveries()) held_.push_back(std::move(delivery));
    while (!held_.empty() && !resetPending_ && !restartAt_ && now >= dfu_.busyUntil()) {
        BcspPeer::Delivery delivery = std::move(held_.front());
        held_.pop_front();
        if (delivery.channel != kDfuChannel) {
            log("packet on channel " + std::to_string(delivery.channel) + " ignored: " + HexBytes(delivery.payload));
            continue;
        }
        DfuDevice::Outcome outcome = dfu_.handle(delivery.payload, now);
        peer_.send(kDfuChannel, std::move(outcome.answer));
        if (dfu_.manifestations() != savedManifestations_) saveImage();
        if (outcome.restart != DfuDevice::Restart::None) {
            // The answer goes out first; requests behind the reset are lost with the restart.
            resetPending_ = true;
            restartMode_ = outcome.restart;
            resetDeadline_ = now + kResetAnswerWait;
            held_.clear();
        }
    }
}

bool BluetoothModule::lineOk(bool command, const LineSettings& settings) const {
    if (settings.baud != kLineBaud || settings.dataBits != 8 || settings.stopBits != 1) return false;
    if (!settings.parityObservable) return true;
    return settings.parity == (command ? 'N' : 'E');
}

std::string BluetoothModule::describe(const LineSettings& s) const {
    return std::to_string(s.baud) + " " + std::to_string(s.dataBits) + s.parity + std::to_string(s.stopBits);
}

void BluetoothModule::onBytes(const Bytes& bytes) {
    LineSettings settings = pty_->lineSettings();
    bool bcspOk = lineOk(false, settings);
    bool commandOk = lineOk(true, settings);
    if (!bcspOk && !commandOk) {
        std::lock_guard lock(mutex_);
        ++garbledChunks_;
        if (describe(settings) != lastBadSettings_) {
            lastBadSettings_ = describe(settings);
            log("line at " + lastBadSettings_ + ": received bytes are garbled");
        }
    } else {
        lastBadSettings_.clear();
    }

    if (!options_.paced) {
        std::lock_guard lock(mutex_);
        for (uint8_t byte : bytes) feed(byte, bcspOk, commandOk);
        processDeliveries(Clock::now());
        return;
    }
    // Each byte is taken only once its character has crossed the line. The bytes may have
    // been waiting since the module last looked at the line: they are counted from then, so
    // that the module's own lateness does not slow the line down.
    Clock::duration perChar = characterTime(false);
    size_t next = 0;
    std::vector<Clock::time_point> due(bytes.size());
    for (size_t i = 0; i < bytes.size(); ++i) {
        rxLineFreeAt_ = std::max(rxLineFreeAt_, lastLookedAt_) + perChar;
        due[i] = rxLineFreeAt_;
    }
    while (next < bytes.size()) {
        std::this_thread::sleep_until(due[next]);
        std::lock_guard lock(mutex_);
        Clock::time_point now = Clock::now();
        while (next < bytes.size() && due[next] <= now) feed(bytes[next++], bcspOk, commandOk);
        processDeliveries(now);
        Bytes out = peer_.poll(now);
        if (!out.empty()) sendToHost(out, false);
    }
}

void BluetoothModule::feed(uint8_t byte, bool bcspOk, bool commandOk) {
    uint8_t asCommand = commandOk ? byte : garble(byte);
    uint8_t expected = commandMatched_ < 2 ? kCommand[commandMatched_] : 0x00;
    if (asCommand == expected) {
        if (++commandMatched_ == kCommandSize) {
            commandMatched_ = 0;
            answerCommand();
        }
    } else {
        commandMatched_ = asCommand == kCommand[0] ? 1 : 0;
    }
    if (restartAt_) return;  // restarting: the UART is not listening yet
    peer_.receive(bcspOk ? byte : garble(byte));
}

// The 25-byte command (0xEF, 0x07, 23 zero bytes) is answered with 25 bytes: 0xEF, 0x07, the
// result 0x01 and zero bytes.
void BluetoothModule::answerCommand() {
    ++commandsAnswered_;
    log("module command EF 07 received: answered");
    Bytes answer(kCommandSize, 0);
    answer[0] = 0xEF;
    answer[1] = 0x07;
    answer[2] = 0x01;
    sendToHost(answer, true);
}

// The module's UART: 115200 baud, 8 data bits, even parity for BCSP and none for the command
// answer, one stop bit.
BluetoothModule::Clock::duration BluetoothModule::characterTime(bool command) {
    double bits = 1 + 8 + (command ? 0 : 1) + 1;
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(bits / kLineBaud));
}

void BluetoothModule::sendToHost(const Bytes& bytes, bool command) {
    LineSettings settings = pty_->lineSettings();
    Bytes out = bytes;
    if (!lineOk(command, settings)) std::transform(out.begin(), out.end(), out.begin(), garble);
    if (options_.paced) {
        writePaced(out, characterTime(command));
    } else {
        pty_->write(out);
    }
}

// Each byte leaves once its character has crossed the line; bytes already due go together.
void BluetoothModule::writePaced(const Bytes& bytes, Clock::duration perChar) {
    Clock::time_point start = std::max(Clock::now(), txLineFreeAt_);
    size_t sent = 0;
    while (sent < bytes.size()) {
        Clock::time_point now = Clock::now();
        size_t due = sent;
        while (due < bytes.size() && start + perChar * static_cast<long>(due + 1) <= now) ++due;
        if (due == sent) {
            std::this_thread::sleep_until(start + perChar * static_cast<long>(sent + 1));
            continue;
        }
        pty_->write(bytes.data() + sent, due - sent);
        sent = due;
    }
    txLineFreeAt_ = start + perChar * static_cast<long>(bytes.size());
}

void BluetoothModule::saveImage() {
    savedManifestations_ = dfu_.manifestations();
    const Bytes& image = dfu_.image();
    std::filesystem::path target = imagePath();
    std::filesystem::path temporary = target;
    temporary += ".part";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    }
    std::error_code ec;
    std::filesystem::rename(temporary, target, ec);
    log("image of " + std::to_string(image.size()) + " bytes written to " + target.string() +
        (ec ? " FAILED: " + ec.message() : std::string()));
}

}  // namespace sim::bluetooth
