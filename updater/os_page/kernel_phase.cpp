#include <algorithm>
#include <vector>

#include "platform/core/debug.h"
#include "platform/core/files.h"
#include "updater/nand/kernel_checksum.h"
#include "updater/nand/nand_driver.h"
#include "updater/os_page/nand_phases.h"
#include "updater/package/package_paths.h"

namespace updater {

namespace {

constexpr uint32_t kKernelBlockSize = 4096;                                // one request
constexpr uint32_t kSectorsPerBlock = kKernelBlockSize / kNandSectorSize;  // 8
constexpr uint32_t kFirstKernelSector = 8;                                 // sectors 0-7 stay untouched

// Reads up to size bytes; a short read at the end of the file leaves the rest as it was.
bool ReadChunk(ce::File& file, uint8_t* buffer, uint32_t size) {
    uint32_t got = 0;
    return file.read(buffer, size, &got) == ce::ERROR_SUCCESS;
}

bool ChecksumMatches(ce::File& file, uint32_t length) {
    std::vector<uint8_t> head(std::min<uint32_t>(length, kKernelChecksumSpan));
    uint32_t got = 0;
    if (file.read(head.data(), static_cast<uint32_t>(head.size()), &got) != ce::ERROR_SUCCESS) got = 0;
    head.resize(got);
    const uint32_t crc = KernelChecksum(head);
    const auto stored = StoredKernelChecksum(head);
    if (stored && *stored == crc) return true;
    ce::debugPrint("[ERROR] CRC Check is Failed... length = 0x%lx, CRC = 0x%lx", length, crc);
    return false;
}

// Writes the image from its start in 4096-byte requests, eight sectors each.
bool WritePages(OsPageOutput& output, Language language, NandDriver& driver, ce::File& file, uint32_t length) {
    output.ShowStatus(ByLanguage(language, "쓰기... [OS]", "Прописка... [OS]", "Write... [OS]"));
    const uint32_t blocks = length / kKernelBlockSize + (length % kKernelBlockSize ? 1 : 0);
    auto buffer = ce::DeviceBuffer::allocate(kKernelBlockSize);  // zero-filled once
    if (!buffer || !ReadChunk(file, buffer->data(), kKernelBlockSize)) return false;

    int progress = 0;
    for (uint32_t i = 0; i < blocks; ++i) {
        if (IsProgressStep(i, blocks)) output.SetProgress(++progress);
        const uint32_t sector = kFirstKernelSector + kSectorsPerBlock * i;
        if (!driver.WritePages(sector, kSectorsPerBlock, *buffer)) {
            ce::debugPrint("Nand_HDWritePage Error : pageaddr:%x, buf:%x\n", sector, buffer->address32());
            return false;
        }
        // A read error would write stale bytes as kernel: stop instead.
        if (!ReadChunk(file, buffer->data(), kKernelBlockSize)) {
            ce::debugPrint("[ERROR] Kernel file read error : pageaddr:%x\n", sector + kSectorsPerBlock);
            return false;
        }
    }
    output.SetProgress(100);
    return true;
}

}  // namespace

bool WriteKernel(OsPageOutput& output, Language language, std::string& filePath) {
    output.ShowStatus(ByLanguage(language, "쓰기... [KERNEL]", "Write... [KERNEL]", "Write... [KERNEL]"));
    output.SetProgress(0);

    NandDriver driver = NandDriver::Open();
    if (!driver.IsOpen()) output.ShowStatus("[ERROR] Cannot Open NAND Driver...");
    filePath = paths::kKernelImage;
    ce::debugPrint("### m_FilePath : %s \n", filePath);

    bool ok = false;
    auto file = ce::File::open(filePath, ce::GENERIC_READ, ce::FILE_SHARE_READ, ce::OPEN_EXISTING);
    auto size = file ? (*file)->size() : ce::Result<uint64_t>(ce::fail(file.error()));
    if (!size) {
        // Without the image there is nothing to check or write; a blank buffer would even pass
        // the checksum (all zeros) and be written as the kernel.
        ce::debugPrint("[ERROR] Cannot open kernel file %s : %d\n", filePath, size.error());
    } else {
        const auto length = static_cast<uint32_t>(*size);  // the low 32 bits
        output.ShowStatus("Verify... [KERNEL]");
        if (ChecksumMatches(**file, length) && (*file)->seek(0, ce::FILE_BEGIN)) {
            ok = WritePages(output, language, driver, **file, length);
        }
    }
    output.ShowStatus(ok ? ByLanguage(language, "성공... [KERNEL]", "Завершено... [KERNEL]", "Success... [KERNEL]")
                         : ByLanguage(language, "실패... [KERNEL]", "Ошибка... [KERNEL]", "Fail... [KERNEL]"));
    return ok;
}

}  // namespace updater
