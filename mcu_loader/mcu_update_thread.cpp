// The update thread: the whole programming of the MCU in its fixed order, reported through
// "MICOM_UPDATE".

#include "mcu_loader/mcu_link.h"
#include "mcu_loader/mcu_procedure.h"
#include "platform/core/debug.h"

namespace mculoader {

namespace {

enum : ce::WPARAM {
    kPhaseConnect = 0x8000,
    kPhaseErase = 0x8001,
    kPhaseWrite = 0x8002,
    kPhaseVerify = 0x8003,
    kPhaseDone = 0x8004,
    kEndSuccess = 0x4000,
    kEndFailure = 0x4001,
};

const char* const kRule = "=================================================\r\n";

// The last report of a run: from here on a new start may begin.
void End(ce::WPARAM result) {
    Link().running.store(false);
    BroadcastMicomUpdate(result);
}

}  // namespace

void UpdateThread() {
    Link().session->updateStart.wait(ce::INFINITE);
    ce::debugPrint("%s", kRule);
    BroadcastMicomUpdate(kPhaseConnect);

    struct Step {
        ce::WPARAM phase;  // broadcast before the step (0: none)
        uint8_t (*run)();
    };
    const Step steps[] = {
        {0, MConnectProcess},
        {kPhaseErase, MChipEraseProcess},
        {kPhaseWrite, MWriteProcess},
        {kPhaseVerify, MVerifyProcess},
    };
    for (const Step& step : steps) {
        if (step.phase) BroadcastMicomUpdate(step.phase);
        if (uint8_t code = step.run(); code != 0) {
            ce::debugPrint("??? Error code : %x \r\n", code);
            ce::debugPrint("$$ End of Update Process : Fail! \r\n");
            ClosePortAfterFailure();
            End(kEndFailure);
            return;
        }
    }
    BroadcastMicomUpdate(kPhaseDone);
    ce::debugPrint("$$ End of Update Process : Success! \r\n");
    ce::debugPrint("%s", kRule);
    End(kEndSuccess);
}

}  // namespace mculoader
