#pragma once
// Windows error codes, the currency of every failure in the platform layer.
//
// The programs were written against an OS that reports failures as these numbers, and their
// logic depends on the exact values (a delete that fails with 2 is skipped silently, 32 is
// retried). The platform therefore returns the same numbers, never exceptions.

#include <cstdint>
#include <utility>
#include <variant>

namespace ce {

using Error = uint32_t;

enum : Error {
    ERROR_SUCCESS = 0,
    ERROR_FILE_NOT_FOUND = 2,
    ERROR_PATH_NOT_FOUND = 3,
    ERROR_ACCESS_DENIED = 5,
    ERROR_INVALID_HANDLE = 6,
    ERROR_NOT_ENOUGH_MEMORY = 8,
    ERROR_INVALID_DATA = 13,
    ERROR_NO_MORE_FILES = 18,
    ERROR_WRITE_FAULT = 29,
    ERROR_READ_FAULT = 30,
    ERROR_GEN_FAILURE = 31,
    ERROR_SHARING_VIOLATION = 32,
    ERROR_HANDLE_EOF = 38,
    ERROR_NOT_SUPPORTED = 50,
    ERROR_DEV_NOT_EXIST = 55,
    ERROR_FILE_EXISTS = 80,
    ERROR_INVALID_PARAMETER = 87,
    ERROR_DISK_FULL = 112,
    ERROR_INSUFFICIENT_BUFFER = 122,
    ERROR_INVALID_NAME = 123,
    ERROR_DIR_NOT_EMPTY = 145,
    ERROR_BUSY = 170,
    ERROR_BAD_PATHNAME = 161,
    ERROR_ALREADY_EXISTS = 183,
    ERROR_BAD_EXE_FORMAT = 193,
    ERROR_FILE_TOO_LARGE = 223,
    ERROR_MORE_DATA = 234,
    ERROR_DIRECTORY = 267,
    ERROR_NO_UNICODE_TRANSLATION = 1113,
    ERROR_REQUEST_ABORTED = 1235,
    ERROR_NOT_ENOUGH_QUOTA = 1816,
    ERROR_CANT_ACCESS_FILE = 1920,  // a symbolic link, FIFO or device where a file was expected
    ERROR_TIMEOUT = 1460,
};

// Maps a POSIX errno to the nearest Windows error code (ENOENT -> 2, EACCES -> 5, ...).
Error errorFromErrno(int err);

// The failure side of a Result, kept apart from Error so that Result<uint32_t> stays
// unambiguous: `return ce::fail(ce::ERROR_FILE_NOT_FOUND);`.
struct Failure {
    Error code;
};
inline Failure fail(Error code) { return Failure{code}; }

// A value or a Windows error code. Small on purpose: the platform's calls either give their
// result or say why not, and callers branch on the number.
template <class T>
class Result {
public:
    Result(T value) : v_(std::move(value)) {}
    Result(Failure failure) : v_(failure) {}

    bool ok() const { return v_.index() == 0; }
    explicit operator bool() const { return ok(); }
    Error error() const { return ok() ? ERROR_SUCCESS : std::get<1>(v_).code; }

    T& value() & { return std::get<0>(v_); }
    const T& value() const& { return std::get<0>(v_); }
    T&& value() && { return std::get<0>(std::move(v_)); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }

    T valueOr(T fallback) const { return ok() ? std::get<0>(v_) : std::move(fallback); }

private:
    std::variant<T, Failure> v_;
};

}  // namespace ce
