#include "sim/board/board_driver.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "sim/board/fault_plan.h"
#include "sim/board/gpio_log.h"

namespace sim {

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

fs::path oemLog(const fs::path& root) { return root / "flash" / "oem.log"; }

class BoardDriver : public ce::StreamDriverHandle {
public:
    explicit BoardDriver(fs::path root) : root_(std::move(root)) {}

    ce::Error ioControl(uint32_t code, const void* in, uint32_t inSize, void*, uint32_t, uint32_t* bytesReturned) override {
        if (bytesReturned) *bytesReturned = 0;
        if (code != IOCTL_GPIO_SET) return ce::ERROR_NOT_SUPPORTED;
        if (plannedFailure(simSettings(root_, "board"), "failGpioSet", countRequest(root_, "board.gpioSet")))
            return ce::ERROR_GEN_FAILURE;
        if (in == nullptr || inSize < 8) return ce::ERROR_INVALID_PARAMETER;
        const auto* record = static_cast<const uint8_t*>(in);
        int level = record[0];
        int port = record[1];
        uint32_t mask = record[4] | record[5] << 8 | record[6] << 16 | uint32_t(record[7]) << 24;
        if (level > 1) return ce::ERROR_INVALID_PARAMETER;
        return GpioLog::append(root_, port, mask, level) ? ce::ERROR_SUCCESS : ce::ERROR_WRITE_FAULT;
    }

private:
    fs::path root_;
};

ce::Result<std::unique_ptr<ce::StreamDriverHandle>> openBoard(const fs::path& root) {
    std::error_code ec;
    if (root.empty() || !fs::is_directory(root / "flash", ec)) return ce::fail(ce::ERROR_PATH_NOT_FOUND);
    if (plannedFailure(simSettings(root, "board"), "failOpen", countRequest(root, "board.open")))
        return ce::fail(ce::ERROR_DEV_NOT_EXIST);
    return std::unique_ptr<ce::StreamDriverHandle>(new BoardDriver(root));
}

ce::Error kernelControl(const fs::path& root, uint32_t code, const void* in, uint32_t inSize, uint32_t* bytesReturned) {
    if (bytesReturned) *bytesReturned = 0;
    std::error_code ec;
    if (root.empty() || !fs::is_directory(root / "flash", ec)) return ce::ERROR_PATH_NOT_FOUND;
    if (in == nullptr && inSize > 0) return ce::ERROR_INVALID_PARAMETER;
    bool failed = plannedFailure(simSettings(root, "board"), "failOem", countRequest(root, "board.oem"));
    std::string hex;
    for (uint32_t i = 0; i < inSize && i < 4096; ++i) hex += fmt::format("{:02x}", static_cast<const uint8_t*>(in)[i]);
    json record = {{"t_ms", monotonicMs()}, {"code", code}, {"input", hex}, {"pid", int(::getpid())}};
    if (failed) record["failed"] = true;
    std::string line = record.dump() + "\n";
    FlashLock lock(root, "board.lock");
    int fd = ::open(oemLog(root).c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) return ce::ERROR_WRITE_FAULT;
    bool written = ::write(fd, line.data(), line.size()) == ssize_t(line.size());
    ::close(fd);
    if (failed) return ce::ERROR_GEN_FAILURE;
    return written ? ce::ERROR_SUCCESS : ce::ERROR_WRITE_FAULT;
}

}  // namespace

void registerBoardDrivers(ce::DriverRegistry& registry) {
    ce::DriverRegistry* table = &registry;
    registry.registerDriver("ORV1:", [table](const std::string&) { return openBoard(table->headUnitRoot()); });
    registry.registerKernelIoControl([table](uint32_t code, const void* in, uint32_t inSize, void*, uint32_t, uint32_t* bytesReturned) {
        return kernelControl(table->headUnitRoot(), code, in, inSize, bytesReturned);
    });
}

std::vector<OemCall> readOemCalls(const fs::path& root) {
    std::vector<OemCall> calls;
    std::ifstream in(oemLog(root), std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        json j = json::parse(line, nullptr, false);
        if (!j.is_object()) continue;
        OemCall c;
        c.t_ms = j.value("t_ms", uint64_t(0));
        c.code = j.value("code", uint32_t(0));
        c.pid = j.value("pid", 0);
        c.failed = j.value("failed", false);
        std::string hex = j.value("input", std::string());
        for (size_t i = 0; i + 1 < hex.size(); i += 2) {
            char* end = nullptr;
            std::string pair = hex.substr(i, 2);
            unsigned long byte = std::strtoul(pair.c_str(), &end, 16);
            if (end != pair.c_str() + 2) break;  // not hex: keep what was read
            c.input.push_back(uint8_t(byte));
        }
        calls.push_back(std::move(c));
    }
    return calls;
}

}  // namespace sim
