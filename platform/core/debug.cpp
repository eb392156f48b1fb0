// Debug and console output: one write() per call to the program's log file and to stderr.
//
// A process-wide lock orders the writes of all threads, and each destination receives the
// text with a single write() call, so a line is never split by another thread's output. The
// log file is opened in append mode, so lines of several processes sharing a log stay whole too.

#include "platform/core/debug.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <mutex>

#include "platform/core/host_io.h"
#include "platform/core/profile.h"

namespace ce {

namespace {

// What one capture has collected.
struct CaptureBuffer {
    mutable std::mutex mutex;
    std::vector<std::pair<OutputChannel, std::string>> writes;
};

namespace fs = std::filesystem;

// Everything the output shares across threads, guarded by one lock.
struct OutputState {
    std::mutex mutex;
    std::string programName;
    fs::path logPath;  // the file logFd is open on
    int logFd = -1;
    std::vector<std::shared_ptr<CaptureBuffer>> captures;
};

OutputState& output() {
    static OutputState* state = new OutputState;  // never destroyed: threads may log during exit
    return *state;
}

// Set while this thread is inside writeOutput, so that output produced while finding the log
// file (a profile that fails to load and reports it) goes to stderr instead of recursing.
thread_local bool insideWrite = false;

std::string nameOfExecutable() {
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string("program") : exe.filename().string();
}

// Writes all of text with as few write() calls as the descriptor allows (one for a file).
void writeWhole(int fd, std::string_view text) {
    const char* p = text.data();
    size_t left = text.size();
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            return;  // output is best effort: a full disk must not stop the program
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
}

// The log file of this program in the current head unit, opened on first use and reopened
// when the process switches head units; -1 when there is no head unit.
int logFile(OutputState& s) {
    auto profile = Profile::current();
    if (!profile) return -1;
    if (s.programName.empty()) s.programName = nameOfExecutable();
    fs::path path = (*profile)->logDir() / (s.programName + ".log");
    if (s.logFd >= 0 && path == s.logPath) return s.logFd;
    if (s.logFd >= 0) ::close(s.logFd);
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    auto log = host::openForWriting(path, O_APPEND);  // a link in its place is not written through
    s.logFd = log ? *log : -1;
    s.logPath = s.logFd >= 0 ? path : fs::path();
    return s.logFd;
}

}  // namespace

void writeOutput(OutputChannel channel, std::string_view text) {
    if (text.empty()) return;
    OutputState& s = output();
    if (insideWrite) {
        writeWhole(STDERR_FILENO, text);
        return;
    }
    insideWrite = true;
    {
        std::lock_guard lock(s.mutex);
        int fd = logFile(s);
        if (fd >= 0) writeWhole(fd, text);
        writeWhole(STDERR_FILENO, text);
        for (const auto& capture : s.captures) {
            std::lock_guard captureLock(capture->mutex);
            capture->writes.emplace_back(channel, std::string(text));
        }
    }
    insideWrite = false;
}

void setProgramName(std::string_view name) {
    OutputState& s = output();
    std::lock_guard lock(s.mutex);
    s.programName = std::string(name);
    if (s.logFd >= 0) ::close(s.logFd);  // the next write opens the file of the new name
    s.logFd = -1;
    s.logPath.clear();
}

const std::string& programName() {
    OutputState& s = output();
    std::lock_guard lock(s.mutex);
    if (s.programName.empty()) s.programName = nameOfExecutable();
    return s.programName;
}

// ---- DebugCapture ---------------------------------------------------------------------------

struct DebugCapture::State : CaptureBuffer {};

DebugCapture::DebugCapture() : state_(std::make_shared<State>()) {
    OutputState& s = output();
    std::lock_guard lock(s.mutex);
    s.captures.push_back(state_);
}

DebugCapture::~DebugCapture() {
    OutputState& s = output();
    std::lock_guard lock(s.mutex);
    std::shared_ptr<CaptureBuffer> mine = state_;
    s.captures.erase(std::remove(s.captures.begin(), s.captures.end(), mine), s.captures.end());
}

std::string DebugCapture::text() const {
    std::lock_guard lock(state_->mutex);
    std::string all;
    for (const auto& [channel, text] : state_->writes) all += text;
    return all;
}

std::string DebugCapture::text(OutputChannel channel) const {
    std::lock_guard lock(state_->mutex);
    std::string all;
    for (const auto& [c, text] : state_->writes)
        if (c == channel) all += text;
    return all;
}

std::vector<std::string> DebugCapture::writes() const {
    std::lock_guard lock(state_->mutex);
    std::vector<std::string> all;
    for (const auto& write : state_->writes) all.push_back(write.second);
    return all;
}

bool DebugCapture::contains(std::string_view needle) const { return text().find(needle) != std::string::npos; }

void DebugCapture::clear() {
    std::lock_guard lock(state_->mutex);
    state_->writes.clear();
}

}  // namespace ce
