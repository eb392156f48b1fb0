#pragma once
// The update procedure's steps, run in order by the update thread: connect (synchronise, set
// the oscillator frequency and, on chip 1, the baud rate, read the signature), blank check and
// erase, write with internal verify, verify. Each returns 0 on success or a non-zero code
// that goes to the log.

#include <cstdint>

#include "mcu_loader/mcu_signature.h"

namespace mculoader {

extern McuSignature g_McuSignature;

uint8_t MResetCmdIssue(int retries);
uint8_t MSyncDetect_Process();
uint8_t MOsc_Freq_Setting();
uint8_t MBaudRate_Setting();
uint8_t MSiliconSignatureCmd();
uint8_t MConnectProcess();
uint8_t MBlankCheckCmd();
uint8_t MChipEraseProcess();
uint8_t MWriteProcess();
uint8_t MVerifyProcess();

// The update thread's body: waits for the start signal, runs the steps with their broadcasts.
void UpdateThread();

}  // namespace mculoader
