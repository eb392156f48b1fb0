#include "installer/crc/verify.h"

#include <fmt/printf.h>

#include <algorithm>
#include <optional>
#include <string_view>
#include <vector>

#include "installer/crc/crc32.h"
#include "installer/crc/crc_list.h"
#include "installer/engine/install_paths.h"
#include "installer/engine/percent.h"
#include "platform/core/debug.h"
#include "platform/core/text.h"

namespace installer {
namespace {

void appendToLog(InstallRun& run, const std::string& message) {
    if (!run.m_pLogFile) return;
    std::vector<unsigned char> bytes;
    for (char16_t unit : ce::toUtf16(message)) {
        bytes.push_back(static_cast<unsigned char>(unit & 0xFF));
        bytes.push_back(static_cast<unsigned char>(unit >> 8));
    }
    uint32_t written = 0;
    const ce::Error error = run.m_pLogFile->write(bytes.data(), static_cast<uint32_t>(bytes.size()), &written);
    if (error != ce::ERROR_SUCCESS || written != bytes.size()) {
        ce::debugPrint("CRCLOG.TXT write failed (error %d)\r\n", error);
    }
}

// Where a listed file is read from: relative to the destination held open, unless the line
// climbs out of it with "..", which the path resolution of the whole device path settles.
class ListedFile {
public:
    ListedFile(const std::optional<ce::Folder>& root, std::string relative, std::string path)
        : root_(root), relative_(std::move(relative)), path_(std::move(path)) {}

    const std::string& path() const { return path_; }

    ce::Error crc(uint32_t* crc) const {
        return root_ && !climbs(relative_) ? FileCrc32(*root_, relative_, crc) : FileCrc32(path_, crc);
    }

private:
    static bool climbs(std::string_view relative) {
        size_t start = 0;
        while (start <= relative.size()) {
            const size_t end = std::min(relative.find_first_of("\\/", start), relative.size());
            if (relative.substr(start, end - start) == "..") return true;
            start = end + 1;
        }
        return false;
    }

    const std::optional<ce::Folder>& root_;
    std::string relative_;
    std::string path_;
};

// True when the listed file has the expected CRC, reading it a second time on a mismatch.
// On failure *error is the second reading's result.
bool fileMatches(const ListedFile& file, uint32_t expected, ce::Error* error) {
    uint32_t crc = 0;
    *error = file.crc(&crc);
    if (*error == ce::ERROR_SUCCESS && crc == expected) return true;
    *error = file.crc(&crc);
    if (*error != ce::ERROR_SUCCESS || crc != expected) return false;
    ce::debugPrint("!!!!%s %08X : %08X\r\n", file.path(), crc, expected);
    return true;
}

void showProgress(InstallRun& run) {
    ++run.m_nVerifiedCount;
    const int32_t percent = CountPercent(run.m_nVerifiedCount, run.m_nSourceFileTotal);
    if (percent == run.process.lastVerifyPercent) return;
    run.view.SetStatusText(fmt::sprintf("Verifying CRC32 : %d%%", percent));
    run.view.SetProgressPos(percent);
    run.process.lastVerifyPercent = percent;
}

bool anyChecksumList(const std::string& installerFolder) {
    const auto lists = ce::findFiles(JoinPath(installerFolder, "*.crc"));
    return lists && !lists->empty();
}

}  // namespace

int32_t VerifyCrcList(InstallRun& run, std::string_view listPath) {
    auto reader = ce::TextReader::open(listPath, ce::TextReader::Text);
    if (!reader) return 0;

    // The destination is resolved once for the whole list.
    std::optional<ce::Folder> root;
    if (auto opened = ce::Folder::open(run.m_strDestinationRoot)) root = std::move(opened).value();
    int32_t failures = 0;
    while (const auto line = (*reader)->readLine(kCrcLineBuffer)) {
        const auto checking = ParseCrcListLine(*line);
        if (!checking) continue;
        std::string relative = ce::ansiToUtf8(checking->relativePath);
        std::string path = JoinPath(run.m_strDestinationRoot, relative);
        const ListedFile file(root, std::move(relative), std::move(path));
        ce::Error error = ce::ERROR_SUCCESS;
        if (!fileMatches(file, checking->expected, &error)) {
            const std::string message = error == ce::ERROR_FILE_NOT_FOUND
                                            ? fmt::sprintf("%s file does not exist!\r\n", file.path())
                                            : fmt::sprintf("%s file failed in CRC comparing\r\n", file.path());
            appendToLog(run, message);
            ce::debugPrint("%s", message);
            ++failures;
        }
        showProgress(run);
    }
    return failures;
}

int32_t VerifyAll(InstallRun& run) {
    run.m_nCrcErrorCount = 0;
    if (UsedPairCount(run.m_Entries) == 0) {
        ce::debugPrint("ZEK_Update.ini gives no usable source/destination pair: nothing was installed\r\n");
        return 0;
    }
    if (!anyChecksumList(run.m_strInstallerFolder)) return -1;

    auto log = ce::File::open(kCrcLogPath, ce::GENERIC_WRITE, 0, ce::CREATE_ALWAYS);
    if (log) {
        run.m_pLogFile = std::move(log).value();
    } else {
        ce::debugPrint("CRCLOG.TXT cannot be created (error %d); failures go to the debug output only\r\n",
                       log.error());
    }

    int32_t result = 1;
    for (const InstallEntry& entry : run.m_Entries) {
        if (!entry.used) continue;
        run.m_strDestinationRoot = DestinationFolderOf(entry);
        const int32_t errors = VerifyCrcList(run, SourceFolderOf(run.m_strInstallerFolder, entry) + ".crc");
        if (errors > 0) {
            run.m_nCrcErrorCount += errors;
            result = 0;
        }
    }
    run.m_pLogFile.reset();
    return result;
}

}  // namespace installer
