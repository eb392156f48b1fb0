// The OS page's NAND phases against the simulated NAND driver: what reaches the flash, the
// status texts, and the failure paths.

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <string>
#include <vector>

#include "platform/core/debug.h"
#include "sim/board/fault_plan.h"
#include "sim/headunit/headunit.h"
#include "sim/nand/flash_image.h"
#include "updater/nand/kernel_checksum.h"
#include "updater/os_page/nand_phases.h"
#include "updater/tests/recording_output.h"
#include "updater/tests/test_files.h"

namespace updater {
namespace {

using sim::FlashRegion;
using testing::RecordingOutput;
using testing::WriteHostFile;
using Bytes = std::vector<uint8_t>;

Bytes Pattern(size_t size, uint8_t seed) {
    Bytes bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(seed + i * 7 + (i >> 8));
    return bytes;
}

Bytes KernelImage(size_t size, bool correctChecksum = true) {
    Bytes image = Pattern(size, 3);
    uint32_t crc = KernelChecksum(image) ^ (correctChecksum ? 0u : 1u);
    for (int i = 0; i < 4; ++i) image[16 + i] = static_cast<uint8_t>(crc >> (8 * i));
    return image;
}

std::string AsString(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

class NandPhases : public ::testing::Test {
protected:
    sim::TempHeadUnit unit_;
    sim::FlashImage flash_{unit_.root()};
    RecordingOutput output_;
    std::string filePath_;

    void PutOnCard(const std::string& name, const Bytes& bytes) {
        WriteHostFile(unit_.sdcard() / "UpdateXan" / name, AsString(bytes));
    }
    void Inject(const std::string& key, const nlohmann::json& plan) {
        ASSERT_TRUE(sim::setSimSetting(unit_.root(), "nand", key, plan));
    }
};

TEST_F(NandPhases, KernelIsWrittenIn4096ByteRequestsFromSector8) {
    const Bytes image = KernelImage(4097);
    PutOnCard("nk.rom", image);
    ASSERT_TRUE(WriteKernel(output_, Language::English, filePath_));
    EXPECT_EQ(filePath_, "\\SDMMC Card\\UpdateXan\\nk.rom");
    EXPECT_EQ(output_.statuses, (std::vector<std::string>{"Write... [KERNEL]", "Verify... [KERNEL]", "Write... [OS]",
                                                          "Success... [KERNEL]"}));
    EXPECT_EQ(output_.progress, (std::vector<int>{0, 1, 2, 100}));

    // Two requests: the second carries the one new byte and 4095 bytes left from the first.
    EXPECT_EQ(flash_.read(FlashRegion::Sectors).size(), (8 + 16) * 512u);
    EXPECT_EQ(flash_.read(FlashRegion::Sectors, 0, 8 * 512), Bytes(8 * 512, 0xFF));
    EXPECT_EQ(flash_.read(FlashRegion::Sectors, 8 * 512, 4096), Bytes(image.begin(), image.begin() + 4096));
    Bytes second(image.begin(), image.begin() + 4096);
    second[0] = image[4096];
    EXPECT_EQ(flash_.read(FlashRegion::Sectors, 16 * 512, 4096), second);
}

TEST_F(NandPhases, KernelOfExactlyOneBlockIsOneRequest) {
    PutOnCard("nk.rom", KernelImage(4096));
    ASSERT_TRUE(WriteKernel(output_, Language::Korean, filePath_));
    EXPECT_EQ(flash_.read(FlashRegion::Sectors).size(), 16 * 512u);
    EXPECT_EQ(sim::requestCounts(unit_.root()).value("nand.writePages", 0), 1);
    EXPECT_EQ(output_.statuses.back(), "성공... [KERNEL]");
}

TEST_F(NandPhases, KernelWithWrongChecksumOrNoImageWritesNothing) {
    PutOnCard("nk.rom", KernelImage(200000, false));
    {
        ce::DebugCapture capture;
        EXPECT_FALSE(WriteKernel(output_, Language::English, filePath_));
        EXPECT_TRUE(capture.contains("[ERROR] CRC Check is Failed... length = 0x30d40, CRC = 0x"));
    }
    EXPECT_EQ(output_.statuses,
              (std::vector<std::string>{"Write... [KERNEL]", "Verify... [KERNEL]", "Fail... [KERNEL]"}));
    EXPECT_TRUE(flash_.read(FlashRegion::Sectors).empty());

    // No image at all: an all-zero buffer would pass the checksum, so nothing may be written.
    std::filesystem::remove(unit_.sdcard() / "UpdateXan" / "nk.rom");
    RecordingOutput missing;
    EXPECT_FALSE(WriteKernel(missing, Language::Russian, filePath_));
    EXPECT_EQ(missing.statuses.back(), "Ошибка... [KERNEL]");
    EXPECT_TRUE(flash_.read(FlashRegion::Sectors).empty());
}

TEST_F(NandPhases, KernelStatusesInRussianAndAFailedRequestStopsTheWrite) {
    const Bytes image = KernelImage(3 * 4096);
    PutOnCard("nk.rom", image);
    Inject("failWritePages", 2);
    ce::DebugCapture capture;
    EXPECT_FALSE(WriteKernel(output_, Language::Russian, filePath_));
    EXPECT_EQ(output_.statuses, (std::vector<std::string>{"Write... [KERNEL]", "Verify... [KERNEL]", "Прописка... [OS]",
                                                          "Ошибка... [KERNEL]"}));
    EXPECT_TRUE(capture.contains("Nand_HDWritePage Error : pageaddr:10, buf:"));
    // The first block stays written, the third was never sent.
    EXPECT_EQ(flash_.read(FlashRegion::Sectors).size(), 16 * 512u);
    EXPECT_EQ(sim::requestCounts(unit_.root()).value("nand.writePages", 0), 2);
}

TEST_F(NandPhases, LogoGoesToHiddenPagesFromPage1) {
    const Bytes logo = Pattern(1300, 9);
    WriteHostFile(unit_.sdcard() / "UpdateXan" / "OPTION" / "BOOT.LGO", AsString(logo));
    ASSERT_TRUE(WriteLogo(output_, Language::Russian, "\\SDMMC Card\\UpdateXan\\OPTION\\BOOT.LGO"));
    EXPECT_EQ(output_.statuses, (std::vector<std::string>{"Прописка... [LOGO]", "Завершено... [LOGO]"}));

    EXPECT_EQ(flash_.read(FlashRegion::Hidden, 0, 512), Bytes(512, 0xFF));
    EXPECT_EQ(flash_.read(FlashRegion::Hidden, 512, 1024), Bytes(logo.begin(), logo.begin() + 1024));
    Bytes third(logo.begin() + 512, logo.begin() + 1024);  // a short last read keeps the rest
    std::copy(logo.begin() + 1024, logo.end(), third.begin());
    EXPECT_EQ(flash_.read(FlashRegion::Hidden, 3 * 512, 512), third);
    EXPECT_EQ(flash_.read(FlashRegion::Hidden).size(), 4 * 512u);
}

TEST_F(NandPhases, EmptyMissingAndFailingLogos) {
    EXPECT_TRUE(WriteLogo(output_, Language::English, ""));
    EXPECT_TRUE(WriteLogo(output_, Language::English, "\\SDMMC Card\\UpdateXan\\OPTION\\NONE.LGO"));
    EXPECT_TRUE(output_.statuses.empty());

    WriteHostFile(unit_.sdcard() / "UpdateXan" / "OPTION" / "EMPTY.LGO", "");
    EXPECT_TRUE(WriteLogo(output_, Language::English, "\\SDMMC Card\\UpdateXan\\OPTION\\EMPTY.LGO"));
    EXPECT_EQ(output_.statuses, (std::vector<std::string>{"Write... [LOGO]", "Success... [LOGO]"}));
    EXPECT_EQ(sim::requestCounts(unit_.root()).value("nand.hiddenWrite", 0), 0);

    WriteHostFile(unit_.sdcard() / "UpdateXan" / "OPTION" / "BOOT.LGO", AsString(Pattern(2048, 1)));
    Inject("failHiddenWrite", 2);
    RecordingOutput failing;
    ce::DebugCapture capture;
    EXPECT_FALSE(WriteLogo(failing, Language::Korean, "\\SDMMC Card\\UpdateXan\\OPTION\\BOOT.LGO"));
    EXPECT_EQ(failing.statuses.back(), "실패... [LOGO]");
    EXPECT_TRUE(capture.contains("[ERROR] Multi Hidden Area Write Error : PageAddr:1, Buffer:"));
    EXPECT_EQ(flash_.read(FlashRegion::Hidden).size(), 2 * 512u);  // page 1 only
}

TEST_F(NandPhases, BootloaderIsHandedToTheDriverByPath) {
    const Bytes boot = Pattern(3000, 5);
    PutOnCard("tcBoot.rom", boot);
    ASSERT_TRUE(WriteBootloader(output_, Language::Korean, filePath_));
    EXPECT_EQ(filePath_, "\\SDMMC Card\\UpdateXan\\tcBoot.rom");
    EXPECT_EQ(output_.statuses, (std::vector<std::string>{"쓰기... [Bootloader]", "성공... [BOOTLOADER]"}));
    EXPECT_EQ(flash_.read(FlashRegion::Bootloader), boot);

    Inject("failBootloader", true);
    RecordingOutput failing;
    EXPECT_FALSE(WriteBootloader(failing, Language::English, filePath_));
    EXPECT_EQ(failing.statuses.back(), "Fail... [BOOTLOADER]");
}

TEST_F(NandPhases, DriverThatCannotBeOpenedFailsEachPhase) {
    PutOnCard("tcBoot.rom", Pattern(100, 1));
    PutOnCard("nk.rom", KernelImage(5000));
    Inject("failOpen", true);
    EXPECT_FALSE(WriteBootloader(output_, Language::English, filePath_));
    EXPECT_FALSE(WriteKernel(output_, Language::English, filePath_));
    EXPECT_EQ(output_.statuses, (std::vector<std::string>{"Write... [Bootloader]", "[ERROR] Cannot Open NAND Driver...",
                                                          "Fail... [BOOTLOADER]", "Write... [KERNEL]",
                                                          "[ERROR] Cannot Open NAND Driver...", "Verify... [KERNEL]",
                                                          "Write... [OS]", "Fail... [KERNEL]"}));
    EXPECT_TRUE(flash_.read(FlashRegion::Sectors).empty());
}

}  // namespace
}  // namespace updater
