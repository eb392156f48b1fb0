#pragma once
// Reading the caller's memory from an in-process driver, safely.
//
// Request records carry addresses of the caller's buffers. A driver must not crash the caller
// over a bad address (a pointer cut to 32 bits, a freed buffer): these reads go through the
// kernel (process_vm_readv on the own process), which reports an unmapped address as an error
// instead of faulting. Page data goes the same way through the host write (FlashWriter).

#include <cstdint>
#include <optional>
#include <string>

namespace sim {

// A NUL-terminated UTF-16 string at address, of at most maxChars characters; nothing when it
// cannot be read or has no terminator within the limit.
std::optional<std::u16string> readCallerString(uint64_t address, size_t maxChars);

}  // namespace sim
