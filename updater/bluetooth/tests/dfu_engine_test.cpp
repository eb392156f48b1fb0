// The DFU state machine driven answer by answer: which request follows which answer, and
// exactly which image bytes go out in which block.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/core/debug.h"
#include "platform/core/time.h"
#include "sim/headunit/headunit.h"
#include "updater/bluetooth/dfu_engine.h"
#include "updater/bluetooth/tests/memory_port.h"

namespace bluetooth {
namespace {

using namespace testing;

// DFU states as numbered on the wire.
enum : uint8_t { appIDLE = 0, appDETACH = 1, dfuIDLE = 2, dfuDNBUSY = 4, dfuDNLOAD_IDLE = 5,
                 dfuMANIFEST_SYNC = 6, dfuMANIFEST = 7, dfuERROR = 10 };

struct SentSetup {
    uint8_t requestType, request;
    uint16_t value, length;
    uint16_t payloadLength;
};

class EngineTest : public ::testing::Test {
protected:
    EngineTest() : link(port), engine(link, kDefaultPath) { engine.prepare(); }

    static constexpr const char* kDefaultPath = "\\SDMMC Card\\UpdateXan\\BT.bin";

    // Writes an image of `size` bytes whose byte i is (i * 7 + i / 251) & 0xFF.
    Bytes writeImage(size_t size) {
        Bytes image(size);
        for (size_t i = 0; i < size; ++i) image[i] = static_cast<uint8_t>((i * 7 + i / 251) & 0xFF);
        std::filesystem::create_directories(unit.sdcard() / "UpdateXan");
        std::ofstream(unit.sdcard() / "UpdateXan" / "BT.bin", std::ios::binary)
            .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
        return image;
    }

    SentSetup sent() const {
        const uint8_t* b = engine.requestBytes();
        return {b[0], b[1], static_cast<uint16_t>(b[2] | (b[3] << 8)), static_cast<uint16_t>(b[6] | (b[7] << 8)),
                engine.request().length};
    }

    Bytes sentData() const {
        const uint8_t* b = engine.requestBytes();
        return Bytes(b + 8, b + engine.request().length);
    }

    // An answer on channel 12: 4 bytes, then the data.
    void answer(const Bytes& data, uint8_t channel = 12) {
        Bytes payload = {0, 0, static_cast<uint8_t>(data.size()), 0};
        payload.insert(payload.end(), data.begin(), data.end());
        std::copy(payload.begin(), payload.end(), engine.answerBytes());
        engine.answerSlot().channel = channel;
        engine.answerSlot().length = static_cast<uint16_t>(payload.size());
        engine.handleAnswer();
    }

    void status(uint8_t state, uint32_t pollTimeout = 0, uint8_t statusCode = 0) {
        answer({statusCode, static_cast<uint8_t>(pollTimeout), static_cast<uint8_t>(pollTimeout >> 8),
                static_cast<uint8_t>(pollTimeout >> 16), state, 0});
    }

    void functionAnswer(uint16_t transferSize) {
        answer({0x21, 0x0B, 0xB8, 0x0B, static_cast<uint8_t>(transferSize), static_cast<uint8_t>(transferSize >> 8)});
    }

    // Starts the download and walks the module from dfuIDLE to the release of block 0.
    void startInDfuIdle(uint16_t transferSize) {
        ASSERT_TRUE(engine.startDownload());
        status(dfuIDLE);
        EXPECT_EQ(engine.nextAction(), ACTION_GET_DEVICE);
        engine.performAction();
        answer(Bytes(12, 0x5A));
        EXPECT_EQ(engine.nextAction(), ACTION_GET_FUNCTION);
        engine.performAction();
        functionAnswer(transferSize);
        engine.performAction();  // get status
        status(dfuIDLE);         // releases block 0
    }

