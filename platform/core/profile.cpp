#include "platform/core/profile.h"

#include <fcntl.h>
#include <fmt/format.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <memory>
#include <mutex>

#include <nlohmann/json.hpp>

#include "platform/core/text.h"

namespace ce {

namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;

fs::path absoluteUnder(const fs::path& root, const std::string& host) {
    fs::path p(host);
    return (p.is_absolute() ? p : root / p).lexically_normal();
}

// A device path in its canonical form: a leading backslash, no trailing one, no empty parts.
std::string canonicalMountPath(const std::string& device) {
    std::string out;
    std::string part;
    auto flush = [&] {
        if (!part.empty()) out += "\\" + part;
        part.clear();
    };
    for (char c : device) {
        if (c == '\\' || c == '/') flush();
        else part += c;
    }
    flush();
    return out;
}

// Gives error, with the line that says why in *problem when the caller wants it.
Result<Profile> refuse(std::string* problem, Error error, std::string why) {
    if (problem) *problem = std::move(why);
    return fail(error);
}

// "[json.exception.parse_error.101] parse error at line 3, column 5: syntax error ..." ->
// "syntax error ...": the line is given separately, counted from the byte offset.
std::string withoutPrefix(std::string_view what) {
    if (what.starts_with("[json.exception.")) {
        size_t close = what.find("] ");
        if (close != std::string_view::npos) what.remove_prefix(close + 2);
    }
    if (what.starts_with("parse error")) {
        size_t colon = what.find(": ");
        if (colon != std::string_view::npos) what.remove_prefix(colon + 2);
    }
    return std::string(what);
}

int lineAt(std::string_view text, size_t byte) {
    if (byte > 0) --byte;  // the parser's position is one past the byte it stopped at
    byte = std::min(byte, text.size());
    return 1 + static_cast<int>(std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(byte), '\n'));
}

// The line where a top-level key is written; 1 when it is not found as written.
int lineOfKey(std::string_view text, const std::string& key) {
    size_t at = text.find("\"" + key + "\"");
    return at == std::string_view::npos ? 1 : lineAt(text, at + 1);
}

// The whole file, read with plain calls: a stream would throw on a read error.
Error readWhole(const fs::path& file, std::string& text) {
    int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return errorFromErrno(errno);
    char buffer[16384];
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            int err = errno;
            ::close(fd);
            return errorFromErrno(err);
        }
        text.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    return ERROR_SUCCESS;
}

}  // namespace

Result<Profile> Profile::load(const fs::path& root, std::string* problem) {
    std::error_code ec;
    fs::path absRoot = fs::absolute(root, ec).lexically_normal();
    if (ec) return refuse(problem, ERROR_PATH_NOT_FOUND, root.string() + " is not a usable path");
    if (!absRoot.has_filename()) absRoot = absRoot.parent_path();  // drop a trailing slash

    const fs::path file = absRoot / "headunit.json";
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0) {
        if (fs::is_directory(absRoot, ec))
            return refuse(problem, ERROR_FILE_NOT_FOUND, absRoot.string() + " holds no headunit.json");
        return refuse(problem, ERROR_PATH_NOT_FOUND, absRoot.string() + " does not exist");
    }
    if (S_ISDIR(st.st_mode))
        return refuse(problem, ERROR_CANT_ACCESS_FILE, file.string() + " is a folder, not a file");
    if (!S_ISREG(st.st_mode))
        return refuse(problem, ERROR_CANT_ACCESS_FILE, file.string() + " is not a regular file");
    std::string text;
    if (Error error = readWhole(file, text); error != ERROR_SUCCESS)
        return refuse(problem, error, file.string() + " cannot be read (error " + std::to_string(error) + ")");
    auto profile = parse(absRoot, text, problem);
    if (!profile && problem) *problem = (absRoot / *problem).string();  // the path in front of "headunit.json: ..."
    return profile;
}

