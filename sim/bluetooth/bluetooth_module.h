#pragma once
// BluetoothModule: the simulated Bluetooth module behind the head unit's serial port.
//
// It serves a pseudo-terminal linked where the profile puts the port (dev/COM2), checks the
// line settings the program has set (115200 baud, 8 data bits, one stop bit; no parity for the
// module's 25-byte command and even parity for BCSP where the line can show parity) and
// garbles bytes exchanged at other settings, as a real UART would. It answers the 25-byte
// command, runs the BCSP link (BcspPeer) and the DFU function on channel 12 (DfuDevice),
// restarts itself after a DFU reset (a new BCSP link), writes each image it has received to
// flash/bt_image.bin and logs what it was asked to log/bt_module.log.

#include <atomic>
#include <deque>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "sim/bluetooth/bcsp_peer.h"
#include "sim/bluetooth/dfu_device.h"
#include "sim/bluetooth/module_options.h"
#include "sim/pty/pty_endpoint.h"

namespace sim::bluetooth {

class BluetoothModule {
public:
    // Creates the serial line (throws std::runtime_error when it cannot).
    explicit BluetoothModule(ModuleOptions options);
    ~BluetoothModule();
    BluetoothModule(const BluetoothModule&) = delete;
    BluetoothModule& operator=(const BluetoothModule&) = delete;

    // Runs the module on a thread of its own until stop() or destruction.
    void start();
    void stop();

    // Runs the module on the calling thread until `stopFlag` becomes true.
    void run(const std::atomic<bool>& stopFlag);

    struct Snapshot {
        bool dfuMode = false;
        uint8_t state = 0;
        int blocksReceived = 0;
        int manifestations = 0;
        Bytes image;           // the last complete image
        int restarts = 0;
        int commandsAnswered = 0;
        int garbledChunks = 0;
        bool linkUp = false;
        BcspPeer::Counters link;
    };
    Snapshot snapshot() const;

    std::filesystem::path imagePath() const { return options_.root / "flash" / "bt_image.bin"; }
    std::filesystem::path logPath() const { return options_.root / "log" / "bt_module.log"; }

    static constexpr uint8_t kCommand[2] = {0xEF, 0x07};
    static constexpr size_t kCommandSize = 25;

private:
    using Clock = std::chrono::steady_clock;

    void log(const std::string& line);
    void step(Clock::time_point now);
    void onBytes(const Bytes& bytes);
    void feed(uint8_t byte, bool bcspOk, bool commandOk);
    void answerCommand();
    void processDeliveries(Clock::time_point now);
    void sendToHost(const Bytes& bytes, bool command);
    void writePaced(const Bytes& bytes, Clock::duration perChar);
    static Clock::duration characterTime(bool command);
    void saveImage();
    bool lineOk(bool command, const LineSettings& settings) const;
    std::string describe(const LineSettings& settings) const;

    ModuleOptions options_;
    std::unique_ptr<PtyEndpoint> pty_;
    std::ofstream logFile_;
    std::chrono::steady_clock::time_point lastFlush_{};
    Clock::time_point started_ = Clock::now();

    mutable std::mutex mutex_;  // guards everything below against snapshot()
    BcspPeer peer_;
    DfuDevice dfu_;
    std::deque<BcspPeer::Delivery> held_;  // requests waiting while the device is busy
    bool resetPending_ = false;            // restart once the answer to the reset is acknowledged
    DfuDevice::Restart restartMode_ = DfuDevice::Restart::None;
    Clock::time_point resetDeadline_{};
    std::optional<Clock::time_point> restartAt_;
    size_t commandMatched_ = 0;
    int commandsAnswered_ = 0;
    int restarts_ = 0;
    int garbledChunks_ = 0;
    int savedManifestations_ = 0;
    std::string lastBadSettings_;
    Clock::time_point rxLineFreeAt_{};
    Clock::time_point lastLookedAt_{};  // when the module last started waiting for bytes
    Clock::time_point txLineFreeAt_{};

    std::atomic<bool> stopRequested_{false};
    std::thread thread_;
};

}  // namespace sim::bluetooth
