#include "platform/core/debug.h"
#include "platform/core/text.h"
#include "updater/nand/nand_driver.h"
#include "updater/os_page/nand_phases.h"
#include "updater/package/package_paths.h"

namespace updater {

bool WriteBootloader(OsPageOutput& output, Language language, std::string& filePath) {
    output.ShowStatus(ByLanguage(language, "쓰기... [Bootloader]", "Прописка... [Bootloader]", "Write... [Bootloader]"));
    output.SetProgress(0);

    NandDriver driver = NandDriver::Open();
    if (!driver.IsOpen()) output.ShowStatus("[ERROR] Cannot Open NAND Driver...");

    filePath = paths::kBootloaderImage;
    ce::debugPrint("### m_FilePath : %s \n", filePath);

    // Four bytes per character, zero-filled: the zeros after the path terminate it.
    const std::u16string path = ce::toUtf16(filePath);
    auto pathBuffer = ce::DeviceBuffer::allocate(path.size() * 4);
    if (pathBuffer) {
        for (size_t i = 0; i < path.size(); ++i) {
            pathBuffer->data()[2 * i] = static_cast<uint8_t>(path[i]);
            pathBuffer->data()[2 * i + 1] = static_cast<uint8_t>(path[i] >> 8);
        }
    }

    const bool ok = pathBuffer && driver.WriteBootloader(*pathBuffer);
    if (ok) {
        output.ShowStatus(ByLanguage(language, "성공... [BOOTLOADER]", "Завершено... [BOOTLOADER]", "Success... [BOOTLOADER]"));
    } else {
        output.ShowStatus(ByLanguage(language, "실패... [BOOTLOADER]", "Ошибка... [BOOTLOADER]", "Fail... [BOOTLOADER]"));
    }
    output.SetProgress(100);
    return ok;
}

}  // namespace updater