Result<Profile> Profile::parse(const fs::path& root, std::string_view document, std::string* problem) {
    Json doc;
    try {
        doc = Json::parse(document);
    } catch (const Json::parse_error& e) {
        return refuse(problem, ERROR_INVALID_DATA,
                      fmt::format("headunit.json: {}, line {}", withoutPrefix(e.what()), lineAt(document, e.byte)));
    }
    if (!doc.is_object())
        return refuse(problem, ERROR_INVALID_DATA, "headunit.json: the document must be an object {...}, line 1");

    Profile p;
    p.root_ = root;
    // The key being read, so that a refusal can say where.
    std::string key;
    auto wrong = [&](const std::string& why) {
        return refuse(problem, ERROR_INVALID_DATA,
                      fmt::format("headunit.json: \"{}\" {}, line {}", key, why, lineOfKey(document, key)));
    };
    try {
        key = "ansiCodePage";
        if (doc.contains(key)) p.ansiCodePage_ = doc.at(key).get<uint32_t>();
        key = "screen";
        if (doc.contains(key)) {
            const Json& screen = doc.at(key);
            p.screenWidth_ = screen.value("width", p.screenWidth_);
            p.screenHeight_ = screen.value("height", p.screenHeight_);
            if (p.screenWidth_ <= 0 || p.screenHeight_ <= 0) return wrong("needs a width and height above 0");
        }
        key = "mounts";
        if (doc.contains(key)) {
            if (!doc.at(key).is_array()) return wrong("must be a list of {\"device\", \"host\"}");
            for (const Json& m : doc.at(key)) {
                Mount mount;
                mount.devicePath = canonicalMountPath(m.at("device").get<std::string>());
                mount.host = absoluteUnder(root, m.at("host").get<std::string>());
                if (mount.devicePath.empty()) return wrong("holds a mount without a device path");
                for (const Mount& other : p.mounts_)
                    if (asciiUpper(other.devicePath) == asciiUpper(mount.devicePath))
                        return wrong("holds two mounts at " + mount.devicePath);
                p.mounts_.push_back(std::move(mount));
            }
        }
        key = "serial";
        if (doc.contains(key)) {
            if (!doc.at(key).is_object()) return wrong("must be an object of port names");
            for (const auto& [name, host] : doc.at(key).items())
                p.serial_[asciiUpper(name)] = absoluteUnder(root, host.get<std::string>());
        }
        key = "drivers";
        if (doc.contains(key)) {
            if (!doc.at(key).is_object()) return wrong("must be an object of device names");
            for (const auto& [name, plugin] : doc.at(key).items()) {
                std::string path = plugin.get<std::string>();
                p.drivers_[asciiUpper(name)] = path.empty() ? path : absoluteUnder(root, path).string();
            }
        }
    } catch (const Json::exception& e) {
        return wrong(fmt::format("has the wrong shape ({})", withoutPrefix(e.what())));
    }
    p.json_ = std::make_shared<const Json>(std::move(doc));
    return p;
}

const nlohmann::json& Profile::json() const {
    static const Json empty = Json::object();
    return json_ ? *json_ : empty;
}

std::string Profile::driverBackend(const std::string& deviceName) const {
    auto it = drivers_.find(asciiUpper(deviceName));
    return it == drivers_.end() ? std::string() : it->second;
}

fs::path Profile::serialDevice(const std::string& portName) const {
    auto it = serial_.find(asciiUpper(portName));
    return it == serial_.end() ? fs::path() : it->second;
}

// ---- The process-wide profile ------------------------------------------------------------
//
// current() hands out plain pointers, so a profile that was once current is never freed:
// a test that switches head units must not leave another thread with a dangling pointer.

namespace {

struct CurrentProfile {
    std::mutex mutex;
    bool loaded = false;
    Error error = ERROR_SUCCESS;
    std::string problem;
    const Profile* profile = nullptr;
    std::vector<std::unique_ptr<Profile>> everLoaded;

    void loadFrom(const fs::path& root) {
        loaded = true;
        profile = nullptr;
        problem.clear();
        auto result = Profile::load(root, &problem);
        if (!result) {
            error = result.error();
            return;
        }
        everLoaded.push_back(std::make_unique<Profile>(std::move(result).value()));
        profile = everLoaded.back().get();
        error = ERROR_SUCCESS;
    }
};

CurrentProfile& state() {
    static CurrentProfile s;
    return s;
}

}  // namespace

Result<const Profile*> Profile::current() {
    CurrentProfile& s = state();
    std::lock_guard lock(s.mutex);
    if (!s.loaded) {
        const char* root = std::getenv("HEADUNIT_ROOT");
        if (root == nullptr || *root == '\0') {
            s.loaded = true;
            s.profile = nullptr;
            s.error = ERROR_PATH_NOT_FOUND;
            s.problem = "HEADUNIT_ROOT is not set";
        } else {
            s.loadFrom(root);
        }
    }
    if (s.profile == nullptr) return fail(s.error);
    return s.profile;
}

std::string Profile::currentProblem() {
    CurrentProfile& s = state();
    std::lock_guard lock(s.mutex);
    return s.profile == nullptr ? s.problem : std::string();
}

void Profile::setCurrent(const fs::path& root) {
    CurrentProfile& s = state();
    std::lock_guard lock(s.mutex);
    s.loadFrom(root);
}

void Profile::resetCurrent() {
    CurrentProfile& s = state();
    std::lock_guard lock(s.mutex);
    s.loaded = false;
    s.profile = nullptr;
}

}  // namespace ce
