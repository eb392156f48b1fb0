// Stream drivers by name: the registration table, opens, control requests, the kernel call.

#include "platform/devices/device.h"

#include <gtest/gtest.h>

#include <cstring>

#include "platform/devices/device_buffer.h"
#include "sim/headunit/headunit.h"

namespace {

// A driver that answers each request with its code and the sum of its input bytes.
class SummingDriver : public ce::StreamDriverHandle {
public:
    ce::Error ioControl(uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize,
                        uint32_t* bytesReturned) override {
        if (code != 0x1234) return ce::ERROR_NOT_SUPPORTED;
        uint32_t sum = 0;
        for (uint32_t i = 0; i < inSize; ++i) sum += static_cast<const uint8_t*>(in)[i];
        if (outSize < 4) return ce::ERROR_INSUFFICIENT_BUFFER;
        std::memcpy(out, &sum, 4);
        *bytesReturned = 4;
        return ce::ERROR_SUCCESS;
    }
};

TEST(Device, OpensARegisteredDriverByNameWithoutRegardToCase) {
    std::string openedAs;
    ce::DriverRegistry::instance().registerDriver("Tst1:", [&](const std::string& name) -> ce::Result<std::unique_ptr<ce::StreamDriverHandle>> {
        openedAs = name;
        return std::unique_ptr<ce::StreamDriverHandle>(new SummingDriver);
    });
    auto device = ce::Device::open("tst1:", 0xC0000000, 0, 4, 0x80000080);
    ASSERT_TRUE(device.ok()) << device.error();
    EXPECT_EQ(openedAs, "TST1:");

    uint8_t in[3] = {1, 2, 3};
    uint32_t sum = 0;
    uint32_t returned = 0;
    EXPECT_EQ((*device)->ioControl(0x1234, in, 3, &sum, 4, &returned), ce::ERROR_SUCCESS);
    EXPECT_EQ(sum, 6u);
    EXPECT_EQ(returned, 4u);
    EXPECT_EQ((*device)->ioControl(0x9999, in, 3, &sum, 4), ce::ERROR_NOT_SUPPORTED);
}

TEST(Device, AFailingOpenReportsTheDriversError) {
    ce::DriverRegistry::instance().registerDriver("BAD1:", [](const std::string&) -> ce::Result<std::unique_ptr<ce::StreamDriverHandle>> {
        return ce::fail(ce::ERROR_DEV_NOT_EXIST);
    });
    EXPECT_EQ(ce::Device::open("BAD1:", 0, 0, 4, 0).error(), ce::ERROR_DEV_NOT_EXIST);
}

TEST(Device, UnknownNamesAndMissingPluginsAreNotFound) {
    sim::HeadUnitOptions options;
    options.driverPlugin = "/nonexistent/libnothing.so";
    sim::TempHeadUnit unit(options);
    EXPECT_EQ(ce::Device::open("XYZ9:", 0, 0, 4, 0).error(), ce::ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(ce::Device::open("DSK1:", 0, 0, 4, 0).error(), ce::ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(ce::kernelIoControl(0x010120F0, "\x01", 1, nullptr, 0), ce::ERROR_NOT_SUPPORTED);
}

TEST(DeviceBuffer, AddressFitsThirtyTwoBits) {
    auto buffer = ce::DeviceBuffer::allocate(4096);
    ASSERT_TRUE(buffer.ok());
    EXPECT_EQ(reinterpret_cast<uint8_t*>(uintptr_t(buffer->address32())), buffer->data());
    EXPECT_EQ(buffer->data()[4095], 0);
    buffer->data()[4095] = 7;  // writable to its end
    EXPECT_EQ(ce::DeviceBuffer::allocate(0).error(), ce::ERROR_NOT_ENOUGH_MEMORY);
}

}  // namespace
