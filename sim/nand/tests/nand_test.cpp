// The NAND driver "DSK1:" loaded by name from the plugin: what each request leaves in flash.

#include "sim/nand/nand_driver.h"

#include <fstream>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "platform/devices/device_buffer.h"
#include "sim/headunit/headunit.h"
#include "sim/board/fault_plan.h"
#include "sim/nand/flash_image.h"

namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> pattern(size_t size, uint8_t seed) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = uint8_t(seed + i * 7);
    return bytes;
}

void put32(std::vector<uint8_t>& record, uint32_t v) {
    for (int i = 0; i < 4; ++i) record.push_back(uint8_t(v >> (8 * i)));
}

void put64(std::vector<uint8_t>& record, uint64_t v) {
    put32(record, uint32_t(v));
    put32(record, uint32_t(v >> 32));
}

ce::DeviceBuffer lowBuffer(const std::vector<uint8_t>& bytes) {
    auto buffer = ce::DeviceBuffer::allocate(bytes.size());
    EXPECT_TRUE(buffer.ok());
    std::copy(bytes.begin(), bytes.end(), buffer->data());
    return std::move(*buffer);
}

class Nand : public ::testing::Test {
protected:
    explicit Nand(nlohmann::json settings = nlohmann::json::object()) : unit(options(std::move(settings))), image(unit.root()) {}
    static sim::HeadUnitOptions options(nlohmann::json settings) {
        sim::HeadUnitOptions o;
        o.sim["nand"] = std::move(settings);
        return o;
    }

    std::unique_ptr<ce::Device> open() {
        auto nand = ce::Device::open("DSK1:", 0xC0000000, 0, 4, 0x80000080);
        EXPECT_TRUE(nand.ok()) << nand.error();
        return nand.ok() ? std::move(*nand) : nullptr;
    }

    // Write-pages with a 32-bit address, the record as the device lays it out.
    ce::Error writePages(ce::Device& nand, uint32_t first, uint32_t count, const ce::DeviceBuffer& buffer) {
        std::vector<uint8_t> record;
        put32(record, first);
        put32(record, count);
        put32(record, buffer.address32());
        uint8_t out[4];
        return nand.ioControl(sim::IOCTL_NAND_WRITE_PAGES, record.data(), 12, out, 4);
    }

    ce::Error hiddenWrite(ce::Device& nand, uint32_t page, const ce::DeviceBuffer& buffer) {
        std::vector<uint8_t> record;
        put32(record, 0);
        put32(record, page);
        put32(record, 1);
        put32(record, buffer.address32());
        uint8_t out[4];
        return nand.ioControl(sim::IOCTL_NAND_HIDDEN_WRITE, record.data(), 16, out, 4);
    }

    sim::TempHeadUnit unit;
    sim::FlashImage image;
};

TEST_F(Nand, WritePagesPlacesSectorsAndLeavesTheRestErased) {
    auto nand = open();
    ASSERT_TRUE(nand);
    auto first = pattern(4096, 1), second = pattern(4096, 99);
    ASSERT_EQ(writePages(*nand, 8, 8, lowBuffer(first)), ce::ERROR_SUCCESS);
    ASSERT_EQ(writePages(*nand, 24, 8, lowBuffer(second)), ce::ERROR_SUCCESS);

    auto sectors = image.read(sim::FlashRegion::Sectors);
    ASSERT_EQ(sectors.size(), 32u * 512);
    EXPECT_EQ(std::vector<uint8_t>(sectors.begin(), sectors.begin() + 4096), std::vector<uint8_t>(4096, 0xFF));
    EXPECT_EQ(std::vector<uint8_t>(sectors.begin() + 4096, sectors.begin() + 8192), first);
    EXPECT_EQ(std::vector<uint8_t>(sectors.begin() + 8192, sectors.begin() + 12288), std::vector<uint8_t>(4096, 0xFF));
    EXPECT_EQ(std::vector<uint8_t>(sectors.begin() + 12288, sectors.end()), second);

    // A record with a 64-bit address field reaches an ordinary buffer too.
    auto third = pattern(512, 5);
    std::vector<uint8_t> record;
    put32(record, 8);
    put32(record, 1);
    put64(record, reinterpret_cast<uintptr_t>(third.data()));
    ASSERT_EQ(nand->ioControl(sim::IOCTL_NAND_WRITE_PAGES, record.data(), 16, nullptr, 0), ce::ERROR_SUCCESS);
    EXPECT_EQ(image.read(sim::FlashRegion::Sectors, 8 * 512, 512), third);
}

TEST_F(Nand, HiddenAreaPagesGoToTheirOffsets) {
    auto nand = open();
    ASSERT_TRUE(nand);
    auto page1 = pattern(512, 3), page2 = pattern(512, 4);
    ASSERT_EQ(hiddenWrite(*nand, 1, lowBuffer(page1)), ce::ERROR_SUCCESS);
    ASSERT_EQ(hiddenWrite(*nand, 2, lowBuffer(page2)), ce::ERROR_SUCCESS);
    auto hidden = image.read(sim::FlashRegion::Hidden);
    ASSERT_EQ(hidden.size(), 3u * 512);
    EXPECT_EQ(std::vector<uint8_t>(hidden.begin(), hidden.begin() + 512), std::vector<uint8_t>(512, 0xFF));
    EXPECT_EQ(std::vector<uint8_t>(hidden.begin() + 512, hidden.begin() + 1024), page1);
    EXPECT_EQ(std::vector<uint8_t>(hidden.begin() + 1024, hidden.end()), page2);

    // The C-struct layout with a 64-bit address at offset 16.
    std::vector<uint8_t> record;
    put32(record, 0);
    put32(record, 0);
    put32(record, 1);
    put32(record, 0);
    put64(record, reinterpret_cast<uintptr_t>(page2.data()));
    ASSERT_EQ(nand->ioControl(sim::IOCTL_NAND_HIDDEN_WRITE, record.data(), 24, nullptr, 0), ce::ERROR_SUCCESS);
    EXPECT_EQ(image.read(sim::FlashRegion::Hidden, 0, 512), page2);
}

