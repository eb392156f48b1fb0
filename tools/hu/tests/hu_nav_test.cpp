// `hu nav` as people and scripts use it: each sub-command reaches a panel window of the test's
// own with the right message, and every failure is one line with exit status 1.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <thread>

#include "platform/ui/message.h"
#include "platform/ui/window.h"
#include "sim/headunit/headunit.h"

namespace hu {
namespace {

namespace fs = std::filesystem;

const std::string kHu = std::string(HU_BIN_DIR) + "/hu";

struct Received {
    ce::UINT msg;
    ce::WPARAM wParam;
    ce::LPARAM lParam;
    std::vector<uint8_t> bytes;
};

// Stands where the panel stands; answers records like a hidden panel while `hidden`.
class TestPanel : public ce::Window {
public:
    TestPanel() {
        ce::WindowSpec spec;
        spec.className = "TestPanel";
        spec.title = "ORV_KELO_ZEK";
        spec.style = ce::WS_POPUP;
        EXPECT_EQ(create(spec), ce::ERROR_SUCCESS);
    }
    ce::LRESULT windowProc(ce::UINT msg, ce::WPARAM wParam, ce::LPARAM lParam) override {
        if (msg == ce::WM_COPYDATA) {
            const auto* cds = reinterpret_cast<const ce::CopyDataStruct*>(lParam);
            const auto* p = static_cast<const uint8_t*>(cds->lpData);
            received.push_back({msg, wParam, static_cast<ce::LPARAM>(cds->dwData), std::vector<uint8_t>(p, p + cds->cbData)});
            return hidden ? -1 : 1;
        }
        if (msg >= ce::WM_USER) received.push_back({msg, wParam, lParam, {}});
        return ce::Window::windowProc(msg, wParam, lParam);
    }
    std::vector<Received> received;
    bool hidden = false;
};

// A process joins one desktop for its lifetime, so the tests share one head unit.
class HuNav : public ::testing::Test {
protected:
    static void SetUpTestSuite() { unit_ = new sim::TempHeadUnit(); }
    static void TearDownTestSuite() { delete unit_; }

    // Runs hu with the arguments while this thread keeps the panel's messages flowing; the
    // exit status, stderr in *error.
    int Run(const std::string& args, std::string* error = nullptr) {
        const fs::path err = unit_->root() / "stderr.txt";
        std::atomic<bool> done{false};
        int status = -1;
        std::thread child([&] {
            status = std::system((kHu + " " + args + " >/dev/null 2>" + err.string()).c_str());
            done = true;
        });
        while (!done) {
            ce::waitMessage(10);
            ce::Msg m;
            while (ce::peekMessage(&m)) ce::dispatchMessage(&m);
        }
        child.join();
        if (error) {
            std::ifstream in(err);
            *error = std::string(std::istreambuf_iterator<char>(in), {});
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string Dir() const { return unit_->root().string(); }
    static sim::TempHeadUnit* unit_;
};
sim::TempHeadUnit* HuNav::unit_ = nullptr;

TEST_F(HuNav, SaysInOneLineWhatIsWrong) {
    std::string error;
    EXPECT_EQ(Run("nav " + Dir() + " show", &error), 1);
    EXPECT_EQ(error, "hu nav: no panel running (no window \"ORV_KELO_ZEK\" on this head unit's desktop)\n");
    EXPECT_EQ(Run("nav " + Dir() + " record --turn 300", &error), 2);
    EXPECT_EQ(error, "hu nav: --turn: turn must be a number from 0 to 255 (the turn code), not \"300\" (hu nav DIR record --help)\n");
    EXPECT_EQ(Run("nav " + Dir() + " record --road2 " + std::string(96, 'x'), &error), 2);
    EXPECT_EQ(error, "hu nav: --road2: road2 is 96 UTF-16 units long; its field holds at most 95 (hu nav DIR record --help)\n");
    EXPECT_EQ(Run("nav " + Dir() + " speed fast", &error), 2);
    EXPECT_EQ(error, "hu nav: KMH: speed needs km/h from 0 to 999, not \"fast\" (hu nav DIR speed --help)\n");
    EXPECT_EQ(Run("nav /nonexistent/unit show", &error), 1);
    EXPECT_NE(error.find("is no head unit"), std::string::npos) << error;
    EXPECT_EQ(Run("nav " + Dir() + " record --turn 3 --out " + Dir(), &error), 1);  // a folder
    EXPECT_EQ(error, "hu nav: cannot write " + Dir() + "\n");
}

TEST_F(HuNav, SendsEachMessageToThePanel) {
    TestPanel panel;
    ASSERT_EQ(Run("nav " + Dir() + " show"), 0);
    ASSERT_EQ(Run("nav " + Dir() + " speed 62"), 0);
    ASSERT_EQ(Run("nav " + Dir() + " destroy"), 0);
    ASSERT_EQ(Run("nav " + Dir() + " record --distance 1.2km --turn 12 --road1 테헤란로 --safety 160 --limit 80 --camera 350"), 0);
    const ce::UINT broadcast = ce::registerWindowMessage("QTL_MSG_BROADCAST");
    ASSERT_EQ(panel.received.size(), 4u);
    EXPECT_EQ(panel.received[0].msg, 1224u);
    EXPECT_EQ(panel.received[0].wParam, 1u);
    EXPECT_EQ(panel.received[1].msg, broadcast);
    EXPECT_EQ(panel.received[1].wParam, 1011u);
    EXPECT_EQ(panel.received[1].lParam, 62);
    EXPECT_EQ(panel.received[2].wParam, 1005u);
    const std::vector<uint8_t> record = panel.received[3].bytes;
    ASSERT_EQ(record.size(), 308u);
    EXPECT_EQ(record[4] | (record[5] << 8), 1200);
    EXPECT_EQ(record[296], 12);
    EXPECT_EQ(record[304], 160);

    // A hidden panel refuses the record: the command says so.
    panel.hidden = true;
    std::string error;
    EXPECT_EQ(Run("nav " + Dir() + " record --turn 3", &error), 1);
    EXPECT_NE(error.find("the panel refused the record (-1): it is not shown"), std::string::npos) << error;

    // The same record to a file holds the same bytes.
    const fs::path out = unit_->root() / "record.bin";
    ASSERT_EQ(Run("nav " + Dir() + " record --distance 1.2km --turn 12 --road1 테헤란로 --safety 160 --limit 80 --camera 350 --out " +
                  out.string()), 0);
    std::ifstream in(out, std::ios::binary);
    EXPECT_EQ(std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {}), record);
}

}  // namespace
}  // namespace hu
