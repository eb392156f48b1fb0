// The boot firmware against hand-built host frames: the connection for both chips, the
// signature layouts, blank check and erase, the programming and verify transfers and the
// injected faults.

#include "sim/mcu/mcu_firmware.h"

#include <gtest/gtest.h>

#include "firmware_fixture.h"
#include "sim/mcu/device_frames.h"

namespace sim::mcu {
namespace {

using testing::Bytes;
using testing::command;
using testing::dataFrame;
using testing::range;

constexpr uint8_t ACK = 0x06;

class McuFirmwareTest : public testing::FirmwareTest {};

uint32_t rateSet(const std::vector<DeviceAction>& actions) {
    for (const auto& a : actions)
        if (a.kind == DeviceAction::SetRate) return a.value;
    return 0;
}

// Decodes the 7-bit fields the way the signature is defined, checking odd parity on each byte.
uint32_t field(const Bytes& d, size_t i) {
    EXPECT_EQ(__builtin_popcount(d.at(i)) % 2, 1) << "byte D" << i << " lacks odd parity";
    return d.at(i) & 0x7F;
}

TEST_F(McuFirmwareTest, AnswersNothingBeforeEntryAndSynchronisation) {
    McuFlash flash(McuFlash::blank(0x1000));
    std::vector<std::string> log;
    McuOptions o;
    o.lastAddress = 0xFFF;
    o.blockCount = 4;
    McuFirmware fw(o, flash, [&](const std::string& l) { log.push_back(l); });
    Bytes reset = command(0x00);
    EXPECT_TRUE(fw.receive(reset.data(), reset.size(), 1).empty());  // not in programming mode
    fw.enterProgrammingMode(2);
    EXPECT_TRUE(fw.receive(reset.data(), reset.size(), 3).empty());  // not synchronised
    Bytes sync = {0x00, 0x00};
    fw.receive(sync.data(), sync.size(), 4);
    auto actions = fw.receive(reset.data(), reset.size(), 5);
    ASSERT_EQ(actions.size(), 1u);
    EXPECT_EQ(actions[0].bytes, (Bytes{0x02, 0x01, 0x06, 0xF9, 0x03}));
    fw.leaveProgrammingMode();
    EXPECT_TRUE(fw.receive(reset.data(), reset.size(), 6).empty());
}

TEST_F(McuFirmwareTest, Chip0SwitchesTo115200AfterAnsweringTheOscillatorCommandAndHasNoBaudCommand) {
    start();
    auto actions = feed(command(0x90, {0x01, 0x00, 0x00, 0x05}));
    ASSERT_EQ(actions.size(), 2u);
    EXPECT_EQ(actions[0].kind, DeviceAction::Send);  // the answer leaves at the old rate
    EXPECT_EQ(rateSet(actions), 115200u);
    EXPECT_EQ(ask(command(0x9A, {0x08})), (std::vector<Bytes>{{0x04}}));
    EXPECT_EQ(ask(command(0x90, {0x01})), (std::vector<Bytes>{{0x05}}));  // wrong length
}

TEST_F(McuFirmwareTest, Chip1AnswersTheBaudCommandAtTheOldRateThenSwitches) {
    McuOptions o;
    o.chip = 1;
    start(o);
    auto osc = feed(command(0x90, {0x05, 0x00, 0x00, 0x04}));
    EXPECT_EQ(rateSet(osc), 0u);
    auto baud = feed(command(0x9A, {0x08}));
    ASSERT_EQ(baud.size(), 2u);
    EXPECT_EQ(baud[0].kind, DeviceAction::Send);
    EXPECT_EQ(rateSet(baud), 153600u);
    EXPECT_EQ(ask(command(0x9A, {0x42})), (std::vector<Bytes>{{0x05}}));
}

TEST_F(McuFirmwareTest, SignatureLayoutsOfBothChips) {
    McuOptions o;
    o.lastAddress = 0x1FFFF;
    o.blockCount = 64;
    o.deviceName = "ABCDEFGHIJ";
    start(o);
    auto frames = ask(command(0xC0));
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0], Bytes{ACK});
    const Bytes& d0 = frames[1];
    EXPECT_EQ(field(d0, 0), 0x10u);
    EXPECT_EQ(field(d0, 4) | field(d0, 5) << 7 | field(d0, 6) << 14, 0x1FFFFu);
    for (size_t i = 0; i < 10; ++i) EXPECT_EQ(field(d0, 7 + i), static_cast<uint32_t>('A' + i));
    EXPECT_EQ(field(d0, 18), 64u);

