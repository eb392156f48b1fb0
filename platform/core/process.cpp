// Program identity, starting programs by device path, named mutexes.

#include "platform/core/process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <fmt/format.h>

#include "platform/core/debug.h"
#include "platform/core/files.h"
#include "platform/core/host_io.h"
#include "platform/core/paths.h"
#include "platform/core/profile.h"
#include "platform/core/registry.h"

extern char** environ;

namespace ce {

namespace fs = std::filesystem;

Error initProgram(const char* argv0) {
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    std::string name = !ec ? exe.filename().string() : argv0 ? fs::path(argv0).filename().string() : std::string();
    if (!name.empty()) setProgramName(name);

    auto profile = Profile::current();
    if (!profile) {
        const char* root = std::getenv("HEADUNIT_ROOT");
        if (root == nullptr || *root == '\0')
            std::fprintf(stderr, "%s: HEADUNIT_ROOT is not set; run inside a head unit (hu init DIR)\n", name.c_str());
        else
            std::fprintf(stderr, "%s: %s\n", name.c_str(), Profile::currentProblem().c_str());
        return profile.error();
    }
    // A damaged registry would read as one without values (for the updater: nothing installed,
    // so an unattended emergency update): the program does nothing at all.
    if (std::string problem = registryProblem(); !problem.empty()) {
        debugPrint("%s: %s: the head unit's registry is damaged; nothing was done\n", name, problem);
        return ERROR_BADDB;
    }
    return ERROR_SUCCESS;
}

namespace {

// The environment of a started program: ours, with HEADUNIT_ROOT naming this process's head
// unit even when a test switched it without touching the variable.
std::vector<std::string> childEnvironment() {
    std::vector<std::string> env;
    for (char** e = environ; e != nullptr && *e != nullptr; ++e)
        if (std::strncmp(*e, "HEADUNIT_ROOT=", 14) != 0) env.emplace_back(*e);
    if (auto profile = Profile::current()) env.push_back("HEADUNIT_ROOT=" + (*profile)->root().string());
    else if (const char* root = std::getenv("HEADUNIT_ROOT")) env.push_back(std::string("HEADUNIT_ROOT=") + root);
    return env;
}

Error errorFromExec(int err) {
    switch (err) {
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOEXEC: return ERROR_BAD_EXE_FORMAT;
    case EACCES:
    case EPERM: return ERROR_ACCESS_DENIED;
    default: return errorFromErrno(err);
    }
}

// Runs in the forked children: only async-signal-safe calls from here on.
// The program runs from the file already opened through the volume (programFd), so the path
// cannot be swapped between the checks and the exec.
[[noreturn]] void execGrandchild(int programFd, char* const argv[], char* const envp[], int reportFd) {
    pid_t pid = fork();
    if (pid != 0) _exit(pid < 0 ? 1 : 0);  // the middle process ends at once; init reaps the program
    setsid();
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    fexecve(programFd, argv, envp);
    int err = errno;
    if (err == ENOENT) {
        // A script: its interpreter reopens it through /dev/fd, which must survive the exec.
        ::fcntl(programFd, F_SETFD, 0);
        fexecve(programFd, argv, envp);
        err = errno;
    }
    ssize_t ignored = write(reportFd, &err, sizeof err);
    (void)ignored;
    _exit(127);
}

}  // namespace

Error createProcess(std::string_view devicePath) {
    auto host = hostPath(devicePath);
    if (!host) return host.error();
    auto program = File::open(devicePath, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    if (!program) return program.error() == ERROR_INVALID_NAME ? ERROR_ACCESS_DENIED : program.error();
    struct stat st {};
    if (::fstat((*program)->hostFd(), &st) != 0) return errorFromErrno(errno);
    if (!S_ISREG(st.st_mode) || (st.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH)) == 0) return ERROR_ACCESS_DENIED;

    std::string path = host->string();
    std::vector<std::string> env = childEnvironment();
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    char* const argv[] = {path.data(), nullptr};

    // The program is started by a grandchild whose parent ends at once, so it never becomes our
    // zombie. A close-on-exec pipe tells whether the exec succeeded: it closes without data.
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) return errorFromErrno(errno);
    pid_t middle = fork();
    if (middle < 0) {
        Error e = errorFromErrno(errno);
        ::close(report[0]);
        ::close(report[1]);
        return e;
    }
    if (middle == 0) {
        ::close(report[0]);
        execGrandchild((*program)->hostFd(), argv, envp.data(), report[1]);
    }
    ::close(report[1]);
    int status = 0;
    while (::waitpid(middle, &status, 0) < 0 && errno == EINTR) {
    }

    int execErr = 0;
    ssize_t n;
    while ((n = ::read(report[0], &execErr, sizeof execErr)) < 0 && errno == EINTR) {
    }
    ::close(report[0]);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return ERROR_NOT_ENOUGH_MEMORY;  // the second fork failed
    if (n == static_cast<ssize_t>(sizeof execErr)) return errorFromExec(execErr);
    return ERROR_SUCCESS;
}

// ---- Named mutexes ------------------------------------------------------------------------
//
// Every handle holds a shared OFD lock on run/<name>.mutex; the kernel drops the locks of a
// process that dies, so a lock file left behind means nothing. A new handle first tries for an
// exclusive lock: getting it means nobody else holds the mutex. It then downgrades to shared,
// which fcntl does atomically, so two processes starting together cannot both be first.

namespace {

std::string lockFileName(std::string_view name) {
    std::string out;
    for (unsigned char c : name) {
        if (std::isalnum(c) || c == '_' || c == '-' || c == '.') out += static_cast<char>(c);
        else out += fmt::format("%{:02X}", c);
    }
    return out + ".mutex";
}

bool ofdLock(int fd, short type, bool wait) {
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    for (;;) {
        if (::fcntl(fd, wait ? F_OFD_SETLKW : F_OFD_SETLK, &lock) == 0) return true;
        if (errno != EINTR) return false;
    }
}

}  // namespace

Result<std::unique_ptr<NamedMutex>> NamedMutex::create(std::string_view name) {
    if (name.empty()) return std::unique_ptr<NamedMutex>(new NamedMutex(-1, false));
    auto profile = Profile::current();
    if (!profile) return fail(profile.error());
    fs::path file = (*profile)->runDir() / lockFileName(name);
    auto lock = host::openLockFile(file, 0666);
    if (!lock) return fail(lock.error() == ERROR_FILE_NOT_FOUND ? ERROR_PATH_NOT_FOUND : lock.error());
    const int fd = *lock;

    bool first = ofdLock(fd, F_WRLCK, false);
    if (!ofdLock(fd, F_RDLCK, true)) {
        Error e = errorFromErrno(errno);
        ::close(fd);
        return fail(e);
    }
    return std::unique_ptr<NamedMutex>(new NamedMutex(fd, !first));
}

NamedMutex::~NamedMutex() {
    if (fd_ >= 0) ::close(fd_);
}

}  // namespace ce
