#pragma once
// The desktop's window index (internal): the top-level windows of every process of the head
// unit in z-order, the owners of handle blocks, the foreground window, the pen capture, the
// window holding the pen down and the registered-message atoms.
//
// Two backends keep it: in this process's memory (a process outside a head unit), or in a file
// of the head unit's run/ folder that every process reads and rewrites under a lock. Entries of
// processes that have died are ignored when read and dropped at the next write, so a crashed
// program never leaves a window behind that others would wait for.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/types.h"

namespace ce {

struct IndexEntry {
    HWND hwnd = 0;
    int pid = 0;
    uint64_t start = 0;  // start time of the process, so a reused pid is not taken for it
    std::string program;
    std::string title;
    std::string className;
    Rect rect;
    bool visible = false;
    bool topmost = false;
};

struct HandleBlock {
    uint32_t base = 0;  // handles base .. base + HANDLE_BLOCK_SIZE - 1
    int pid = 0;
    uint64_t start = 0;
};

inline constexpr uint32_t HANDLE_BLOCK_SIZE = 256;
inline constexpr uint32_t FIRST_HANDLE_BLOCK = 0x10000;  // above HWND_BROADCAST and the HWND_* codes

struct IndexData {
    uint32_t nextBlock = FIRST_HANDLE_BLOCK;
    std::vector<HandleBlock> blocks;
    std::vector<IndexEntry> windows;  // z-order, front first; topmost windows before the others
    HWND foreground = 0;
    HWND capture = 0;
    HWND pen = 0;  // the window that took the injected pen down, until the pen is lifted
    std::map<std::string, UINT> atoms;  // upper-cased name -> id
    UINT nextAtom = REGISTERED_MESSAGE_FIRST;

    IndexEntry* find(HWND hwnd);
    const IndexEntry* find(HWND hwnd) const;
    int ownerPid(HWND hwnd) const;  // 0 when no live block holds it
    // Puts the window at the front of its band (topmost or normal).
    void insertFront(IndexEntry entry);
    void remove(HWND hwnd);
    // SetWindowPos's z-order part: HWND_TOP, HWND_BOTTOM, HWND_TOPMOST, HWND_NOTOPMOST or a window.
    void place(HWND hwnd, HWND insertAfter);
    // Drops what belongs to dead processes.
    void dropDead();
};

// True while the process lives and is the one that started at `start` (0: any).
bool processAlive(int pid, uint64_t start);
uint64_t processStartTime(int pid);
int currentPid();
uint64_t currentStartTime();

class WindowIndex {
public:
    virtual ~WindowIndex() = default;
    // A snapshot, without dead processes' entries.
    virtual IndexData read() = 0;
    // Applies a change atomically with respect to every other process.
    virtual void update(const std::function<void(IndexData&)>& change) = 0;
};

std::unique_ptr<WindowIndex> makePrivateIndex();
std::unique_ptr<WindowIndex> makeSharedIndex(const std::filesystem::path& folder);

}  // namespace ce