    o.chip = 1;
    o.vendorCode = 0x22;
    start(o);
    frames = ask(command(0xC0));
    ASSERT_EQ(frames.size(), 2u);
    const Bytes& d1 = frames[1];
    EXPECT_EQ(field(d1, 0), 0x22u);
    EXPECT_EQ(field(d1, 3) | field(d1, 4) << 7 | field(d1, 5) << 14, 0x1FFFFu);
    for (size_t i = 0; i < 10; ++i) EXPECT_EQ(field(d1, 6 + i), static_cast<uint32_t>('A' + i));
    EXPECT_EQ(field(d1, 16), 64u);
}

TEST_F(McuFirmwareTest, BlankCheckEraseAndTheirFaults) {
    McuOptions o;
    o.lastAddress = 0xFFF;
    o.blockCount = 4;
    start(o);
    EXPECT_EQ(ask(command(0x32, range(0, 0xFFF))), (std::vector<Bytes>{{0x1B}}));
    EXPECT_EQ(ask(command(0x32, range(0, 0x1FFF))), (std::vector<Bytes>{{0x05}}));  // beyond the flash
    auto erase = feed(command(0x20));
    ASSERT_EQ(erase.front().kind, DeviceAction::Wait);  // erasing takes its time before the answer
    EXPECT_EQ(testing::framesSent(erase), (std::vector<Bytes>{{ACK}}));
    EXPECT_TRUE(flash->isBlank(0, 0xFFF));
    EXPECT_EQ(ask(command(0x32, range(0, 0xFFF))), (std::vector<Bytes>{{ACK}}));

    o.chip = 1;
    auto contents = McuFlash::blank(0x1000);
    contents[0x800] = 0x00;  // block 2 of 1 KiB holds something
    start(o, contents);
    EXPECT_EQ(ask(command(0x32, {1})), (std::vector<Bytes>{{ACK}}));
    EXPECT_EQ(ask(command(0x32, {2})), (std::vector<Bytes>{{0x1B}}));
    EXPECT_EQ(ask(command(0x32, {4})), (std::vector<Bytes>{{0x05}}));

    o.chip = 0;
    o.faults.notBlankForever = true;
    o.faults.eraseNoAck = true;
    start(o);
    EXPECT_TRUE(testing::framesSent(feed(command(0x20))).empty());
    EXPECT_TRUE(flash->isBlank(0, 0xFFF));  // erased all the same
    EXPECT_EQ(ask(command(0x32, range(0, 0xFFF))), (std::vector<Bytes>{{0x1B}}));
}

class TransferTest : public McuFirmwareTest {
protected:
    void SetUp() override {
        options.lastAddress = 0x3FF;  // four 256-byte units
        options.blockCount = 1;
        for (int b = 0; b < 4; ++b) {
            Bytes block(256);
            for (size_t i = 0; i < 256; ++i) block[i] = static_cast<uint8_t>(b * 31 + i);
            image.push_back(block);
        }
    }
    void program(McuOptions o, std::vector<uint8_t> contents = McuFlash::blank(0x400)) {
        start(o, std::move(contents));
        ASSERT_EQ(ask(command(0x40, range(0, 0x3FF))), (std::vector<Bytes>{{ACK}}));
    }
    std::vector<Bytes> image;
};

TEST_F(TransferTest, ProgramsEachFrameOnceAndVerifiesInternallyAfterTheLast) {
    program(options);
    for (int b = 0; b < 3; ++b) EXPECT_EQ(ask(dataFrame(image[b], false)), (std::vector<Bytes>{{ACK, ACK}}));
    auto last = ask(dataFrame(image[3], true));
    EXPECT_EQ(last, (std::vector<Bytes>{{ACK, ACK}, {ACK}}));  // block status, then internal verify
    for (int b = 0; b < 4; ++b) EXPECT_TRUE(flash->equals(b * 256, image[b].data(), 256));

    EXPECT_EQ(ask(command(0x13, range(0, 0x3FF))), (std::vector<Bytes>{{ACK}}));
    Bytes changed = image[1];
    changed[17] ^= 0xFF;
    EXPECT_EQ(ask(dataFrame(image[0], false)), (std::vector<Bytes>{{ACK, ACK}}));
    EXPECT_EQ(ask(dataFrame(changed, false)), (std::vector<Bytes>{{ACK, 0x0F}}));
    // A frame after the transfer is over is not taken.
    ask(dataFrame(image[2], false));
    ask(dataFrame(image[3], true));
    EXPECT_TRUE(ask(dataFrame(image[0], true)).empty());
}

TEST_F(TransferTest, CellsThatWereNotErasedFailTheWriteAndTheInternalVerify) {
    program(options, McuFlash::oldFirmware(0x400));
    EXPECT_EQ(ask(dataFrame(image[0], false))[0][1], 0x1C);
    ask(dataFrame(image[1], false));
    ask(dataFrame(image[2], false));
    auto last = ask(dataFrame(image[3], true));
    ASSERT_EQ(last.size(), 2u);
    EXPECT_EQ(last[1], Bytes{0x1B});
}