    // One block: download, its answer, the delayed status (dnload-idle), the status that
    // releases the next. Returns the block's setup.
    SentSetup downloadBlock(Bytes& received) {
        EXPECT_EQ(engine.nextAction(), ACTION_DOWNLOAD);
        engine.performAction();
        SentSetup block = sent();
        Bytes data = sentData();
        received.insert(received.end(), data.begin(), data.end());
        answer({});
        EXPECT_TRUE(engine.delayedArmed());
        engine.checkDelayedAction(engine.delayedDue());
        engine.performAction();
        EXPECT_EQ(sent().request, 0x03);
        status(dfuDNLOAD_IDLE);
        if (engine.nextAction() == ACTION_GET_STATUS) {
            engine.performAction();
            status(dfuDNLOAD_IDLE);
        }
        return block;
    }

    sim::TempHeadUnit unit;
    MemoryPort port;
    BcspLink link;
    DfuEngine engine;
};

TEST_F(EngineTest, ModuleInApplicationModeIsDetachedAndResetFirst) {
    writeImage(2000);
    ce::DebugCapture capture;
    ASSERT_TRUE(engine.startDownload());
    EXPECT_EQ(sent().requestType, 0xA1);
    EXPECT_EQ(sent().request, 0x03);
    EXPECT_EQ(sent().length, 6);
    EXPECT_EQ(sent().payloadLength, 8);  // device-to-host: the setup block only
    EXPECT_EQ(engine.request().channel, 12);
    EXPECT_EQ(engine.request().reliable, 1);
    EXPECT_TRUE(capture.contains("[dfu\t] send_dfu_get_status() == Error [0]\n"));

    status(appIDLE);
    engine.performAction();
    EXPECT_EQ(sent().requestType, 0x21);
    EXPECT_EQ(sent().request, 0x00);
    EXPECT_EQ(sent().value, 3000);
    EXPECT_EQ(sent().payloadLength, 8);

    answer({});  // the detach is answered: ask the status
    engine.performAction();
    EXPECT_EQ(sent().request, 0x03);
    status(appDETACH);
    engine.performAction();
    EXPECT_EQ(sent().requestType, 0x41);
    EXPECT_EQ(sent().request, 0x07);

    answer({});  // the reset is answered: ask the status once the link is back
    EXPECT_EQ(engine.nextAction(), ACTION_ASK_STATUS_AFTER_LINK);
    engine.performAction();
    EXPECT_TRUE(capture.contains("[dfu\t] IsSendReadDFUStatus = 1\n"));
    engine.onLinkActivity(BCSP_PEER_RESET);
    EXPECT_TRUE(capture.contains("[dfu\t] APPLICATION PEER RESET\n"));
    EXPECT_EQ(engine.nextAction(), ACTION_NONE);
    engine.onLinkActivity(BCSP_PACKET_SENT);  // link established again
    EXPECT_EQ(engine.nextAction(), ACTION_GET_STATUS);
    engine.performAction();
    status(dfuIDLE);
    EXPECT_EQ(engine.nextAction(), ACTION_GET_DEVICE);
    engine.performAction();
    EXPECT_EQ(sent().requestType, 0xC1);
    EXPECT_EQ(sent().request, 0x08);
    EXPECT_EQ(sent().length, 12);
}

TEST_F(EngineTest, ExampleImageOf10356BytesGoesOutInElevenBlocksWithoutItsSuffix) {
    Bytes image = writeImage(10356);
    ce::DebugCapture capture;
    startInDfuIdle(1024);
    EXPECT_TRUE(capture.contains("[dfu\t] dfu_ctrl.bufferLength = 1024 bytes ["));
    Bytes received;
    for (int block = 0; block <= 10; ++block) {
        SentSetup s = downloadBlock(received);
        EXPECT_EQ(s.requestType, 0x21);
        EXPECT_EQ(s.request, 0x01);
        EXPECT_EQ(s.value, block);
        EXPECT_EQ(s.length, block < 10 ? 1024 : 100);
        EXPECT_EQ(s.payloadLength, 8 + s.length);
    }
    EXPECT_EQ(engine.blocksSent(), 11u);
    EXPECT_EQ(engine.nextAction(), ACTION_FINAL_DOWNLOAD);
    EXPECT_TRUE(capture.contains("]\n EndPacket..Please Wait..\n"));
    engine.performAction();
    EXPECT_EQ(sent().value, 11);
    EXPECT_EQ(sent().length, 0);
    EXPECT_EQ(sent().payloadLength, 8);
    EXPECT_EQ(received, Bytes(image.begin(), image.end() - 16));

    answer({});
    engine.performAction();
    EXPECT_FALSE(engine.done());
    status(dfuIDLE);
    EXPECT_TRUE(engine.done());
    EXPECT_TRUE(capture.contains("[dfu\t] DFU Upgrade is success["));
}

TEST_F(EngineTest, TransferSizeAboveTheBufferIsLimitedTo1024) {
    writeImage(3000);
    startInDfuIdle(4096);
    EXPECT_EQ(engine.transferSize(), 1024);
    Bytes received;
    EXPECT_EQ(downloadBlock(received).length, 1024);
}

TEST_F(EngineTest, ImageOfWholeBlocksNeverSendsAnEmptyOrSuffixBlock) {
    Bytes image = writeImage(2 * 512 + 16);
    startInDfuIdle(512);
    Bytes received;
    EXPECT_EQ(downloadBlock(received).length, 512);
    EXPECT_EQ(downloadBlock(received).length, 512);
    EXPECT_EQ(engine.nextAction(), ACTION_FINAL_DOWNLOAD);
    engine.performAction();
    EXPECT_EQ(sent().value, 2);
    EXPECT_EQ(sent().length, 0);
    EXPECT_EQ(engine.blocksSent(), 2u);
    EXPECT_EQ(received, Bytes(image.begin(), image.end() - 16));
}

TEST_F(EngineTest, ImageOfSixteenBytesOrFewerOrMissingCannotStart) {
    ce::DebugCapture capture;
    EXPECT_FALSE(engine.startDownload());  // no file at all
    EXPECT_TRUE(capture.contains("Cannot open file[\\SDMMC Card\\UpdateXan\\BT.bin].\n"));
    writeImage(16);
    EXPECT_FALSE(engine.startDownload());
    EXPECT_EQ(engine.blocksSent(), 0u);
    writeImage(17);
    EXPECT_TRUE(engine.startDownload());
}

TEST_F(EngineTest, BusyAfterTheLastShortBlockLeadsToTheFinalDownload) {
    writeImage(1024 + 50 + 16);
    startInDfuIdle(1024);
    Bytes received;
    downloadBlock(received);
    engine.performAction();  // block 1, 50 bytes: end of the firmware
    EXPECT_EQ(sent().length, 50);
    EXPECT_TRUE(engine.endOfFile());
    answer({});
    engine.checkDelayedAction(engine.delayedDue());
    engine.performAction();
    status(dfuDNBUSY, 30);
    EXPECT_EQ(engine.nextAction(), ACTION_NONE);
    ASSERT_TRUE(engine.delayedArmed());
    engine.checkDelayedAction(engine.delayedDue());
    engine.performAction();
    status(dfuDNLOAD_IDLE);  // the status that releases the "next block"
    EXPECT_EQ(engine.nextAction(), ACTION_FINAL_DOWNLOAD);
    engine.performAction();
    EXPECT_EQ(sent().request, 0x01);
    EXPECT_EQ(sent().length, 0);
    EXPECT_EQ(sent().value, 2);
    EXPECT_EQ(engine.blocksSent(), 2u);
}

// A busy module is sent nothing until its poll time-out and the margin have passed: then one
// status request, whose answer releases the next block, or waits again while still busy.
TEST_F(EngineTest, BusyModuleIsAskedOnceAfterItsPollTimeOut) {
    writeImage(4000);
    startInDfuIdle(1024);
    engine.performAction();  // block 0
    answer({});
    engine.checkDelayedAction(engine.delayedDue());
    engine.performAction();
    status(dfuDNBUSY, 50);
    EXPECT_EQ(engine.nextAction(), ACTION_NONE);
    ASSERT_TRUE(engine.delayedArmed());
    uint32_t wait = engine.delayedDue() - ce::tickCount();
    EXPECT_GE(wait, 250u);
    EXPECT_LE(wait, 290u);
    engine.checkDelayedAction(engine.delayedDue() - 1);
    EXPECT_EQ(engine.nextAction(), ACTION_NONE);

    engine.checkDelayedAction(engine.delayedDue());
    engine.performAction();
    EXPECT_EQ(sent().request, 0x03);
    status(dfuDNBUSY, 400);  // still busy: no block yet, asked again after the new time-out
    EXPECT_EQ(engine.nextAction(), ACTION_NONE);
    ASSERT_TRUE(engine.delayedArmed());
    EXPECT_GE(engine.delayedDue() - ce::tickCount(), 600u);

    engine.checkDelayedAction(engine.delayedDue());
    engine.performAction();
    status(dfuDNLOAD_IDLE);
    EXPECT_EQ(engine.nextAction(), ACTION_DOWNLOAD);
    EXPECT_FALSE(engine.delayedArmed());
    engine.performAction();
    EXPECT_EQ(sent().value, 1);
}

TEST_F(EngineTest, ManifestingModuleIsAskedUntilIdle) {
    writeImage(100);
    startInDfuIdle(1024);
    Bytes received;
    downloadBlock(received);
    engine.performAction();  // final download
    answer({});
    engine.performAction();
    status(dfuMANIFEST_SYNC, 0);
    EXPECT_FALSE(engine.done());
    EXPECT_TRUE(engine.delayedArmed());
    engine.checkDelayedAction(engine.delayedDue());
    engine.performAction();
    status(dfuMANIFEST, 500);
    EXPECT_FALSE(engine.done());
    uint32_t wait = engine.delayedDue() - ce::tickCount();
    EXPECT_GE(wait, 450u);  // after the module's poll time-out
    engine.checkDelayedAction(engine.delayedDue());
    engine.performAction();
    status(dfuIDLE);
    EXPECT_TRUE(engine.done());
}

TEST_F(EngineTest, ErrorAfterTheFinalDownloadIsNeverSuccess) {
    writeImage(100);
    startInDfuIdle(1024);
    Bytes received;
    downloadBlock(received);
    engine.performAction();
    answer({});
    engine.performAction();
    status(dfuERROR, 0, 0x03);
    EXPECT_FALSE(engine.done());
    EXPECT_FALSE(engine.delayedArmed());
    EXPECT_EQ(engine.nextAction(), ACTION_NONE);
}

TEST_F(EngineTest, NoBlockBeforeTheTransferSizeIsKnown) {
    writeImage(3000);
    ASSERT_TRUE(engine.startDownload());
    // A module left mid-download by an earlier attempt reports dfuDNLOAD-IDLE.
    status(dfuDNLOAD_IDLE);
    engine.performAction();
    status(dfuDNLOAD_IDLE);  // the status-wait rule would release a block now
    engine.performAction();
    EXPECT_EQ(sent().request, 0x08);  // it asks for the descriptors instead
    EXPECT_EQ(engine.blocksSent(), 0u);
    answer(Bytes(12, 0));
    engine.performAction();
    functionAnswer(1024);
    engine.performAction();
    status(dfuDNLOAD_IDLE);
    engine.performAction();
    EXPECT_EQ(sent().request, 0x01);
    EXPECT_EQ(sent().value, 0);  // from block 0
    EXPECT_EQ(sent().length, 1024);
}

TEST_F(EngineTest, AnswersOnOtherChannelsOrTooShortAreIgnored) {
    writeImage(3000);
    ASSERT_TRUE(engine.startDownload());
    answer({0, 0, 0, 0, appIDLE, 0}, 5);
    EXPECT_EQ(engine.nextAction(), ACTION_NONE);
    answer({0, 0, 0});
    EXPECT_EQ(engine.nextAction(), ACTION_NONE);
    status(appIDLE);
    EXPECT_EQ(engine.nextAction(), ACTION_DETACH);
}

}  // namespace
}  // namespace bluetooth
