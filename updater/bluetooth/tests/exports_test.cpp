// The engine's functions are found by name in the running program, as UpdateXan's Bluetooth
// page finds them: this test links the engine the way UpdateXan does (whole archive, exports
// on) and never names the functions itself.

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdint>

#include "sim/headunit/headunit.h"

namespace {

struct Status {
    uint32_t blocksSent;
    uint8_t reserved;
    uint8_t done;
};

TEST(EngineExports, AllEightAreFoundWithDlsymAndWork) {
    sim::TempHeadUnit unit;  // no image, no module on COM2
    for (const char* name : {"open_port", "setting_port", "write_dfu", "read_dfu", "open_update", "start_update",
                             "get_fileinfo", "get_status"}) {
        EXPECT_NE(dlsym(RTLD_DEFAULT, name), nullptr) << name;
    }
    auto getFileInfo = reinterpret_cast<int (*)()>(dlsym(RTLD_DEFAULT, "get_fileinfo"));
    auto getStatus = reinterpret_cast<int (*)(Status*)>(dlsym(RTLD_DEFAULT, "get_status"));
    auto openPort = reinterpret_cast<int (*)(const char16_t*)>(dlsym(RTLD_DEFAULT, "open_port"));
    ASSERT_TRUE(getFileInfo && getStatus && openPort);
    EXPECT_EQ(getFileInfo(), -1);
    EXPECT_EQ(openPort(u"COM2:"), 0);
    Status status{7, 7, 7};
    EXPECT_EQ(getStatus(&status), 0);
    EXPECT_EQ(status.blocksSent, 0u);
    EXPECT_EQ(status.reserved, 0);
    EXPECT_EQ(status.done, 0);
}

}  // namespace
