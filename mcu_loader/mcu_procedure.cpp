#include "mcu_loader/mcu_procedure.h"

#include <array>
#include <cstring>
#include <memory>

#include "mcu_loader/mcu_frames.h"
#include "mcu_loader/mcu_link.h"
#include "mcu_loader/mcu_protocol.h"
#include "platform/core/debug.h"
#include "platform/core/files.h"
#include "platform/core/text.h"

namespace mculoader {

McuSignature g_McuSignature;

namespace {

constexpr uint8_t kFail = 10;           // a connect sub-step or the erase failed
constexpr uint8_t kConnectFail = 9;     // the connect phase failed
constexpr uint8_t kFileFail = 1;        // the image cannot be opened
constexpr int kRetransferBudget = 5;    // missing acknowledgements tolerated per pass
constexpr uint32_t kFinalProgress = 240;

// 00 00 00 and the last address: the range of the blank check, programming and verify.
std::array<uint8_t, 6> WholeRange() {
    uint32_t last = g_McuSignature.lastAddress;
    return {0, 0, 0, static_cast<uint8_t>(last >> 16), static_cast<uint8_t>(last >> 8), static_cast<uint8_t>(last)};
}

std::unique_ptr<ce::File> OpenImage() {
    auto file = ce::File::open(Link().firmwarePath, ce::GENERIC_READ, ce::FILE_SHARE_WRITE, ce::OPEN_EXISTING);
    if (!file) {
        ce::debugPrint("ERROR : CreateFile Failed\r\n");
        return nullptr;
    }
    return std::move(file.value());
}

// True when the image can be opened and holds at least one byte. An empty file is no
// firmware: programming it would leave the MCU with a zeroed flash and report success.
bool ImageHoldsFirmware() {
    auto file = OpenImage();
    if (!file) return false;
    auto size = file->size();
    if (!size || *size == 0) {
        ce::debugPrint("ERROR : the image is empty, nothing to program\r\n");
        return false;
    }
    return true;
}

// Sends the image block by block after the transfer command (programming or verify). Each
// block must be acknowledged; a missing acknowledgement sends the block again while the
// pass's budget lasts, a block refused in ST2 fails at once. Returns 0 or the status code.
uint8_t TransferImage(ce::File& file, uint8_t command) {
    auto range = WholeRange();
    SendCommandFrame(command, range.size(), range.data());
    StatusResult accepted = WaitStatusFrame(ACK, 30);
    if (!accepted.matched) return accepted.st1;

    int budget = kRetransferBudget;
    const uint32_t blocks = WriteBlockCount(g_McuSignature.lastAddress);
    uint8_t block[kBlockSize];
    for (uint32_t i = 0; i < blocks; ++i) {
        std::memset(block, 0, sizeof block);
        uint32_t read = 0;
        file.read(block, sizeof block, &read);  // a short image leaves the rest zero
        for (;;) {
            SendDataFrame(kBlockSize, block, i == blocks - 1);
            WaitTransmitDone(10);
            StatusResult status = WaitStatusFrame(ACK, 50);
            if (!status.matched) {
                if (budget == 0) {
                    ce::debugPrint("FAIL!\r\n");
                    return status.st1;
                }
                --budget;
                ce::debugPrint("Re-Transfer! \r\n");
                continue;
            }
            if (status.st2 != ACK) {
                ce::debugPrint("FAIL!\r\n");
                return status.st2;
            }
            break;
        }
        if (i % 24 == 0) ce::debugPrint("00 ");
        Link().progress.store(i);
    }
    Link().progress.store(kFinalProgress);
    return 0;
}

}  // namespace

uint8_t MResetCmdIssue(int retries) {
    for (;;) {
        SendCommandFrame(CMD_RESET, 0, nullptr);
        if (WaitStatusFrame(ACK, 50).matched) return 0;
        if (retries == 0) return kFail;
        ce::debugPrint("## MResetCmdIssue() : Retry!!\r\n");
        --retries;
    }
}

uint8_t MSyncDetect_Process() {
    SendSyncByte();
    ce::sleep(2);
    SendSyncByte();
    return MResetCmdIssue(16);
}

uint8_t MOsc_Freq_Setting() {
    switch (Link().chip) {
        case 0: {
            const uint8_t frequency[] = {0x01, 0x00, 0x00, 0x05};
            SendCommandFrame(CMD_OSC_FREQUENCY_SET, sizeof frequency, frequency);
            // The MCU's answer comes at the old rate while the host moves to the new one; it
            // is thrown away with whatever arrived garbled during the switch.
            WaitTransmitDone(1);
            ce::sleep(8);
            bool switched = SetHostBaudRate(115200);
            ce::sleep(1000);
            ClearReceiveBuffer();
            return switched ? 0 : kFail;
        }
        case 1: {
            const uint8_t frequency[] = {0x05, 0x00, 0x00, 0x04};
            SendCommandFrame(CMD_OSC_FREQUENCY_SET, sizeof frequency, frequency);
            return WaitStatusFrame(ACK, 300).matched ? 0 : kFail;
        }
        default:
            return kFail;
    }
}

uint8_t MBaudRate_Setting() {
    if (Link().chip != 1) return 0;
    const uint8_t rate[] = {0x08};
    SendCommandFrame(CMD_BAUD_RATE_SET, sizeof rate, rate);
    ce::sleep(100);
    if (!SetHostBaudRate(153600)) return kFail;
    ce::sleep(50);
    // The MCU acknowledged the rate command at the old rate, before it switched: that status
    // is not the answer to the reset below and must not be taken for it.
    ClearReceiveBuffer();
    return MResetCmdIssue(16);
}

uint8_t MSiliconSignatureCmd() {
    SendCommandFrame(CMD_SILICON_SIGNATURE, 0, nullptr);
    ce::sleep(10);
    StatusResult accepted = WaitStatusFrame(ACK, 100);
    if (!accepted.matched) {
        ce::debugPrint("MSiliconSignatureCmd_WAIT_MORE_1 %d TIMEOUT [%d]\n", 1000, ce::WAIT_TIMEOUT);
        return 1;
    }
    auto data = WaitAnyFrame(5000);
    if (!data) {
        ce::debugPrint("MSiliconSignatureCmd WAIT_MORE_2 %d Timeout return !! [%x] \n", 5000, ce::WAIT_TIMEOUT);
        return 1;
    }
    std::string bytes;
    for (uint8_t b : accepted.frame) bytes += fmt::sprintf("%x ", b);
    for (uint8_t b : *data) bytes += fmt::sprintf("%x ", b);
    ce::debugPrint("%s", bytes);
    ClearReceiveBuffer();

    const uint8_t* d = data->data() + 2;
    size_t count = (*data)[1];
    if (count < 1 || (d[0] & 0x7F) != kVendorCode) return 1;
    auto signature = ParseSignature(Link().chip, d, count);
    if (!signature) {
        ce::debugPrint("MSiliconSignatureCmd : signature too short [%d] \n", count);
        return 1;
    }
    g_McuSignature = *signature;
    ce::debugPrint("$ DEVICE : %s, $ LAST ADD : %x \r\n", ce::toUtf8(g_McuSignature.deviceName),
                   g_McuSignature.lastAddress);
    return 0;
}

uint8_t MConnectProcess() {
    Link().progress.store(0);
    ce::sleep(200);
    if (MSyncDetect_Process() != 0) {
        ce::debugPrint("- Fail : MSyncDetect_Process() \r\n");
        return kConnectFail;
    }
    ce::sleep(10);
    if (MOsc_Freq_Setting() != 0) {
        ce::debugPrint("- Fail : MOsc_Freq_Setting() \r\n");
        return kConnectFail;
    }
    ce::sleep(10);
    if (MBaudRate_Setting() != 0) {
        ce::debugPrint("- Fail : MBaudRate_Setting() \r\n");
        return kConnectFail;
    }
    ce::sleep(10);
    if (MSiliconSignatureCmd() != 0) {
        ce::debugPrint("- Fail : MSiliconSignatureCmd() \r\n");
        return kConnectFail;
    }
    ce::sleep(10);
    return 0;
}

uint8_t MBlankCheckCmd() {
    switch (Link().chip) {
        case 1:
            for (uint32_t block = 0; block < g_McuSignature.blockCount; ++block) {
                ce::debugPrint("$ Blank Check Block %d : ", block);
                const uint8_t number = static_cast<uint8_t>(block);
                SendCommandFrame(CMD_BLANK_CHECK, 1, &number);
                ce::sleep(10);
                StatusResult status = WaitStatusFrame(ACK, 30);
                if (!status.matched) {
                    ce::debugPrint("Not Blank. Erase is needed.\r\n");
                    return status.st1;
                }
                ce::debugPrint("OK.. \r\n");
            }
            ce::debugPrint("OK! Erase skiped. \r\n");
            return 0;
        case 0: {
            ce::debugPrint("$ Blank Check Block : ");
            auto range = WholeRange();
            SendCommandFrame(CMD_BLANK_CHECK, range.size(), range.data());
            ce::sleep(10);
            StatusResult status = WaitStatusFrame(ACK, 100);
            if (!status.matched) {
                ce::debugPrint("Not Blank. Erase is needed.\r\n");
                return status.st1;
            }
            ce::debugPrint("OK.. \r\n");
            return 0;
        }
        default:
            return 0;
    }
}

uint8_t MChipEraseProcess() {
    // Without an image there is nothing to write: fail before the flash is touched.
    if (!ImageHoldsFirmware()) return kFileFail;
    if (MBlankCheckCmd() == 0) return 0;
    ce::debugPrint("$ Erase : ");
    ce::sleep(100);
    SendCommandFrame(CMD_CHIP_ERASE, 0, nullptr);
    for (int wait = 0; wait < 20; ++wait) {
        if (WaitStatusFrame(ACK, 100).matched) {
            ce::debugPrint("OK!");
            return 0;
        }
        ce::debugPrint("%x ", CMD_CHIP_ERASE);
        ClearReceiveBuffer();
    }
    return MBlankCheckCmd() == 0 ? 0 : kFail;
}

uint8_t MWriteProcess() {
    ce::sleep(10);
    ce::debugPrint("\r\n$ Write : ");
    auto file = OpenImage();
    if (!file) return kFileFail;
    if (uint8_t code = TransferImage(*file, CMD_PROGRAMMING); code != 0) return code;
    ce::debugPrint("OK!\r\n");
    ce::debugPrint("$ Internal Verify : ");
    StatusResult verified = WaitStatusFrame(ACK, 200);
    if (!verified.matched) return verified.st1;
    ce::debugPrint("OK!\r\n");
    return 0;
}

uint8_t MVerifyProcess() {
    ce::sleep(10);
    ce::debugPrint("$ Verify : ");
    auto file = OpenImage();
    if (!file) return kFileFail;
    if (uint8_t code = TransferImage(*file, CMD_VERIFY); code != 0) return code;
    ce::debugPrint("OK!\r\n");
    return 0;
}

}  // namespace mculoader