TEST_F(Nand, BootloaderIsReadFromTheFileTheRecordNames) {
    fs::create_directories(unit.sdcard() / "UpdateXan");
    auto boot = pattern(70000, 11);
    std::ofstream(unit.sdcard() / "UpdateXan" / "tcBoot.rom", std::ios::binary).write(reinterpret_cast<const char*>(boot.data()), boot.size());

    auto send = [&](const std::u16string& path) {
        auto buffer = ce::DeviceBuffer::allocate((path.size() + 1) * 4);  // four bytes per character, zero-filled
        std::copy(path.begin(), path.end(), reinterpret_cast<char16_t*>(buffer->data()));
        std::vector<uint8_t> record;
        put32(record, buffer->address32());
        put32(record, 0);
        auto nand = open();
        return nand ? nand->ioControl(sim::IOCTL_NAND_BOOTLOADER, record.data(), 8, nullptr, 0) : ce::ERROR_GEN_FAILURE;
    };
    ASSERT_EQ(send(u"\\SDMMC Card\\updatexan\\TCBOOT.ROM"), ce::ERROR_SUCCESS);
    EXPECT_EQ(image.read(sim::FlashRegion::Bootloader), boot);

    EXPECT_EQ(send(u"\\SDMMC Card\\UpdateXan\\missing.rom"), ce::ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(image.read(sim::FlashRegion::Bootloader), boot);  // unchanged
}

TEST_F(Nand, RefusesBadRecordsWithoutWriting) {
    auto nand = open();
    ASSERT_TRUE(nand);
    auto data = lowBuffer(pattern(512, 1));
    auto request = [&](std::vector<uint8_t> record) {
        return nand->ioControl(sim::IOCTL_NAND_WRITE_PAGES, record.data(), uint32_t(record.size()), nullptr, 0);
    };
    EXPECT_EQ(request({8, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0}), ce::ERROR_INVALID_PARAMETER);          // null address
    EXPECT_EQ(request({8, 0, 0, 0, 1, 0, 0, 0, 0x10, 0, 0, 0}), ce::ERROR_INVALID_PARAMETER);       // unmapped address
    EXPECT_EQ(writePages(*nand, 8, 0, data), ce::ERROR_INVALID_PARAMETER);                          // no sectors
    EXPECT_EQ(writePages(*nand, 0, 0x10000000, data), ce::ERROR_INVALID_PARAMETER);                 // absurd count
    EXPECT_EQ(writePages(*nand, 0xFFFFFFFF, 1, data), ce::ERROR_INVALID_PARAMETER);                 // past the end
    EXPECT_EQ(request({8, 0, 0, 0}), ce::ERROR_INVALID_PARAMETER);                                   // short record
    EXPECT_EQ(nand->ioControl(0x222808, nullptr, 0, nullptr, 0), ce::ERROR_NOT_SUPPORTED);
    EXPECT_TRUE(image.read(sim::FlashRegion::Sectors).empty());
}

class NandFailing : public Nand {
protected:
    NandFailing() : Nand({{"failWritePages", 2}, {"failHiddenWrite", true}}) {}
};

TEST_F(NandFailing, AFailedRequestWritesNothing) {
    auto nand = open();
    ASSERT_TRUE(nand);
    auto a = pattern(4096, 1), b = pattern(4096, 2);
    EXPECT_EQ(writePages(*nand, 8, 8, lowBuffer(a)), ce::ERROR_SUCCESS);
    EXPECT_EQ(writePages(*nand, 16, 8, lowBuffer(b)), ce::ERROR_GEN_FAILURE);
    EXPECT_EQ(writePages(*nand, 24, 8, lowBuffer(b)), ce::ERROR_SUCCESS);
    EXPECT_EQ(image.read(sim::FlashRegion::Sectors, 8 * 512, 4096), a);
    EXPECT_EQ(image.read(sim::FlashRegion::Sectors, 16 * 512, 4096), std::vector<uint8_t>(4096, 0xFF));
    EXPECT_EQ(image.read(sim::FlashRegion::Sectors, 24 * 512, 4096), b);

    EXPECT_EQ(hiddenWrite(*nand, 1, lowBuffer(pattern(512, 3))), ce::ERROR_GEN_FAILURE);
    EXPECT_TRUE(image.read(sim::FlashRegion::Hidden).empty());

    // A plan changed through the settings applies to the open instance at its next request.
    ASSERT_TRUE(sim::setSimSetting(unit.root(), "nand", "failHiddenWrite", nullptr));
    EXPECT_EQ(hiddenWrite(*nand, 1, lowBuffer(pattern(512, 3))), ce::ERROR_SUCCESS);

    // A hand edit of headunit.json applies from the next open; the open handle still works.
    auto json = nlohmann::json::parse(std::ifstream(unit.root() / "headunit.json"));
    json["sim"]["nand"] = {{"failOpen", true}, {"failHiddenWrite", true}};
    std::ofstream(unit.root() / "headunit.json") << json.dump();
    EXPECT_EQ(ce::Device::open("DSK1:", 0xC0000000, 0, 4, 0x80000080).error(), ce::ERROR_DEV_NOT_EXIST);
    EXPECT_EQ(hiddenWrite(*nand, 2, lowBuffer(pattern(512, 4))), ce::ERROR_SUCCESS);
}

}  // namespace
