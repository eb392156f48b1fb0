#pragma once
// Stream drivers ("DSK1:", "ORV1:") and the OEM kernel control call.
//
// A program opens a driver by its device name and sends it control requests with an input
// record and an output size, exactly as on the device. The drivers themselves are outside
// the system: the profile names, for each device name, the plugin (a shared library) that
// serves it, and the platform loads the plugin on first use and looks the driver up by name
// in the registration table the plugin fills. A name that no plugin serves makes the open fail
// with ERROR_FILE_NOT_FOUND, never a crash.
//
// Drivers run in the caller's process: address fields inside a request record carry the
// caller's buffer addresses and the driver reads the caller's memory, bounded by the sizes
// the record gives. A record field of 32 bits can carry the address of a DeviceBuffer
// (device_buffer.h), which lies in the low 4 GiB; the simulated drivers also take records
// whose address fields are 64 bits wide (see sim/nand).

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "platform/core/error.h"

namespace ce {

// One open instance of a driver.
class StreamDriverHandle {
public:
    virtual ~StreamDriverHandle() = default;
    virtual Error ioControl(uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize,
                            uint32_t* bytesReturned) = 0;
};

// Opens an instance; may fail (an injected open failure, a missing flash folder).
using StreamDriverFactory =
    std::function<Result<std::unique_ptr<StreamDriverHandle>>(const std::string& deviceName)>;

// The OEM kernel control handler (KernelIoControl), served by the board plugin.
using KernelIoControlHandler =
    std::function<Error(uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize,
                        uint32_t* bytesReturned)>;

// Registration table filled by a driver plugin's entry point.
class DriverRegistry {
public:
    void registerDriver(const std::string& deviceName, StreamDriverFactory factory);
    void registerKernelIoControl(KernelIoControlHandler handler);

    const StreamDriverFactory* find(const std::string& deviceName) const;
    const KernelIoControlHandler* kernelIoControl() const;

    // The process-wide table (drivers registered directly by tests, or by loaded plugins).
    static DriverRegistry& instance();

    // The head unit the drivers serve: the profile's root, set by the platform before each
    // open and kernel control call. Drivers keep their state there (flash/). Defined inline so
    // that a plugin reads the value of the program that loaded it.
    const std::filesystem::path& headUnitRoot() const { return root_; }
    void setHeadUnitRoot(const std::filesystem::path& root) {
        if (root != root_) root_ = root;
    }

private:
    std::map<std::string, StreamDriverFactory> drivers_;  // by upper-case device name
    KernelIoControlHandler kernel_;
    std::filesystem::path root_;
};

// A plugin exports this function with C linkage under the name "ce_register_drivers".
using RegisterDriversFn = void (*)(DriverRegistry& registry);

class Device {
public:
    // CreateFile on a device name. access/share/disposition/flags are the caller's and are
    // passed on for logging; a driver instance is exclusive only if the driver says so.
    static Result<std::unique_ptr<Device>> open(std::string_view deviceName, uint32_t access, uint32_t share,
                                                 uint32_t disposition, uint32_t flags);

    // DeviceIoControl: ERROR_SUCCESS or the driver's error.
    Error ioControl(uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize,
                    uint32_t* bytesReturned = nullptr);

private:
    explicit Device(std::unique_ptr<StreamDriverHandle> handle) : handle_(std::move(handle)) {}
    std::unique_ptr<StreamDriverHandle> handle_;
};

// KernelIoControl with an OEM code: passed to the handler of the plugin the profile names for
// "OEM" (the board, which records it). ERROR_NOT_SUPPORTED when nothing handles it.
Error kernelIoControl(uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize,
                      uint32_t* bytesReturned = nullptr);

}  // namespace ce
