#include "platform/core/testing/other_user.h"

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

extern char** environ;

namespace ce::test {

namespace {

// In the child: becomes the other user for good (real, effective and saved ids), or exits.
void becomeOtherUser() {
    if (::setgroups(0, nullptr) != 0 || ::setresgid(kOtherGid, kOtherGid, kOtherGid) != 0 ||
        ::setresuid(kOtherUid, kOtherUid, kOtherUid) != 0)
        ::_exit(126);
    if (::geteuid() != kOtherUid) ::_exit(126);
}

ChildOutcome runChild(const std::function<void()>& inChild) {
    ChildOutcome outcome;
    int out[2];
    if (::pipe(out) != 0) return outcome;
    pid_t pid = ::fork();
    if (pid < 0) {
        ::close(out[0]);
        ::close(out[1]);
        return outcome;
    }
    if (pid == 0) {
        ::dup2(out[1], STDOUT_FILENO);
        ::dup2(out[1], STDERR_FILENO);
        ::close(out[0]);
        ::close(out[1]);
        becomeOtherUser();
        inChild();
        ::_exit(127);
    }
    ::close(out[1]);
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(out[0], buffer, sizeof buffer)) != 0) {
        if (n < 0) {
            if (errno == EINTR) continue;
            break;
        }
        outcome.output.append(buffer, static_cast<size_t>(n));
    }
    ::close(out[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    outcome.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return outcome;
}

}  // namespace

bool canBecomeOtherUser() { return ::geteuid() == 0; }

ChildOutcome asOtherUser(const std::function<int()>& fn) {
    return runChild([&] {
        int code = fn();
        ::fflush(nullptr);
        ::_exit(code);
    });
}

ChildOutcome runAsOtherUser(const std::vector<std::string>& argv, const std::vector<std::string>& environment) {
    std::vector<std::string> args = argv;
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) env.emplace_back(*e);
    env.insert(env.end(), environment.begin(), environment.end());
    return runChild([&] {
        std::vector<char*> argp, envp;
        for (auto& a : args) argp.push_back(a.data());
        argp.push_back(nullptr);
        for (auto& e : env) envp.push_back(e.data());
        envp.push_back(nullptr);
        ::execve(argp[0], argp.data(), envp.data());
    });
}

void openPathToOtherUser(const std::string& folder) {
    std::filesystem::path p = folder;
    ::chmod(p.c_str(), 0755);
    for (p = p.parent_path(); !p.empty() && p != p.root_path(); p = p.parent_path()) {
        struct stat st {};
        if (::stat(p.c_str(), &st) == 0) ::chmod(p.c_str(), st.st_mode | S_IXOTH);
    }
}

}  // namespace ce::test
