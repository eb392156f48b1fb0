// The board driver "ORV1:" and the OEM kernel control record, loaded by name from the plugin.

#include "sim/board/board_driver.h"

#include <nlohmann/json.hpp>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include <gtest/gtest.h>

#include "sim/board/gpio_log.h"
#include "sim/headunit/headunit.h"

namespace {

ce::Error gpioSet(int port, uint32_t mask, int level) {
    auto board = ce::Device::open("ORV1:", 0xC0000000, 0, 4, 0x80000080);
    if (!board) return board.error();
    uint8_t record[8] = {uint8_t(level), uint8_t(port), 0, 0, uint8_t(mask), uint8_t(mask >> 8), uint8_t(mask >> 16),
                         uint8_t(mask >> 24)};
    return (*board)->ioControl(sim::IOCTL_GPIO_SET, record, sizeof record, nullptr, 0);
}

sim::HeadUnitOptions withBoard(nlohmann::json board) {
    sim::HeadUnitOptions options;
    options.sim["board"] = std::move(board);
    return options;
}

TEST(Board, DrivesLinesInRequestOrder) {
    sim::TempHeadUnit unit;
    ASSERT_EQ(gpioSet(2, 0x8, 1), ce::ERROR_SUCCESS);
    ASSERT_EQ(gpioSet(5, 0x10, 1), ce::ERROR_SUCCESS);
    ASSERT_EQ(gpioSet(5, 0x3, 1), ce::ERROR_SUCCESS);
    ASSERT_EQ(gpioSet(2, 0x8, 0), ce::ERROR_SUCCESS);

    auto events = sim::GpioLog::read(unit.root());
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events[0].port, 2);
    EXPECT_EQ(events[0].mask, 0x8u);
    EXPECT_EQ(events[0].level, 1);
    EXPECT_EQ(events[3].level, 0);
    EXPECT_EQ(events[3].pid, int(getpid()));
    for (size_t i = 1; i < events.size(); ++i) EXPECT_GE(events[i].t_ms, events[i - 1].t_ms);
    EXPECT_EQ(sim::GpioLog::levels(unit.root()), (std::map<int, uint32_t>{{2, 0}, {5, 0x13}}));
}

TEST(Board, RefusesMalformedRecordsAndUnknownRequests) {
    sim::TempHeadUnit unit;
    auto board = ce::Device::open("ORV1:", 0xC0000000, 0, 4, 0x80000080);
    ASSERT_TRUE(board.ok()) << board.error();
    uint8_t record[8] = {2, 2, 0, 0, 8, 0, 0, 0};  // level 2 is neither high nor low
    EXPECT_EQ((*board)->ioControl(sim::IOCTL_GPIO_SET, record, 8, nullptr, 0), ce::ERROR_INVALID_PARAMETER);
    record[0] = 1;
    EXPECT_EQ((*board)->ioControl(sim::IOCTL_GPIO_SET, record, 4, nullptr, 0), ce::ERROR_INVALID_PARAMETER);
    EXPECT_EQ((*board)->ioControl(0x223F8C, record, 8, nullptr, 0), ce::ERROR_NOT_SUPPORTED);
    EXPECT_TRUE(sim::GpioLog::read(unit.root()).empty());
}

TEST(Board, InjectedFailures) {
    sim::TempHeadUnit unit(withBoard({{"failGpioSet", 2}}));
    EXPECT_EQ(gpioSet(2, 1, 1), ce::ERROR_SUCCESS);
    EXPECT_EQ(gpioSet(2, 2, 1), ce::ERROR_GEN_FAILURE);  // the second request
    EXPECT_EQ(gpioSet(2, 4, 1), ce::ERROR_SUCCESS);
    EXPECT_EQ(sim::GpioLog::levels(unit.root())[2], 0x5u);  // the refused request drove nothing

    // The plan is read again at each request: a change applies at once.
    auto json = nlohmann::json::parse(std::ifstream(unit.root() / "headunit.json"));
    json["sim"]["board"] = {{"failOpen", true}};
    std::ofstream(unit.root() / "headunit.json") << json.dump();
    EXPECT_EQ(gpioSet(2, 8, 1), ce::ERROR_DEV_NOT_EXIST);
    EXPECT_EQ(sim::GpioLog::read(unit.root()).size(), 2u);
}

TEST(Board, EventOrderAcrossTwoProcesses) {
    sim::TempHeadUnit unit;
    sim::GpioWatcher watcher(unit.root());
    constexpr int kRequests = 25;
    std::vector<pid_t> children;
    for (int child = 0; child < 2; ++child) {
        pid_t pid = fork();
        if (pid == 0) {
            int failures = 0;
            for (int i = 0; i < kRequests; ++i) failures += gpioSet(2 + child * 3, 1u << i, i % 2) != ce::ERROR_SUCCESS;
            _exit(failures);
        }
        children.push_back(pid);
    }
    std::vector<sim::GpioEvent> seen;
    while (seen.size() < 2 * kRequests) {
        auto more = watcher.next(5000);
        if (more.empty()) break;
        seen.insert(seen.end(), more.begin(), more.end());
    }
    for (pid_t pid : children) {
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    ASSERT_EQ(seen.size(), size_t(2 * kRequests));
    EXPECT_EQ(seen, sim::GpioLog::read(unit.root()));
    // Each process's requests appear in the order it made them; times never go back.
    std::map<int, int> next;
    for (size_t i = 0; i < seen.size(); ++i) {
        int n = next[seen[i].pid]++;
        EXPECT_EQ(seen[i].mask, 1u << n);
        EXPECT_EQ(seen[i].level, n % 2);
        if (i > 0) {
            EXPECT_GE(seen[i].t_ms, seen[i - 1].t_ms);
        }
    }
    EXPECT_EQ(next.size(), 2u);
    EXPECT_TRUE(watcher.next(0).empty());
}

TEST(Board, RecordsKernelControlCalls) {
    sim::TempHeadUnit unit;
    uint8_t one = 1;
    EXPECT_EQ(ce::kernelIoControl(0x010120F0, &one, 1, nullptr, 0), ce::ERROR_SUCCESS);
    auto calls = sim::readOemCalls(unit.root());
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].code, 0x010120F0u);
    EXPECT_EQ(calls[0].input, std::vector<uint8_t>{1});
    EXPECT_FALSE(calls[0].failed);
}

}  // namespace
