#pragma once
// DfuEngine: the state machine that downloads the Bluetooth module's firmware image.
//
// The module's own DFU state drives the sequence: a module running its application is
// detached and reset into DFU mode (it comes back as a new BCSP link, which the link reports
// as a peer reset), then the engine reads the device and function descriptors (the latter
// gives the transfer size), and sends the image block by block, asking for the status after
// each, until a zero-length final download and a status of dfuIDLE report success.
//
// One engine serves one download attempt: a new attempt gets a new engine and a new link.
// All methods run on the worker thread except blocksSent(), blocksInImage() and done(), which the page reads
// once a second from its own thread.
//
// The image is sent without its 16-byte DFU suffix: the firmware is the file's size - 16
// bytes, sent in blocks of at most the transfer size, so no suffix byte ever goes out and the
// last block is never empty. A file of 16 bytes or fewer holds no firmware and cannot start.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/core/files.h"
#include "updater/bluetooth/bcsp_link.h"
#include "updater/bluetooth/dfu_protocol.h"

namespace bluetooth {

// The engine's next step, performed by the worker after it has polled the link.
enum DfuAction : uint8_t {
    ACTION_NONE = 0,
    ACTION_DETACH = 1,
    ACTION_DOWNLOAD = 2,
    ACTION_GET_STATUS = 4,
    ACTION_RESET = 8,
    ACTION_GET_DEVICE = 9,
    ACTION_GET_FUNCTION = 10,
    ACTION_ASK_STATUS_AFTER_LINK = 11,
    ACTION_FINAL_DOWNLOAD = 12,
};

// The last request sent, which decides how the next answer is read.
enum DfuLastRequest : uint8_t {
    LAST_DETACH = 0,
    LAST_DOWNLOAD = 1,
    LAST_GET_STATUS = 3,
    LAST_RESET = 7,
    LAST_GET_DEVICE = 8,
    LAST_GET_FUNCTION = 9,
    LAST_NONE = 255,
};

class DfuEngine {
public:
    // Delay after a download block is answered before its status is asked.
    static constexpr uint32_t kStatusAfterBlockMs = 10;
    // Extra wait on top of the module's poll time-out when it reports dfuDNBUSY; the status
    // request after it is the only request sent to a busy module.
    static constexpr uint32_t kBusyExtraMs = 240;
    // Shortest wait between two status requests while the module manifests the image.
    static constexpr uint32_t kManifestPollMs = 10;

    DfuEngine(BcspLink& link, std::string imagePath);

    // The worker's loop: polls the link, reacts to its activity, performs the next action and
    // the delayed one when due. Returns 0 when the port was closed or the download succeeded,
    // -1 when the download could not start. `keepRunning` is asked once per pass.
    int run(const std::function<bool()>& keepRunning);

    // Pieces of the loop, public for the tests that drive the engine step by step.
    void prepare();                     // arms the receive slot, disarms the delayed action
    bool startDownload();               // on the first link establishment
    void onLinkActivity(uint8_t activity);  // flags of one poll, before the answer is read
    void handleAnswer();                // the packet now in the receive slot
    void performAction();               // the next action, then none
    void checkDelayedAction(uint32_t now);

    uint32_t blocksSent() const { return blocksSent_.load(std::memory_order_relaxed); }
    // The download blocks the whole firmware takes; 0 until the module has told its transfer size.
    uint32_t blocksInImage() const { return blocksInImage_.load(std::memory_order_relaxed); }
    bool done() const { return done_.load(std::memory_order_relaxed) == 1; }

    // For the tests.
    DfuAction nextAction() const { return nextAction_; }
    void setNextAction(DfuAction action) { nextAction_ = action; }
    DfuLastRequest lastRequest() const { return lastRequest_; }
    const BcspPacket& request() const { return sendPacket_; }
    const uint8_t* requestBytes() const { return sendBuffer_; }
    BcspPacket& answerSlot() { return answerSlot_; }
    uint8_t* answerBytes() { return answerBuffer_; }
    uint16_t transferSize() const { return transferSize_; }
    uint16_t blockNumber() const { return blockNumber_; }
    bool endOfFile() const { return endOfFile_; }
    bool delayedArmed() const { return delayed_.armed; }
    DfuAction delayedAction() const { return delayed_.action; }
    uint32_t delayedDue() const { return delayed_.due; }
    const DfuStatus& lastStatus() const { return lastStatus_; }

    // Milliseconds spent in delayed actions (the waits after a block and while the module is
    // busy), and the tick when the download started; for the benchmark.
    uint32_t delayedWaitMs() const { return delayedWaitMs_.load(std::memory_order_relaxed); }
    uint32_t downloadStartTick() const { return startTick_; }

private:
    struct DelayedAction {
        bool armed = false;
        DfuAction action = ACTION_NONE;
        uint32_t due = 0;
        uint32_t armedAt = 0;
    };

    void sendRequest(uint8_t requestType, uint8_t request, uint16_t value, uint16_t length);
    int sendGetStatus();
    void sendDownloadBlock();
    void sendFinalDownload();
    void armDelayed(DfuAction action, uint32_t delayMs);
    void onStatus();
    void onStatusAfterFinal();
    void waitWhileBusy();
    void pause();
    void releaseNextBlock();

    BcspLink& link_;
    std::string imagePath_;
    std::unique_ptr<ce::File> image_;
    uint64_t firmwareLeft_ = 0;  // firmware bytes not yet sent (the file less its suffix)
    uint64_t firmwareBytes_ = 0;

    DfuAction nextAction_ = ACTION_NONE;
    DfuLastRequest lastRequest_ = LAST_NONE;
    DelayedAction delayed_;
    bool downloadStarted_ = false;
    bool askStatus_ = false;
    bool statusWait_ = false;
    bool endOfFile_ = false;
    bool finalSent_ = false;
    bool finished_ = false;
    uint16_t transferSize_ = 0;  // 0 until the function descriptor has been read
    uint16_t blockNumber_ = 0;
    std::atomic<uint32_t> blocksSent_{0};
    std::atomic<uint32_t> blocksInImage_{0};
    uint32_t pollTimeout_ = 0;
    uint32_t startTick_ = 0;
    std::atomic<uint32_t> done_{0};
    std::atomic<uint32_t> delayedWaitMs_{0};
    DfuStatus lastStatus_;
    uint8_t deviceDescriptor_[12] = {};

    BcspPacket sendPacket_;
    uint8_t sendBuffer_[kDfuSetupSize + kDfuMaxTransfer] = {};
    BcspPacket answerSlot_;
    uint8_t answerBuffer_[kDfuAnswerSlot] = {};
};

}  // namespace bluetooth
