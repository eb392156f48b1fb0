// Stream drivers by name: the registration table, plugin loading and the open/control calls.

#include "platform/devices/device.h"

#include <dlfcn.h>

#include <mutex>
#include <set>

#include "platform/core/debug.h"
#include "platform/core/profile.h"
#include "platform/core/text.h"

namespace ce {

namespace {

// Guards the table and the set of loaded plugins. Driver calls themselves run outside it.
std::recursive_mutex& tableMutex() {
    static std::recursive_mutex mutex;
    return mutex;
}

// Loads the plugin the profile names for a device name ("DSK1:", or "OEM" for the kernel
// control handler) once; the plugin registers whatever it serves. Call with the table locked.
void loadPluginFor(const std::string& name) {
    auto profile = Profile::current();
    if (!profile) return;
    DriverRegistry::instance().setHeadUnitRoot((*profile)->root());
    std::string plugin = (*profile)->driverBackend(name);
    if (plugin.empty()) return;
    static std::set<std::string> loaded;
    if (!loaded.insert(plugin).second) return;
    // Loaded for the life of the process: the registered drivers point into it.
    void* handle = ::dlopen(plugin.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        debugPrint("driver plugin for %s cannot be loaded: %s\n", name, ::dlerror());
        return;
    }
    auto entry = reinterpret_cast<RegisterDriversFn>(::dlsym(handle, "ce_register_drivers"));
    if (entry == nullptr) {
        debugPrint("driver plugin %s has no ce_register_drivers\n", plugin);
        return;
    }
    entry(DriverRegistry::instance());
}

void noteHeadUnit() {
    if (auto profile = Profile::current()) DriverRegistry::instance().setHeadUnitRoot((*profile)->root());
}

}  // namespace

void DriverRegistry::registerDriver(const std::string& deviceName, StreamDriverFactory factory) {
    std::lock_guard lock(tableMutex());
    drivers_[asciiUpper(deviceName)] = std::move(factory);
}

void DriverRegistry::registerKernelIoControl(KernelIoControlHandler handler) {
    std::lock_guard lock(tableMutex());
    kernel_ = std::move(handler);
}

const StreamDriverFactory* DriverRegistry::find(const std::string& deviceName) const {
    std::lock_guard lock(tableMutex());
    auto it = drivers_.find(asciiUpper(deviceName));
    return it == drivers_.end() ? nullptr : &it->second;
}

const KernelIoControlHandler* DriverRegistry::kernelIoControl() const {
    std::lock_guard lock(tableMutex());
    return kernel_ ? &kernel_ : nullptr;
}

DriverRegistry& DriverRegistry::instance() {
    static DriverRegistry* registry = new DriverRegistry;  // plugins keep pointers into it
    return *registry;
}

Result<std::unique_ptr<Device>> Device::open(std::string_view deviceName, uint32_t /*access*/, uint32_t /*share*/,
                                             uint32_t /*disposition*/, uint32_t /*flags*/) {
    std::string name(deviceName);
    StreamDriverFactory factory;
    {
        std::lock_guard lock(tableMutex());
        noteHeadUnit();
        if (!DriverRegistry::instance().find(name)) loadPluginFor(name);
        const StreamDriverFactory* found = DriverRegistry::instance().find(name);
        if (found == nullptr) return fail(ERROR_FILE_NOT_FOUND);
        factory = *found;
    }
    auto handle = factory(asciiUpper(name));
    if (!handle) return fail(handle.error());
    if (!*handle) return fail(ERROR_GEN_FAILURE);
    return std::unique_ptr<Device>(new Device(std::move(*handle)));
}

Error Device::ioControl(uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize,
                        uint32_t* bytesReturned) {
    uint32_t returned = 0;
    Error error = handle_->ioControl(code, in, inSize, out, outSize, &returned);
    if (bytesReturned) *bytesReturned = returned;
    return error;
}

Error kernelIoControl(uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize,
                      uint32_t* bytesReturned) {
    KernelIoControlHandler handler;
    {
        std::lock_guard lock(tableMutex());
        noteHeadUnit();
        if (!DriverRegistry::instance().kernelIoControl()) loadPluginFor("OEM");
        const KernelIoControlHandler* found = DriverRegistry::instance().kernelIoControl();
        if (found == nullptr) return ERROR_NOT_SUPPORTED;
        handler = *found;
    }
    uint32_t returned = 0;
    Error error = handler(code, in, inSize, out, outSize, &returned);
    if (bytesReturned) *bytesReturned = returned;
    return error;
}

}  // namespace ce
