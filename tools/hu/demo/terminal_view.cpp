#include "tools/hu/demo/terminal_view.h"

#include <unistd.h>

#include <algorithm>

#include <fmt/format.h>

#include "sim/board/fault_plan.h"

namespace hu::demo {

TerminalView::TerminalView(FILE* out, uint64_t startMs) : out_(out), tty_(::isatty(::fileno(out)) != 0), startMs_(startMs) {}

std::string TerminalView::stamp() const {
    return fmt::format("[{:6.1f} s] ", static_cast<double>(sim::monotonicMs() - startMs_) / 1000.0);
}

void TerminalView::clearLive() {
    if (tty_ && !live_.empty()) std::fputs("\r\033[K", out_);
}

void TerminalView::line(const std::string& text) {
    if (events_) events_->write({{"event", "note"}, {"text", text}});
    std::lock_guard lock(mutex_);
    clearLive();
    std::fprintf(out_, "%s%s\n", stamp().c_str(), text.c_str());
    if (tty_ && !live_.empty()) std::fputs(live_.c_str(), out_);
    std::fflush(out_);
}

void TerminalView::status(const std::string& step, int position, int maximum, const std::string& text) {
    std::string flat = text;
    std::replace(flat.begin(), flat.end(), '\r', ' ');
    std::replace(flat.begin(), flat.end(), '\n', ' ');
    const std::string shown = fmt::format("{:<17} {}  {}", step, progressBar(position, maximum), flat);
    std::lock_guard lock(mutex_);
    if (tty_) {
        std::string live = stamp() + shown;
        if (live == live_) return;
        clearLive();
        live_ = live;
        std::fputs(live_.c_str(), out_);
    } else {
        const std::string news = step + "|" + gist(flat);
        if (news == lastGist_) return;
        lastGist_ = news;
        std::fprintf(out_, "%s%s\n", stamp().c_str(), shown.c_str());
    }
    std::fflush(out_);
}

void TerminalView::endStatus() {
    std::lock_guard lock(mutex_);
    if (tty_ && !live_.empty()) {
        std::fputs("\n", out_);
        std::fflush(out_);
    }
    live_.clear();
    lastGist_.clear();
}

std::string TerminalView::progressBar(int position, int maximum, int width) {
    if (maximum <= 0) return "[" + std::string(width, '.') + "]      ";
    position = std::clamp(position, 0, maximum);
    const int filled = static_cast<int>(static_cast<int64_t>(position) * width / maximum);
    const int percent = static_cast<int>(static_cast<int64_t>(position) * 100 / maximum);
    return fmt::format("[{}{}] {:3} %", std::string(filled, '#'), std::string(width - filled, '.'), percent);
}

std::string TerminalView::gist(const std::string& text) {
    std::string out;
    for (char c : text)
        if (!(c >= '0' && c <= '9') && c != '%' && c != '.') out += c;
    return out;
}

}  // namespace hu::demo
