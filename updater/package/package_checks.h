#pragma once
// Checks on the update package before and during an update: which images are present, the
// VR DB and panel package lists, and whether the head unit has a Bluetooth module at all.
// A missing file is never fatal here; it removes a step, hides a button or is reported by
// the caller.

#include "updater/versions/version_set.h"

namespace updater {

// Empties the installed version of every component whose image is missing from the package
// (the OS needs both "tcBoot.rom" and "nk.rom"), so that component cannot enter the update
// mask. Every test runs and logs its own line.
void CheckImagePresence(VersionSet& versions);

// The update mask limited to the steps whose images are present: the OS step needs
// "tcBoot.rom" and "nk.rom", the MCU step "MICOM.BIN", the Bluetooth step "BT.bin".
uint32_t MaskOfPresentImages(uint32_t mask);

bool VrdbPackagePresent();    // the VR DB folder exists
bool PanelPackagePresent();   // the panel installer folder exists
bool VrdbFilesComplete();     // all 18 entries of the VR DB package, tested in order
bool PanelFilesComplete();    // both entries of the panel package, tested in order

// Reads "SrcInfo" under FactoryInfo: bit 0x4 means a Bluetooth module is fitted. A missing
// key or value means none.
bool BluetoothModulePresent();

}  // namespace updater