TEST_F(TransferTest, ALostFrameIsTakenWhenSentAgainAndABadChecksumIsRefused) {
    McuOptions o = options;
    o.faults.dropAck = {1};
    o.faults.writeError = {3};
    program(o);
    ask(dataFrame(image[0], false));
    EXPECT_TRUE(ask(dataFrame(image[1], false)).empty());  // lost once
    EXPECT_EQ(ask(dataFrame(image[1], false)), (std::vector<Bytes>{{ACK, ACK}}));
    Bytes broken = dataFrame(image[2], false);
    broken[100] ^= 0x01;
    EXPECT_EQ(ask(broken), (std::vector<Bytes>{{0x07}}));
    EXPECT_EQ(ask(dataFrame(image[2], false)), (std::vector<Bytes>{{ACK, ACK}}));
    auto last = ask(dataFrame(image[3], true));
    EXPECT_EQ(last[0], (Bytes{ACK, 0x1C}));  // the injected write error
    EXPECT_TRUE(flash->equals(0x100, image[1].data(), 256));
    EXPECT_TRUE(flash->equals(0x200, image[2].data(), 256));
}

TEST_F(TransferTest, ALostStatusLeavesTheBlockProgrammedSoItsNextCopyLandsOnTheNextAddress) {
    McuOptions o = options;
    o.faults.loseStatus = {1};
    program(o);
    ask(dataFrame(image[0], false));
    EXPECT_TRUE(ask(dataFrame(image[1], false)).empty());  // programmed, answer lost once
    EXPECT_EQ(ask(dataFrame(image[1], false)), (std::vector<Bytes>{{ACK, ACK}}));
    EXPECT_TRUE(flash->equals(0x100, image[1].data(), 256));
    EXPECT_TRUE(flash->equals(0x200, image[1].data(), 256)) << "the copy went to the next block";
    EXPECT_EQ(ask(dataFrame(image[2], false)), (std::vector<Bytes>{{ACK, ACK}}));
    EXPECT_EQ(ask(dataFrame(image[3], true)), (std::vector<Bytes>{{0x05}}));  // one block too many

    // In the verify pass the lost status follows a comparison.
    o.faults = {};
    o.faults.loseVerifyStatus = {0};
    program(o);
    for (int b = 0; b < 4; ++b) ask(dataFrame(image[b], b == 3));
    ASSERT_EQ(ask(command(0x13, range(0, 0x3FF))), (std::vector<Bytes>{{ACK}}));
    EXPECT_TRUE(ask(dataFrame(image[0], false)).empty());
    EXPECT_EQ(ask(dataFrame(image[0], false)), (std::vector<Bytes>{{ACK, 0x0F}}));  // compared with block 1
}

TEST_F(TransferTest, AnEarlyEndFailsTheInternalVerifyAndAnOverrunIsRefused) {
    program(options);
    ask(dataFrame(image[0], false));
    auto early = ask(dataFrame(image[1], true));
    ASSERT_EQ(early.size(), 2u);
    EXPECT_EQ(early[1], Bytes{0x1B});

    ASSERT_EQ(ask(command(0x40, range(0, 0x1FF))), (std::vector<Bytes>{{ACK}}));
    ask(dataFrame(image[0], false));
    ask(dataFrame(image[1], false));
    EXPECT_EQ(ask(dataFrame(image[2], false)), (std::vector<Bytes>{{0x05}}));
}

TEST_F(McuFirmwareTest, RefusesOrCorruptsAnswersAsOftenAsConfigured) {
    McuOptions o;
    o.faults.nak[0x00] = 2;
    o.faults.corruptChecksum[0xC0] = 1;
    start(o);
    EXPECT_EQ(ask(command(0x00)), (std::vector<Bytes>{{0x15}}));
    EXPECT_EQ(ask(command(0x00)), (std::vector<Bytes>{{0x15}}));
    EXPECT_EQ(ask(command(0x00)), (std::vector<Bytes>{{ACK}}));

    auto sig = feed(command(0xC0));
    ASSERT_EQ(sig.size(), 2u);
    unsigned sum = 0;
    for (size_t i = 1; i + 1 < sig[0].bytes.size(); ++i) sum += sig[0].bytes[i];
    EXPECT_NE(sum & 0xFF, 0u);
    EXPECT_EQ(ask(command(0xC0)).size(), 2u);  // the second time all is well

    Bytes bad = command(0x00);
    bad[3] ^= 0x10;
    EXPECT_EQ(ask(bad), (std::vector<Bytes>{{0x07}}));
    EXPECT_EQ(ask(command(0x77)), (std::vector<Bytes>{{0x04}}));
}

}  // namespace
}  // namespace sim::mcu
