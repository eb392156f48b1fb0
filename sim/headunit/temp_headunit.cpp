#include <fmt/format.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "platform/core/profile.h"
#include "sim/headunit/headunit.h"

namespace sim {

namespace fs = std::filesystem;

TempHeadUnit::TempHeadUnit(const HeadUnitOptions& options) {
    std::string templ = (fs::temp_directory_path() / "hu-XXXXXX").string();
    if (mkdtemp(templ.data()) == nullptr) throw std::runtime_error("cannot create a temporary head unit folder");
    root_ = templ;
    try {
        createHeadUnit(root_, options);
    } catch (...) {
        std::error_code ec;
        fs::remove_all(root_, ec);
        throw;
    }
    if (const char* previous = std::getenv("HEADUNIT_ROOT")) previousRoot_ = previous;
    setenv("HEADUNIT_ROOT", root_.c_str(), 1);
    ce::Profile::setCurrent(root_);
}

TempHeadUnit::~TempHeadUnit() {
    if (previousRoot_) setenv("HEADUNIT_ROOT", previousRoot_->c_str(), 1);
    else unsetenv("HEADUNIT_ROOT");
    ce::Profile::resetCurrent();
    if (keep_) {
        std::fprintf(stderr, "head unit kept at %s\n", root_.c_str());
        return;
    }
    std::error_code ec;
    fs::remove_all(root_, ec);
}

}  // namespace sim
