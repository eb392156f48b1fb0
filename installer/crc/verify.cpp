#include "installer/crc/verify.h"

#include <fmt/printf.h>

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

// True when the file at path has the expected CRC, reading it a second time on a mismatch.
// On failure *error is the second reading's result.
bool fileMatches(const std::string& path, uint32_t expected, ce::Error* error) {
    uint32_t crc = 0;
    *error = FileCrc32(path, &crc);
    if (*error == ce::ERROR_SUCCESS && crc == expected) return true;
    *error = FileCrc32(path, &crc);
    if (*error != ce::ERROR_SUCCESS || crc != expected) return false;
    ce::debugPrint("!!!!%s %08X : %08X\r\n", path, crc, expected);
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

    int32_t failures = 0;
    while (const auto line = (*reader)->readLine(kCrcLineBuffer)) {
        const auto checking = ParseCrcListLine(*line);
        if (!checking) continue;
        const std::string path = JoinPath(run.m_strDestinationRoot, ce::ansiToUtf8(checking->relativePath));
        ce::Error error = ce::ERROR_SUCCESS;
        if (!fileMatches(path, checking->expected, &error)) {
            const std::string message = error == ce::ERROR_FILE_NOT_FOUND
                                            ? fmt::sprintf("%s file does not exist!\r\n", path)
                                            : fmt::sprintf("%s file failed in CRC comparing\r\n", path);
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
