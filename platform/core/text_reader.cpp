// Line reading as the device's C library does it (fgets over a file opened "r" or "rb").

#include "platform/core/files.h"

namespace ce {

namespace {

constexpr uint32_t kChunk = 4096;

}  // namespace

TextReader::~TextReader() = default;

Result<std::unique_ptr<TextReader>> TextReader::open(std::string_view path, Mode mode) {
    auto file = File::open(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
    if (!file) return fail(file.error());
    std::unique_ptr<TextReader> reader(new TextReader());
    reader->file_ = std::move(file).value();
    reader->mode_ = mode;
    return reader;
}

std::optional<std::string> TextReader::readLine(size_t bufferSize) {
    // Makes at least `want` unread bytes available unless the file ends first.
    auto fill = [this](size_t want) {
        while (!eof_ && pending_.size() - pos_ < want) {
            pending_.erase(0, pos_);
            pos_ = 0;
            size_t had = pending_.size();
            pending_.resize(had + kChunk);
            uint32_t got = 0;
            Error e = file_->read(pending_.data() + had, kChunk, &got);
            pending_.resize(had + got);
            if (e != ERROR_SUCCESS || got == 0) eof_ = true;
        }
        return pending_.size() - pos_ >= want;
    };

    if (bufferSize < 2) return std::nullopt;
    std::string line;
    while (line.size() < bufferSize - 1 && fill(1)) {
        char c = pending_[pos_++];
        if (mode_ == Text && c == '\r' && fill(1) && pending_[pos_] == '\n') c = pending_[pos_++];
        line += c;
        if (c == '\n') break;
    }
    if (line.empty()) return std::nullopt;
    return line;
}

}  // namespace ce
