// The terminal output of the demo when it goes to a file or a pipe: the live status becomes a
// line only when its text says something new, so the log of a run stays short.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "tools/hu/demo/terminal_view.h"

namespace hu::demo {
namespace {

std::string Written(FILE* file) {
    std::fflush(file);
    std::string text;
    std::rewind(file);
    for (int c; (c = std::fgetc(file)) != EOF;) text += static_cast<char>(c);
    return text;
}

int Lines(const std::string& text) {
    int n = 0;
    for (char c : text) n += c == '\n' ? 1 : 0;
    return n;
}

TEST(TerminalView, IntoAFileProgressAloneMakesNoNewLine) {
    FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    TerminalView view(file, 0);
    view.status("MCU update", 10, 240, "Write...");
    view.status("MCU update", 120, 240, "Write...");
    view.status("Bluetooth update", 0, 100, "Downloading 0%.");
    view.status("Bluetooth update", 45, 100, "Downloading 45%..");  // numbers and dots only
    EXPECT_EQ(Lines(Written(file)), 2);
    view.status("MCU update", 240, 240, "Verify...");  // a new phase
    view.line("pressed RESTART");
    const std::string text = Written(file);
    EXPECT_EQ(Lines(text), 4);
    EXPECT_NE(text.find("Verify..."), std::string::npos);
    EXPECT_NE(text.find("s] pressed RESTART\n"), std::string::npos);
    std::fclose(file);
}

TEST(TerminalView, ProgressBarStaysInsideItsRange) {
    EXPECT_EQ(TerminalView::progressBar(120, 240, 10), "[#####.....]  50 %");
    EXPECT_EQ(TerminalView::progressBar(300, 240, 10), "[##########] 100 %");
    EXPECT_EQ(TerminalView::progressBar(-5, 240, 10), "[..........]   0 %");
    EXPECT_EQ(TerminalView::progressBar(3, 0, 4), "[....]      ");  // no range: no percentage
}

}  // namespace
}  // namespace hu::demo
