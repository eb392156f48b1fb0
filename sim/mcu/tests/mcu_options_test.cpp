// Simulator options from headunit.json and the command line.

#include "sim/mcu/mcu_options.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace sim::mcu {
namespace {

TEST(McuOptions, JsonWithFaults) {
    McuOptions o;
    applyJson(o, nlohmann::json::parse(R"({"chip": 1, "lastAddress": "0x7FFF", "blockCount": 16,
        "dropAck": [3, 9], "dropVerifyAck": "1,2", "nak": {"0x00": 2}, "corruptChecksum": "0xC0:1", "garbageBytes": 3,
        "eraseNoAck": true, "paced": true})"));
    EXPECT_EQ(o.chip, 1);
    EXPECT_EQ(o.lastAddress, 0x7FFFu);
    EXPECT_EQ(o.blockCount, 16u);
    EXPECT_EQ(o.blockSize(), 0x800u);
    EXPECT_EQ(o.faults.dropAck, (std::set<uint32_t>{3, 9}));
    EXPECT_EQ(o.faults.dropVerifyAck, (std::set<uint32_t>{1, 2}));
    EXPECT_EQ(o.faults.nak.at(0x00), 2);
    EXPECT_EQ(o.faults.corruptChecksum.at(0xC0), 1);
    EXPECT_EQ(o.faults.garbageBytes, 3u);
    EXPECT_TRUE(o.faults.eraseNoAck);
    EXPECT_TRUE(o.paced);
    EXPECT_EQ(o.validate(), "");
}

TEST(McuOptions, RejectsWhatTheDeviceCannotBe) {
    McuOptions o;
    EXPECT_THROW(blockList("3,x", "--drop-ack"), std::runtime_error);
    std::map<uint8_t, int> commands;
    EXPECT_THROW(addCommandCount(commands, "0x100", "--nak"), std::runtime_error);
    EXPECT_THROW(applyJson(o, nlohmann::json::parse(R"({"lastAddress": "lots"})")), std::runtime_error);
    EXPECT_THROW(applyJson(o, nlohmann::json::parse(R"({"lastAdress": 1})")), std::runtime_error);
    o.lastAddress = 0xEFFE;
    EXPECT_NE(o.validate(), "");
    o.lastAddress = 0xEFFF;
    o.blockCount = 7;  // 60 KiB do not split into 7 whole blocks
    EXPECT_NE(o.validate(), "");
    o.blockCount = 60;
    o.vendorCode = 0x90;
    EXPECT_NE(o.validate(), "");
}

}  // namespace
}  // namespace sim::mcu
