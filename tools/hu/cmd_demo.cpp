// `hu demo [DIR] [--emergency] [--keep] [--json] [--view] [--screenshots FOLDER]`: the whole update end to end on a
// fresh simulated head unit, checked against the package (tools/hu/demo/demo_run.h).

#include <stdlib.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <system_error>

#include <fmt/format.h>

#include "sim/board/fault_plan.h"
#include "tools/hu/cli_support.h"
#include "tools/hu/commands.h"
#include "tools/hu/demo/demo_run.h"
#include "tools/hu/demo/interruption.h"
#include "tools/hu/demo/watchdog.h"
#include "tools/hu/update_package.h"

namespace hu {

namespace {

namespace fs = std::filesystem;

struct CommandLine {
    std::string dir;
    bool emergency = false;
    bool keep = false;
    bool json = false;
    bool view = false;
    bool small = false;
    std::string screenshots;
    demo::Fault fault = demo::Fault::None;
};

// The command line; --small and --fault are for the end-to-end tests.
void describe(cli::Parser& p, CommandLine& c, std::string& fault) {
    p.optionalPositional("DIR", c.dir, "make the head unit there (a new or empty folder; it stays); default: a temporary "
                                       "folder, removed at the end")
        .flag("--emergency", c.emergency, "the unattended emergency run (installed MCU and Bluetooth versions unreadable)")
        .flag("--keep", c.keep, "keep the temporary head unit")
        .flag("--json", c.json, "the run's events and check results as JSON lines on stdout (the rest on stderr)")
        .flag("--view", c.view, "show the head unit's screen live in a window while the run goes (hu view)")
        .text("--screenshots", "FOLDER", c.screenshots, "where the PNG of each page goes (default: DIR/screenshots, or a "
                                                        "folder of its own beside the temporary head unit)")
        .flag("--small", c.small, "for tests: small images and a small MCU, so a run is short")
        .choice("--fault", "NAME", fault, {"kernel-checksum", "mcu-drops-acks", "bt-image-locked"},
                "for tests: one part broken on purpose (kernel-checksum, mcu-drops-acks, bt-image-locked); the demo must "
                "then fail on that part's check");
}

fs::path temporaryFolder(const std::string& prefix) {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = (fs::path(tmp && *tmp ? tmp : "/tmp") / (prefix + "XXXXXX")).string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("cannot make a temporary folder in " + fs::path(pattern).parent_path().string());
    return pattern;
}

// Two demos in one folder would run two sets of simulators on the same serial links: the
// folder is locked (a lock on the folder itself, shared with the watchdog) while a demo uses it.
void lockFolder(const fs::path& dir) {
    [[maybe_unused]] static int held = -1;
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;  // whatever is wrong with it, the next step says
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        throw std::runtime_error(dir.string() + " is in use by another hu demo");
    }
    held = fd;  // for the life of the process
}

// A fresh folder for the head unit: the given one (new or empty) or a temporary one.
fs::path headUnitFolder(const CommandLine& c) {
    if (c.dir.empty()) return temporaryFolder("hu-demo-");
    std::error_code ec;
    const fs::path dir = fs::absolute(c.dir);
    if (fs::is_directory(dir, ec)) lockFolder(dir);
    if (fs::exists(dir, ec) && !fs::is_empty(dir, ec))
        throw std::runtime_error(dir.string() + " is not empty (the demo makes a fresh head unit)");
    fs::create_directories(dir, ec);
    if (ec) throw std::runtime_error("cannot make " + dir.string() + ": " + ec.message());
    lockFolder(dir);
    return fs::canonical(dir);
}

std::string buildPackage(const fs::path& root, const demo::PackageRequest& request) {
    UpdatePackageOptions options;
    options.osVersion = options.micomVersion = options.bluetoothVersion = "1.0.1";
    options.badKernelChecksum = request.badKernelChecksum;
    if (request.small) {
        options.kernelSize = 20 * 1024;
        options.bluetoothSize = 4096;
    }
    int entries = 0;
    buildUpdatePackage(root, options, [&](const std::string&) { ++entries; });
    return fmt::format("OS, MCU and Bluetooth version {} with their images, and the panel package ({} entries)",
                       options.osVersion, entries);
}

}  // namespace

int cmdDemo(const Args& args) {
    const uint64_t startMs = sim::monotonicMs();
    CommandLine c;
    std::string fault;
    cli::Parser parser("hu demo", "the whole update end to end on a fresh head unit, checked against the package");
    describe(parser, c, fault);
    if (auto status = parser.parse(args)) return *status;
    if (!fault.empty()) c.fault = demo::faultNamed(fault).value_or(demo::Fault::None);
    if (c.view && !std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY")) {
        std::fprintf(stderr, "hu demo: no display (DISPLAY is not set): --view needs a desktop session\n");
        return 1;
    }
    demo::catchInterruptions();
    demo::DemoOptions options;
    std::unique_ptr<demo::Watchdog> watchdog;
    try {
        const fs::path self = fs::canonical("/proc/self/exe");
        options.updaterProgram = self.parent_path() / "UpdateXan";
        if (!fs::exists(options.updaterProgram))
            throw std::runtime_error("UpdateXan is not built beside " + self.string());
        options.huProgram = self;
        options.root = headUnitFolder(c);
        options.temporary = c.dir.empty();
        options.keep = c.keep;
        options.emergency = c.emergency;
        options.small = c.small;
        options.json = c.json;
        options.view = c.view;
        options.fault = c.fault;
        options.startMs = startMs;
        options.buildPackage = buildPackage;
        if (!c.screenshots.empty()) options.screenshots = fs::absolute(c.screenshots);
        else if (!options.temporary || c.keep) options.screenshots = options.root / "screenshots";
        else options.screenshots = temporaryFolder("hu-demo-screenshots-");
        // Before any thread starts: the watchdog is a fork of this process.
        watchdog = std::make_unique<demo::Watchdog>(options.root, options.temporary && !options.keep);
        options.keepAlive.push_back(watchdog->pid());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "hu demo: %s\n", e.what());
        std::error_code ec;
        if (options.temporary && !watchdog) fs::remove_all(options.root, ec);
        return 1;
    }
    try {
        const int code = demo::runDemo(options);
        watchdog->finished();
        return code;
    } catch (const std::exception& e) {
        // The watchdog cleans up after this (the pipe closes without "finished").
        std::fprintf(stderr, "hu demo: %s\n", e.what());
        return 1;
    }
}

}  // namespace hu
