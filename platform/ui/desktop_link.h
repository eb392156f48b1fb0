#pragma once
// Message delivery between the processes of a head unit (internal): each process with windows
// listens on a Unix socket of its own, and a request to a process is one connection carrying
// one request frame and one reply frame.
//
// Socket names live in the abstract namespace and are derived from a hash of the head unit's
// folder and the pid ("hu-<hash>-<pid>"), so a head unit in a deep folder still fits the
// 108-byte limit of socket addresses, two head units never see each other's sockets, and a
// dead process's name disappears with it (a request to it fails at once).
//
// Abstract names are visible to every local user, so trust rests on the kernel's word about
// the peer (SO_PEERCRED), not on folder modes: a process answers only connections from its
// own user (or root), and a caller talks only to the process it meant (the pid it asked for)
// running as its own user or root. A refused connection gets ERROR_ACCESS_DENIED and leaves a
// debug line. The listener also bounds what one peer can hold: at most MAX_CONNECTIONS
// requests are served at once, MAX_CONNECTIONS_PER_PEER of them from one process; more are
// answered ERROR_BUSY at once, with a debug line, and a caller tries again until its deadline.

#include <cstdint>
#include <functional>
#include <string>

#include "platform/core/error.h"
#include "platform/ui/wire.h"

namespace ce {

class DesktopLink {
public:
    using Handler = std::function<Reply(const Request&)>;

    static constexpr int MAX_CONNECTIONS = 64;
    static constexpr int MAX_CONNECTIONS_PER_PEER = 16;

    explicit DesktopLink(std::string namePrefix) : prefix_(std::move(namePrefix)) {}

    // Starts answering requests (once per process); each request runs on a thread of its own,
    // so a slow answer never holds up the next request.
    bool listen(Handler handler);
    bool listening() const { return listening_; }

    // One request to a process. While waiting for the answer, `pump` is called whenever
    // `wakeFd` becomes readable (the caller's thread keeps handling messages sent to it).
    // ERROR_INVALID_HANDLE when the process does not listen (dead), ERROR_TIMEOUT when it did
    // not answer within timeoutMs, ERROR_ACCESS_DENIED when the socket belongs to someone else.
    Result<Reply> call(int pid, const Request& request, uint32_t timeoutMs, int wakeFd,
                       const std::function<void()>& pump);

    std::string socketName(int pid) const { return prefix_ + "-" + std::to_string(pid); }

private:
    std::string prefix_;
    bool listening_ = false;
};

}  // namespace ce
