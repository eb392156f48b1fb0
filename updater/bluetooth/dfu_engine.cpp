#include "updater/bluetooth/dfu_engine.h"

#include <algorithm>
#include <cstring>

#include "platform/core/debug.h"
#include "platform/core/time.h"

namespace bluetooth {

namespace {

bool tickReached(uint32_t now, uint32_t due) { return static_cast<int32_t>(now - due) >= 0; }

}  // namespace

DfuEngine::DfuEngine(BcspLink& link, std::string imagePath) : link_(link), imagePath_(std::move(imagePath)) {
    sendPacket_.channel = kDfuChannel;
    sendPacket_.reliable = 1;
    sendPacket_.useCrc = 1;
    sendPacket_.payload = sendBuffer_;
    answerSlot_.payload = answerBuffer_;
}

void DfuEngine::prepare() {
    link_.initialise();
    answerSlot_.length = kDfuAnswerSlot;
    link_.receivePacket(&answerSlot_);
    delayed_.armed = false;
}

int DfuEngine::run(const std::function<bool()>& keepRunning) {
    prepare();
    if (!keepRunning()) return 0;
    while (keepRunning()) {
        uint8_t activity = 0;
        int delay = link_.poll(activity);

        if (activity & BCSP_PACKET_SENT) {
            if (!downloadStarted_) {
                downloadStarted_ = true;
                if (!startDownload()) return -1;
            }
        }
        onLinkActivity(activity);
        if (activity & BCSP_PACKET_RECEIVED) {
            handleAnswer();
            answerSlot_.length = kDfuAnswerSlot;
            link_.receivePacket(&answerSlot_);
        }
        // No yield between the steps: a pass with nothing to do ends in the pause, and a pass
        // that wrote a byte is followed by the next at once (the link stops a burst when the
        // transmit queue is full), so the worker gives the processor up only where it waits.
        performAction();
        checkDelayedAction(ce::tickCount());
        if (delay != 0) pause();
        if (done()) break;
    }
    image_.reset();
    return 0;
}

// The link asked for a pause: a millisecond, or as long as the link can only wait for the
// transmitter, never past the delayed action's due time, ending as soon as the module's bytes
// arrive; none at all while a request is due or a byte could go out at once.
void DfuEngine::pause() {
    if (nextAction_ != ACTION_NONE || link_.byteReady()) return;
    int32_t wait = static_cast<int32_t>(std::clamp<uint32_t>(link_.quietMs(), 1, 1000));
    if (delayed_.armed) wait = std::clamp(static_cast<int32_t>(delayed_.due - ce::tickCount()), 0, wait);
    if (wait > 0) link_.waitForInput(static_cast<uint32_t>(wait));
}

void DfuEngine::onLinkActivity(uint8_t activity) {
    if ((activity & BCSP_PACKET_SENT) && askStatus_) {
        askStatus_ = false;
        nextAction_ = ACTION_GET_STATUS;
    }
    if (activity & BCSP_PEER_RESET) ce::consolePrint("[dfu\t] APPLICATION PEER RESET\n");
}

bool DfuEngine::startDownload() {
    blockNumber_ = 0;
    lastRequest_ = LAST_NONE;
    endOfFile_ = false;
    finalSent_ = false;
    finished_ = false;
    statusWait_ = false;
    pollTimeout_ = 0;

    auto file = ce::File::open(imagePath_, ce::GENERIC_READ, ce::FILE_SHARE_READ, ce::OPEN_EXISTING);
    auto size = file ? (*file)->size() : ce::Result<uint64_t>(ce::fail(ce::ERROR_FILE_NOT_FOUND));
    if (!file || !size) {
        ce::consolePrint("Cannot open file[%s].\n", imagePath_);
        return false;
    }
    if (*size <= kDfuSuffixSize) {
        // Nothing but (part of) the suffix: there is no firmware to send.
        ce::consolePrint("Cannot open file[%s].\n", imagePath_);
        ce::consolePrint("[dfu\t] image of %d bytes holds no firmware\n", static_cast<int>(*size));
        return false;
    }
    image_ = std::move(*file);
    firmwareLeft_ = *size - kDfuSuffixSize;
    firmwareBytes_ = firmwareLeft_;

    lastRequest_ = LAST_GET_STATUS;
    int result = sendGetStatus();
    ce::consolePrint("[dfu\t] send_dfu_get_status() == Error [%d]\n", result);
    return true;
}

// ---- Requests -------------------------------------------------------------------------------

void DfuEngine::sendRequest(uint8_t requestType, uint8_t request, uint16_t value, uint16_t length) {
    sendBuffer_[0] = requestType;
    sendBuffer_[1] = request;
    sendBuffer_[2] = static_cast<uint8_t>(value & 0xFF);
    sendBuffer_[3] = static_cast<uint8_t>(value >> 8);
    sendBuffer_[4] = 0;
    sendBuffer_[5] = 0;
    sendBuffer_[6] = static_cast<uint8_t>(length & 0xFF);
    sendBuffer_[7] = static_cast<uint8_t>(length >> 8);
    bool hostToDevice = (requestType & 0x80) == 0;
    sendPacket_.length = static_cast<uint16_t>(kDfuSetupSize + (hostToDevice ? length : 0));
    link_.sendPacket(&sendPacket_);
}

int DfuEngine::sendGetStatus() {
    sendRequest(0xA1, DFU_GETSTATUS, 0, 6);
    return 0;
}

void DfuEngine::sendDownloadBlock() {
    lastRequest_ = LAST_DOWNLOAD;
    uint32_t wanted = static_cast<uint32_t>(std::min<uint64_t>(transferSize_, firmwareLeft_));
    uint32_t read = 0;
    if (image_ && wanted > 0) image_->read(sendBuffer_ + kDfuSetupSize, wanted, &read);
    firmwareLeft_ -= read;
    // A read that comes back short (the file shrank under us) ends the firmware there too.
    if (firmwareLeft_ == 0 || read < wanted) endOfFile_ = true;
    blocksSent_.fetch_add(1, std::memory_order_relaxed);
    sendRequest(0x21, DFU_DNLOAD, blockNumber_, static_cast<uint16_t>(read));
    ++blockNumber_;
}

void DfuEngine::sendFinalDownload() {
    finalSent_ = true;
    lastRequest_ = LAST_DOWNLOAD;
    sendRequest(0x21, DFU_DNLOAD, blockNumber_, 0);
    image_.reset();
}

void DfuEngine::performAction() {
    switch (nextAction_) {
        case ACTION_DETACH:
            lastRequest_ = LAST_DETACH;
            ce::consolePrint("[dfu\t] send_dfu_request_detach\n");
            sendRequest(0x21, DFU_DETACH, kDfuDetachTimeoutMs, 0);
            break;
        case ACTION_DOWNLOAD:
            if (endOfFile_) {
                // Every firmware byte is out: what follows is the final download, never a read.
                sendFinalDownload();
            } else if (transferSize_ == 0) {
                // No block before the module has told its transfer size.
                lastRequest_ = LAST_GET_DEVICE;
                ce::consolePrint("[dfu\t] send_get_device\n");
                sendRequest(0xC1, DFU_GET_DEVICE, 0, 12);
            } else {
                sendDownloadBlock();
            }
            break;
        case ACTION_GET_STATUS:
            lastRequest_ = LAST_GET_STATUS;
            ce::consolePrint("%d", sendGetStatus());
            break;
        case ACTION_RESET:
            lastRequest_ = LAST_RESET;
            ce::consolePrint("[dfu\t] send_dfu_reset\n");
            sendRequest(0x41, DFU_RESET, 0, 0);
            break;
        case ACTION_GET_DEVICE:
            lastRequest_ = LAST_GET_DEVICE;
            ce::consolePrint("[dfu\t] send_get_device\n");
            sendRequest(0xC1, DFU_GET_DEVICE, 0, 12);
            break;
        case ACTION_GET_FUNCTION:
            lastRequest_ = LAST_GET_FUNCTION;
            ce::consolePrint("[dfu\t] send_get_function\n");
            sendRequest(0xC1, DFU_GET_FUNCTION, 0, 6);
            break;
        case ACTION_ASK_STATUS_AFTER_LINK:
            ce::consolePrint("[dfu\t] IsSendReadDFUStatus = 1\n");
            askStatus_ = true;
            break;
        case ACTION_FINAL_DOWNLOAD:
            sendFinalDownload();
            break;
        case ACTION_NONE:
            break;
    }
    nextAction_ = ACTION_NONE;
}

void DfuEngine::armDelayed(DfuAction action, uint32_t delayMs) {
    delayed_.armed = true;
    delayed_.action = action;
    delayed_.armedAt = ce::tickCount();
    delayed_.due = delayed_.armedAt + delayMs;
}

void DfuEngine::checkDelayedAction(uint32_t now) {
    if (delayed_.armed && tickReached(now, delayed_.due)) {
        delayed_.armed = false;
        nextAction_ = delayed_.action;
        delayedWaitMs_.fetch_add(now - delayed_.armedAt, std::memory_order_relaxed);
    }
}

// ---- Answers --------------------------------------------------------------------------------

void DfuEngine::handleAnswer() {
    if (answerSlot_.channel != kDfuChannel) return;
    const uint8_t* data = answerBuffer_ + kDfuAnswerDataOffset;
    uint16_t length = answerSlot_.length;
    auto holds = [&](uint16_t bytes) { return length >= kDfuAnswerDataOffset + bytes; };

    switch (lastRequest_) {
        case LAST_DETACH:
            nextAction_ = ACTION_GET_STATUS;
            break;
        case LAST_DOWNLOAD:
            if (finalSent_) {
                finished_ = true;
                nextAction_ = ACTION_GET_STATUS;
            } else {
                armDelayed(ACTION_GET_STATUS, kStatusAfterBlockMs);
            }
            break;
        case LAST_RESET:
            nextAction_ = ACTION_ASK_STATUS_AFTER_LINK;
            break;
        case LAST_GET_DEVICE:
            if (!holds(sizeof deviceDescriptor_)) break;
            std::memcpy(deviceDescriptor_, data, sizeof deviceDescriptor_);
            nextAction_ = ACTION_GET_FUNCTION;
            break;
        case LAST_GET_FUNCTION: {
            if (!holds(6)) break;
            uint16_t size = static_cast<uint16_t>(data[4] | (data[5] << 8));
            transferSize_ = std::min(size, kDfuMaxTransfer);
            if (transferSize_ != 0)
                blocksInImage_.store(static_cast<uint32_t>((firmwareBytes_ + transferSize_ - 1) / transferSize_),
                                     std::memory_order_relaxed);
            statusWait_ = true;
            nextAction_ = ACTION_GET_STATUS;
            pollTimeout_ = 0;
            startTick_ = ce::tickCount();
            ce::consolePrint("[dfu\t] dfu_ctrl.bufferLength = %d bytes [%d]\nDownloading[", transferSize_, startTick_);
            break;
        }
        case LAST_GET_STATUS:
            if (!holds(6)) break;
            lastStatus_.bStatus = data[0];
            lastStatus_.bwPollTimeout = static_cast<uint32_t>(data[1] | (data[2] << 8) | (data[3] << 16));
            lastStatus_.bState = data[4];
            lastStatus_.iString = data[5];
            onStatus();
            break;
        default:
            break;
    }
}

void DfuEngine::onStatus() {
    if (finished_) {
        onStatusAfterFinal();
        return;
    }
    if (statusWait_) {
        if (lastStatus_.bState == DFU_STATE_DNBUSY) {
            // Still writing the block: a block sent now would be refused.
            waitWhileBusy();
            return;
        }
        statusWait_ = false;
        pollTimeout_ = lastStatus_.bwPollTimeout;
        releaseNextBlock();
        return;
    }
    switch (lastStatus_.bState) {
        case DFU_STATE_APP_IDLE:
            ce::consolePrint("[dfu\t] dfu_ctrl = app_idle\n");
            nextAction_ = ACTION_DETACH;
            break;
        case DFU_STATE_APP_DETACH:
            ce::consolePrint("[dfu\t] dfu_ctrl = app_detach\n");
            nextAction_ = ACTION_RESET;
            break;
        case DFU_STATE_DFU_IDLE:
            ce::consolePrint("[dfu\t] dfu_ctrl = dfu_idle\n");
            nextAction_ = ACTION_GET_DEVICE;
            break;
        case DFU_STATE_DNLOAD_SYNC:
            ce::consolePrint("[dfu\t] dfu_ctrl = dfu_dnload_sync\n");
            break;
        case DFU_STATE_DNBUSY:
            ce::consolePrint("[dfu\t] dfu_ctrl = dfu_dnload_busy\n");
            waitWhileBusy();
            break;
        case DFU_STATE_DNLOAD_IDLE:
            if (endOfFile_) {
                ce::consolePrint("]\n EndPacket..Please Wait..\n");
                nextAction_ = ACTION_FINAL_DOWNLOAD;
            } else {
                statusWait_ = true;
                pollTimeout_ = 0;
                nextAction_ = ACTION_GET_STATUS;
            }
            break;
        case DFU_STATE_MANIFEST_SYNC:
            nextAction_ = ACTION_GET_STATUS;
            break;
        default:
            break;  // dfuMANIFEST ... dfuERROR and unknown states: nothing more on our own
    }
}

// After the final download only dfuIDLE is success. While the module is still manifesting the
// image it is asked again once its poll time-out has passed; dfuERROR ends the asking.
void DfuEngine::onStatusAfterFinal() {
    if (lastStatus_.bState == DFU_STATE_DFU_IDLE) {
        uint32_t now = ce::tickCount();
        ce::consolePrint("[dfu\t] DFU Upgrade is success[%d] durtime =  [%ds] !!!\r\n", now, (now - startTick_) / 1000);
        done_.store(1, std::memory_order_relaxed);
        return;
    }
    if (lastStatus_.bState == DFU_STATE_ERROR) return;
    armDelayed(ACTION_GET_STATUS, std::max(lastStatus_.bwPollTimeout, kManifestPollMs));
}

// A busy module takes no request before its poll time-out has passed (a DFU device stalls one
// that comes early and goes to dfuERROR), so the only request is the status after the poll
// time-out (the one in this answer, or the one saved with the last block if longer) and a
// margin. Its answer releases the next block.
void DfuEngine::waitWhileBusy() {
    armDelayed(ACTION_GET_STATUS, std::max(pollTimeout_, lastStatus_.bwPollTimeout) + kBusyExtraMs);
    statusWait_ = true;
    pollTimeout_ = 0;
}

void DfuEngine::releaseNextBlock() {
    if (endOfFile_) {
        nextAction_ = ACTION_FINAL_DOWNLOAD;
    } else {
        nextAction_ = ACTION_DOWNLOAD;
    }
}

}  // namespace bluetooth
