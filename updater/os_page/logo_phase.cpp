#include "platform/core/debug.h"
#include "platform/core/files.h"
#include "updater/nand/nand_driver.h"
#include "updater/os_page/nand_phases.h"

namespace updater {

namespace {

const char* LogoFailText(Language language) {
    return ByLanguage(language, "실패... [LOGO]", "Ошибка... [LOGO]", "Fail... [LOGO]");
}

// Reads the next page into the buffer; a short read leaves the rest of the buffer as it was.
bool ReadPage(ce::File& file, ce::DeviceBuffer& buffer) {
    uint32_t got = 0;
    return file.read(buffer.data(), kNandHiddenPageSize, &got) == ce::ERROR_SUCCESS;
}

}  // namespace

bool WriteLogo(OsPageOutput& output, Language language, const std::string& logoPath) {
    if (logoPath.empty() || !ce::pathExists(logoPath)) return true;

    NandDriver driver = NandDriver::Open();
    if (!driver.IsOpen()) output.ShowStatus("[ERROR] Cannot Open NAND Driver...");
    output.ShowStatus(ByLanguage(language, "쓰기... [LOGO]", "Прописка... [LOGO]", "Write... [LOGO]"));
    output.SetProgress(0);

    // A logo that cannot be opened writes nothing: a blank buffer is not a logo.
    auto file = ce::File::open(logoPath, ce::GENERIC_READ, ce::FILE_SHARE_READ, ce::OPEN_EXISTING);
    auto size = file ? (*file)->size() : ce::Result<uint64_t>(ce::fail(file.error()));
    auto buffer = ce::DeviceBuffer::allocate(kNandHiddenPageSize);
    if (!size || !buffer || !ReadPage(**file, *buffer)) {
        output.ShowStatus(LogoFailText(language));
        output.SetProgress(100);
        return false;
    }

    const auto length = static_cast<uint32_t>(*size);
    const uint32_t pages = length / kNandHiddenPageSize + (length % kNandHiddenPageSize ? 1 : 0);
    int progress = 0;
    bool ok = true;
    for (uint32_t i = 0; i < pages; ++i) {
        if (IsProgressStep(i, pages)) output.SetProgress(++progress);
        if (!driver.WriteHiddenPages(i + 1, 1, *buffer)) {
            ce::debugPrint("[ERROR] Multi Hidden Area Write Error : PageAddr:%x, Buffer:%x", i,
                           buffer->address32());
            ok = false;
            break;
        }
        if (!ReadPage(**file, *buffer)) {
            ce::debugPrint("[ERROR] Logo file read error : PageAddr:%x\n", i + 1);
            ok = false;
            break;
        }
    }
    output.ShowStatus(ok ? ByLanguage(language, "성공... [LOGO]", "Завершено... [LOGO]", "Success... [LOGO]")
                         : LogoFailText(language));
    output.SetProgress(100);
    return ok;
}

}  // namespace updater
