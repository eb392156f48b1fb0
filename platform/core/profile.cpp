#include "platform/core/profile.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>

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

}  // namespace

Result<Profile> Profile::load(const fs::path& root) {
    std::error_code ec;
    fs::path absRoot = fs::absolute(root, ec).lexically_normal();
    if (ec) return fail(ERROR_PATH_NOT_FOUND);
    if (!absRoot.has_filename()) absRoot = absRoot.parent_path();  // drop a trailing slash

    std::ifstream in(absRoot / "headunit.json", std::ios::binary);
    if (!in) return fail(fs::is_directory(absRoot, ec) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return fail(ERROR_READ_FAULT);
    return parse(absRoot, text);
}

Result<Profile> Profile::parse(const fs::path& root, std::string_view document) {
    Json doc = Json::parse(document, nullptr, /*allow_exceptions=*/false);
    if (doc.is_discarded() || !doc.is_object()) return fail(ERROR_INVALID_DATA);

    Profile p;
    p.root_ = root;
    try {
        if (doc.contains("ansiCodePage")) p.ansiCodePage_ = doc.at("ansiCodePage").get<uint32_t>();
        if (doc.contains("screen")) {
            const Json& screen = doc.at("screen");
            p.screenWidth_ = screen.value("width", p.screenWidth_);
            p.screenHeight_ = screen.value("height", p.screenHeight_);
        }
        if (doc.contains("mounts")) {
            for (const Json& m : doc.at("mounts")) {
                Mount mount;
                mount.devicePath = canonicalMountPath(m.at("device").get<std::string>());
                mount.host = absoluteUnder(root, m.at("host").get<std::string>());
                if (mount.devicePath.empty()) return fail(ERROR_INVALID_DATA);
                for (const Mount& other : p.mounts_)
                    if (asciiUpper(other.devicePath) == asciiUpper(mount.devicePath)) return fail(ERROR_INVALID_DATA);
                p.mounts_.push_back(std::move(mount));
            }
        }
        if (doc.contains("serial")) {
            for (const auto& [name, host] : doc.at("serial").items())
                p.serial_[asciiUpper(name)] = absoluteUnder(root, host.get<std::string>());
        }
        if (doc.contains("drivers")) {
            for (const auto& [name, plugin] : doc.at("drivers").items()) {
                std::string path = plugin.get<std::string>();
                p.drivers_[asciiUpper(name)] = path.empty() ? path : absoluteUnder(root, path).string();
            }
        }
    } catch (const Json::exception&) {
        return fail(ERROR_INVALID_DATA);
    }
    if (p.screenWidth_ <= 0 || p.screenHeight_ <= 0) return fail(ERROR_INVALID_DATA);
    p.json_ = std::move(doc);
    return p;
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
    const Profile* profile = nullptr;
    std::vector<std::unique_ptr<Profile>> everLoaded;

    void loadFrom(const fs::path& root) {
        loaded = true;
        profile = nullptr;
        auto result = Profile::load(root);
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
        } else {
            s.loadFrom(root);
        }
    }
    if (s.profile == nullptr) return fail(s.error);
    return s.profile;
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
