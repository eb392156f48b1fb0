// The library against the simulated MCU, driven as the updater drives it: success and every
// failure path ends with exactly one end report, and the MCU's flash holds what it should.

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>

#include "mcu_test_rig.h"

namespace mcutest {
namespace {

// The flash the MCU should hold after programming an image: the image up to the last address,
// zeros where the image is shorter.
Bytes expectedFlash(const Bytes& image, uint32_t flashSize) {
    Bytes flash(flashSize, 0x00);
    std::copy_n(image.begin(), std::min<size_t>(image.size(), flashSize), flash.begin());
    return flash;
}

TEST(McuUpdate, ProgramsAShortImageZeroFilledAndReportsEachPhaseOnce) {
    McuRig rig;
    auto options = smallMcu();
    rig.startSimulator(options);
    Bytes image = pattern(0x1000 + 100, 7);  // 16 blocks and a bit of the 17th
    rig.writeImage(image);

    RunResult r = rig.run();
    EXPECT_EQ(r.startResult, 1);
    ASSERT_TRUE(r.succeeded()) << r.debug;
    EXPECT_EQ(r.phases(), (std::vector<ce::WPARAM>{0x8000, 0x8001, 0x8002, 0x8003, 0x8004, 0x4000}));
    EXPECT_EQ(rig.mcu().flashContents(), expectedFlash(image, options.flashSize()));
    EXPECT_EQ(rig.simLogCount("CHIP ERASE -> ACK"), 1);  // the old firmware was erased first
    // The block positions climb within each pass and end at 240.
    std::vector<ce::WPARAM> positions;
    for (auto w : r.reports)
        if (!(w & 0xC000)) positions.push_back(w);
    ASSERT_FALSE(positions.empty());
    EXPECT_EQ(*std::max_element(positions.begin(), positions.end()), 240u);
    // The sender reports the closed write pass with the first frame it sends after it.
    auto verify = std::find(r.reports.begin(), r.reports.end(), 0x8003u);
    ASSERT_LT(verify + 1, r.reports.end());
    EXPECT_EQ(*(verify + 1), 240u);
    EXPECT_EQ(r.count("$ DEVICE : HUMCU-F60, $ LAST ADD : 1fff \r\n"), 1);
    EXPECT_EQ(r.count("$ Internal Verify : OK!\r\n"), 1);
    EXPECT_EQ(r.count("$$ End of Update Process : Success! \r\n"), 1);
}

TEST(McuUpdate, ABlankDeviceSkipsTheEraseAndDataInEveryFrameSurvivesNoiseAndSplitting) {
    McuRig rig;
    auto options = smallMcu();
    options.start = sim::mcu::StartContents::Blank;
    options.internalVerifyMs = 0;         // the internal verify follows the last block at once
    options.faults.garbageBytes = 3;      // noise before every frame
    options.faults.splitFrames = 2;       // frames in pieces
    options.faults.nak[0x00] = 1;              // the first reset is refused ...
    options.faults.corruptChecksum[0x00] = 2;  // ... and its answer and the next are corrupt
    rig.startSimulator(options);
    Bytes image = pattern(options.flashSize(), 99);
    rig.writeImage(image);

    RunResult r = rig.run();
    ASSERT_TRUE(r.succeeded()) << r.debug;
    EXPECT_EQ(rig.simLogCount("CHIP ERASE"), 0);
    EXPECT_EQ(r.count("$ Blank Check Block : OK.. \r\n"), 1);
    EXPECT_EQ(r.count("## MResetCmdIssue() : Retry!!\r\n"), 2);
    EXPECT_EQ(rig.mcu().flashContents(), image);
}

TEST(McuUpdate, FiveLostAcknowledgementsInAPassAreSentAgainASixthFails) {
    auto options = smallMcu();
    options.start = sim::mcu::StartContents::Blank;
    Bytes image = pattern(options.flashSize(), 3);
    {
        McuRig rig;
        options.faults.dropAck = {0, 4, 9, 20, 31};
        options.faults.dropVerifyAck = {1, 2, 3, 30, 31};  // the verify pass has its own budget
        rig.startSimulator(options);
        rig.writeImage(image);
        RunResult r = rig.run();
        ASSERT_TRUE(r.succeeded()) << r.debug;
        EXPECT_EQ(r.count("Re-Transfer! \r\n"), 10);
        EXPECT_EQ(rig.mcu().flashContents(), image);
    }
    {
        McuRig rig;
        options.faults.dropAck = {0, 4, 9, 20, 30, 31};
        options.faults.dropVerifyAck = {};
        rig.startSimulator(options);
        rig.writeImage(image);
        RunResult r = rig.run();
        ASSERT_TRUE(r.failed()) << r.debug;
        EXPECT_EQ(r.count("Re-Transfer! \r\n"), 5);
        EXPECT_EQ(r.count("FAIL!\r\n"), 1);
        EXPECT_EQ(r.count("??? Error code : ff \r\n"), 1);  // no status came at all
    }
}

// The two ways an answer gets lost. A lost frame is sent again and lands where it belongs. A
// block that was programmed but whose status was lost is sent again too, and lands on the next
// address: the run must then fail (here or in the verify pass), never report success with a
// shifted flash.
TEST(McuUpdate, ALostFrameIsSentAgainButALostStatusNeverEndsInSuccess) {
    auto options = smallMcu();
    options.start = sim::mcu::StartContents::Blank;
    Bytes image = pattern(options.flashSize(), 17);
    {
        McuRig rig;
        options.faults.dropAck = {4};
        rig.startSimulator(options);
        rig.writeImage(image);
        RunResult r = rig.run();
        ASSERT_TRUE(r.succeeded()) << r.debug;
        EXPECT_EQ(r.count("Re-Transfer! \r\n"), 1);
        EXPECT_EQ(rig.mcu().flashContents(), image);
        options.faults.dropAck.clear();
    }
    struct Lost {
        std::set<uint32_t> write;
        std::set<uint32_t> verify;
    };
    for (const Lost& lost : {Lost{{4}, {}}, Lost{{30}, {}}, Lost{{31}, {}}, Lost{{}, {4}}}) {
        McuRig rig;
        options.faults.loseStatus = lost.write;
        options.faults.loseVerifyStatus = lost.verify;
        rig.startSimulator(options);
        rig.writeImage(image);
        RunResult r = rig.run();
        const std::string which = lost.write.empty() ? "verify block " + std::to_string(*lost.verify.begin())
                                                     : "write block " + std::to_string(*lost.write.begin());
        EXPECT_TRUE(r.failed()) << which << "\n" << r.debug;
        EXPECT_EQ(r.count("$$ End of Update Process : Success!"), 0) << which;
        EXPECT_EQ(rig.simLogCount("status lost"), 1) << which;
    }
}

TEST(McuUpdate, ABlockRefusedInSt2FailsAtOnceWithoutReTransfer) {
    McuRig rig;
    auto options = smallMcu();
    options.faults.writeError = {5};
    rig.startSimulator(options);
    rig.writeImage(pattern(options.flashSize(), 1));
    RunResult r = rig.run();
    ASSERT_TRUE(r.failed()) << r.debug;
    EXPECT_EQ(r.count("Re-Transfer!"), 0);
    EXPECT_EQ(r.count("??? Error code : 1c \r\n"), 1);
    EXPECT_EQ(r.phases().back(), 0x4001u);
    EXPECT_EQ(std::count(r.reports.begin(), r.reports.end(), 0x8003u), 0);
}

TEST(McuUpdate, Chip1RunsAt153600WithAPerBlockBlankCheck) {
    // The MCU acknowledges the baud-rate command at the old rate; that status must not be
    // taken for the answer to the reset that follows the switch.
    McuRig rig;
    auto options = smallMcu();
    options.chip = 1;
    options.start = sim::mcu::StartContents::Blank;
    rig.startSimulator(options);
    Bytes image = pattern(options.flashSize(), 42);
    rig.writeImage(image);
    RunResult r = rig.run(1);
    ASSERT_TRUE(r.succeeded()) << r.debug;
    EXPECT_EQ(rig.simLogCount("BAUD RATE -> ACK"), 1);
    EXPECT_EQ(rig.simLogCount("line rate now 153600"), 1);
    EXPECT_EQ(rig.simLogCount("garbled"), 0);
    EXPECT_EQ(r.count("$ Blank Check Block 7 : OK.. \r\n"), 1);
    EXPECT_EQ(r.count("OK! Erase skiped. \r\n"), 1);
    EXPECT_EQ(rig.mcu().flashContents(), image);
}

TEST(McuUpdate, WrongVendorCodeFailsTheConnectPhase) {
    McuRig rig;
    auto options = smallMcu();
    options.vendorCode = 0x11;
    rig.startSimulator(options);
    rig.writeImage(pattern(options.flashSize(), 1));
    auto before = rig.mcu().flashContents();
    RunResult r = rig.run();
    ASSERT_TRUE(r.failed()) << r.debug;
    EXPECT_EQ(r.count("- Fail : MSiliconSignatureCmd() \r\n"), 1);
    EXPECT_EQ(r.count("??? Error code : 9 \r\n"), 1);
    EXPECT_EQ(r.phases(), (std::vector<ce::WPARAM>{0x8000, 0x4001}));
    EXPECT_EQ(rig.mcu().flashContents(), before);
}

TEST(McuUpdate, AChipVariantOtherThan0Or1FailsAtTheFrequencyStep) {
    McuRig rig;
    rig.startSimulator(smallMcu());
    rig.writeImage(pattern(0x2000, 1));
    RunResult r = rig.run(2);
    ASSERT_TRUE(r.failed()) << r.debug;
    EXPECT_EQ(r.count("- Fail : MOsc_Freq_Setting() \r\n"), 1);
    EXPECT_EQ(rig.simLogCount("OSCILLATOR"), 0);
}

TEST(McuUpdate, AMissingImageFailsBeforeAnythingIsErased) {
    McuRig rig;
    rig.startSimulator(smallMcu());
    auto before = rig.mcu().flashContents();
    RunResult r = rig.run();
    ASSERT_TRUE(r.failed()) << r.debug;
    EXPECT_EQ(r.count("ERROR : CreateFile Failed\r\n"), 1);
    EXPECT_EQ(r.count("??? Error code : 1 \r\n"), 1);
    EXPECT_EQ(rig.simLogCount("CHIP ERASE"), 0);
    EXPECT_EQ(rig.simLogCount("BLANK CHECK"), 0);
    EXPECT_EQ(rig.mcu().flashContents(), before);
}

TEST(McuUpdate, AnEmptyImageFailsBeforeAnythingIsErasedALongOneKeepsItsTailOut) {
    auto options = smallMcu();
    {
        McuRig rig;
        rig.startSimulator(options);
        rig.writeImage({});
        auto before = rig.mcu().flashContents();
        RunResult r = rig.run();
        ASSERT_TRUE(r.failed()) << r.debug;
        EXPECT_EQ(r.count("ERROR : the image is empty, nothing to program\r\n"), 1);
        EXPECT_EQ(r.count("??? Error code : 1 \r\n"), 1);
        EXPECT_EQ(rig.simLogCount("CHIP ERASE"), 0);
        EXPECT_EQ(rig.simLogCount("BLANK CHECK"), 0);
        EXPECT_EQ(rig.mcu().flashContents(), before);
    }
    {
        // An image longer than the flash: what fits is programmed, the rest is left out.
        McuRig rig;
        rig.startSimulator(options);
        Bytes image = pattern(options.flashSize() + 700, 21);
        rig.writeImage(image);
        RunResult r = rig.run();
        ASSERT_TRUE(r.succeeded()) << r.debug;
        EXPECT_EQ(rig.mcu().flashContents(), expectedFlash(image, options.flashSize()));
    }
}

TEST(McuUpdate, AnUnopenablePortEndsTheStartWithOneFailureReport) {
    McuRig rig;  // no simulator: dev/COM5 leads nowhere
    RunResult r = rig.run();
    EXPECT_EQ(r.startResult, 0);
    EXPECT_EQ(r.reports, (std::vector<ce::WPARAM>{0x4001}));
    EXPECT_EQ(r.count("= UPDATEMICOM : Connection FAILED!! - INVALID_HANDLE_VALUE \r\n"), 1);
}

TEST(McuUpdate, ASecondStartWhileOneRunsIsRefusedAndTheFirstGoesOn) {
    McuRig rig;
    auto options = smallMcu();
    options.start = sim::mcu::StartContents::Blank;
    rig.startSimulator(options);
    Bytes image = pattern(options.flashSize(), 5);
    rig.writeImage(image);
    int second = -1;
    RunResult r = rig.run(0, true, [&] { second = StartUpdateMicom(u"COM5:", u"\\SDMMC Card\\x.bin", 1); });
    EXPECT_EQ(second, 0);
    ASSERT_TRUE(r.succeeded()) << r.debug;
    EXPECT_EQ(std::count(r.reports.begin(), r.reports.end(), 0x8000u), 1);
    EXPECT_EQ(rig.mcu().flashContents(), image);

    // Once it has ended, the next start runs (the updater's next attempt).
    RunResult again = rig.run();
    EXPECT_TRUE(again.succeeded()) << again.debug;
}

TEST(McuUpdate, WithoutTheProgrammingModeSequenceTheMcuNeverAnswers) {
    McuRig rig;
    auto options = smallMcu();
    options.start = sim::mcu::StartContents::Blank;
    rig.startSimulator(options);
    rig.writeImage(pattern(options.flashSize(), 5));
    RunResult r = rig.run(0, /*playEntry=*/false);
    ASSERT_TRUE(r.failed()) << r.debug;
    EXPECT_EQ(r.count("## MResetCmdIssue() : Retry!!\r\n"), 16);
    EXPECT_EQ(r.count("- Fail : MSyncDetect_Process() \r\n"), 1);
    EXPECT_FALSE(rig.mcu().inProgrammingMode());
}

TEST(McuUpdate, AnEraseNeverAcknowledgedSucceedsWhenTheDeviceEndsBlank) {
    McuRig rig;
    auto options = smallMcu();
    options.faults.eraseNoAck = true;
    rig.startSimulator(options);
    Bytes image = pattern(options.flashSize(), 77);
    rig.writeImage(image);
    RunResult r = rig.run();
    ASSERT_TRUE(r.succeeded()) << r.debug;
    std::string marks = "$ Erase : ";
    for (int i = 0; i < 20; ++i) marks += "20 ";  // one mark per unanswered wait
    EXPECT_EQ(r.count(marks + "$ Blank Check Block : OK.. \r\n"), 1);
    EXPECT_EQ(r.count("$ Blank Check Block : "), 2);
    EXPECT_EQ(rig.mcu().flashContents(), image);
}

}  // namespace
}  // namespace mcutest
