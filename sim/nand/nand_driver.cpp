#include "sim/nand/nand_driver.h"

#include <nlohmann/json.hpp>

#include <cctype>
#include <cstring>
#include <fstream>
#include <iterator>

#include "platform/core/paths.h"
#include "platform/core/profile.h"
#include "platform/core/text.h"
#include "sim/board/fault_plan.h"
#include "sim/nand/caller_memory.h"
#include "sim/nand/flash_image.h"

namespace sim {

namespace fs = std::filesystem;

namespace {

constexpr size_t kMaxPathChars = 32768;

uint32_t u32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }
uint64_t u64(const uint8_t* p) { return u32(p) | uint64_t(u32(p + 4)) << 32; }

struct Geometry {
    uint64_t sectors = 1048576;
    uint64_t hiddenPages = 8192;
    uint64_t bootloaderBytes = 4 * 1024 * 1024;
};

uint64_t sizeSetting(const nlohmann::json& settings, const char* key, uint64_t fallback) {
    auto it = settings.find(key);
    return it != settings.end() && it->is_number_unsigned() ? it->get<uint64_t>() : fallback;
}

Geometry geometryOf(const nlohmann::json& settings) {
    Geometry g;
    g.sectors = sizeSetting(settings, "sectors", g.sectors);
    g.hiddenPages = sizeSetting(settings, "hiddenPages", g.hiddenPages);
    g.bootloaderBytes = sizeSetting(settings, "bootloaderBytes", g.bootloaderBytes);
    return g;
}

// The host file of a device path, resolved in the driver's head unit.
ce::Result<fs::path> hostPathIn(const fs::path& root, std::string_view devicePath) {
    auto current = ce::Profile::current();
    if (!current || (*current)->root() != root) ce::Profile::setCurrent(root);
    return ce::hostPath(devicePath);
}

class NandDriver : public ce::StreamDriverHandle {
public:
    explicit NandDriver(fs::path root) : root_(std::move(root)), image_(root_), writer_(image_), settings_(root_, "nand") {}

    ce::Error ioControl(uint32_t code, const void* in, uint32_t inSize, void*, uint32_t, uint32_t* bytesReturned) override {
        if (bytesReturned) *bytesReturned = 0;
        const char* kind = code == IOCTL_NAND_WRITE_PAGES ? "writePages"
                           : code == IOCTL_NAND_BOOTLOADER ? "bootloader"
                           : code == IOCTL_NAND_HIDDEN_WRITE ? "hiddenWrite"
                                                             : nullptr;
        if (kind == nullptr) return ce::ERROR_NOT_SUPPORTED;
        const nlohmann::json& settings = settings_.get();
        std::string failKey = std::string("fail") + char(std::toupper(kind[0])) + (kind + 1);
        if (plannedFailure(settings, failKey, countRequest(root_, std::string("nand.") + kind))) return ce::ERROR_GEN_FAILURE;
        if (in == nullptr) return ce::ERROR_INVALID_PARAMETER;
        const auto* record = static_cast<const uint8_t*>(in);
        Geometry geometry = geometryOf(settings);
        switch (code) {
            case IOCTL_NAND_WRITE_PAGES: return writePages(record, inSize, geometry);
            case IOCTL_NAND_BOOTLOADER: return bootloader(record, inSize, geometry);
            default: return hiddenWrite(record, inSize, geometry);
        }
    }

private:
    // count pages of 512 bytes from the caller's buffer to the region at first * 512.
    ce::Error writeRange(FlashRegion region, uint64_t first, uint64_t count, uint64_t address, uint64_t capacity) {
        if (count == 0 || first >= capacity || count > capacity - first) return ce::ERROR_INVALID_PARAMETER;
        switch (writer_.write(region, first * kNandPageSize, address, size_t(count * kNandPageSize))) {
            case FlashWriter::Result::Written: return ce::ERROR_SUCCESS;
            case FlashWriter::Result::BadAddress: return ce::ERROR_INVALID_PARAMETER;
            default: return ce::ERROR_WRITE_FAULT;
        }
    }

    ce::Error writePages(const uint8_t* r, uint32_t size, const Geometry& g) {
        if (size != 12 && size != 16) return ce::ERROR_INVALID_PARAMETER;
        uint64_t address = size == 12 ? u32(r + 8) : u64(r + 8);
        return writeRange(FlashRegion::Sectors, u32(r), u32(r + 4), address, g.sectors);
    }

    ce::Error hiddenWrite(const uint8_t* r, uint32_t size, const Geometry& g) {
        uint64_t address;
        switch (size) {
            case 16: address = u32(r + 12); break;
            case 20: address = u64(r + 12); break;
            case 24: address = u64(r + 16); break;
            default: return ce::ERROR_INVALID_PARAMETER;
        }
        return writeRange(FlashRegion::Hidden, u32(r + 4), u32(r + 8), address, g.hiddenPages);
    }

    ce::Error bootloader(const uint8_t* r, uint32_t size, const Geometry& g) {
        if (size != 8) return ce::ERROR_INVALID_PARAMETER;
        auto path = readCallerString(u64(r), kMaxPathChars);
        if (!path || path->empty()) return ce::ERROR_INVALID_PARAMETER;
        auto host = hostPathIn(root_, ce::toUtf8(*path));
        if (!host) return host.error();
        std::error_code ec;
        if (!fs::is_regular_file(*host, ec)) return ce::ERROR_FILE_NOT_FOUND;
        if (fs::file_size(*host, ec) > g.bootloaderBytes) return ce::ERROR_INVALID_PARAMETER;
        std::ifstream file(*host, std::ios::binary);
        std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        if (!file.eof() && file.fail()) return ce::ERROR_READ_FAULT;
        return image_.replace(FlashRegion::Bootloader, bytes) ? ce::ERROR_SUCCESS : ce::ERROR_WRITE_FAULT;
    }

    fs::path root_;
    FlashImage image_;
    FlashWriter writer_;
    CachedSimSettings settings_;
};

ce::Result<std::unique_ptr<ce::StreamDriverHandle>> openNand(const fs::path& root) {
    std::error_code ec;
    if (root.empty() || !fs::is_directory(root / "flash", ec)) return ce::fail(ce::ERROR_PATH_NOT_FOUND);
    if (plannedFailure(simSettings(root, "nand"), "failOpen", countRequest(root, "nand.open")))
        return ce::fail(ce::ERROR_DEV_NOT_EXIST);
    return std::unique_ptr<ce::StreamDriverHandle>(new NandDriver(root));
}

}  // namespace

void registerNandDriver(ce::DriverRegistry& registry) {
    ce::DriverRegistry* table = &registry;
    registry.registerDriver("DSK1:", [table](const std::string&) { return openNand(table->headUnitRoot()); });
}

}  // namespace sim
