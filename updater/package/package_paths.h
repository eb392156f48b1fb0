#pragma once
// Where the update package lies on the SD card and where its parts go on the NAND volume.
// Every part of the updater takes its paths from here.

namespace updater::paths {

inline constexpr const char* kPackageRoot = "\\SDMMC Card\\UpdateXan";

inline constexpr const char* kOsVersionFile = "\\SDMMC Card\\UpdateXan\\OSVer.bin";
inline constexpr const char* kMcuVersionFile = "\\SDMMC Card\\UpdateXan\\MicomVer.bin";
inline constexpr const char* kBluetoothVersionFile = "\\SDMMC Card\\UpdateXan\\BTVer.bin";

inline constexpr const char* kBootloaderImage = "\\SDMMC Card\\UpdateXan\\tcBoot.rom";
inline constexpr const char* kKernelImage = "\\SDMMC Card\\UpdateXan\\nk.rom";
inline constexpr const char* kMcuImage = "\\SDMMC Card\\UpdateXan\\MICOM.BIN";
inline constexpr const char* kBluetoothImage = "\\SDMMC Card\\UpdateXan\\BT.bin";

inline constexpr const char* kOptionFolder = "\\SDMMC Card\\UpdateXan\\OPTION";
inline constexpr const char* kSflashSourceFolder = "\\SDMMC Card\\UpdateXan\\SFLASH";

inline constexpr const char* kVrdbFolder = "\\SDMMC Card\\UpdateXan\\VRDB_Update";
inline constexpr const char* kVrdbInstaller = "\\SDMMC Card\\UpdateXan\\VRDB_Update\\VRDB_Update.exe";
inline constexpr const char* kPanelFolder = "\\SDMMC Card\\UpdateXan\\ZEK_Update";
inline constexpr const char* kPanelInstaller = "\\SDMMC Card\\UpdateXan\\ZEK_Update\\ZEK_Update.exe";

// Targets on the NAND volume.
inline constexpr const char* kNandRoot = "\\NAND Flash\\";
inline constexpr const char* kSflashTargetFolder = "\\NAND Flash\\SFLASH";
// The option file lands in the root of the NAND volume. The path has always been written
// without its leading backslash; the device has no current folder, so it means this path.
inline constexpr const char* kOptionTarget = "\\NAND Flash\\PimConfig.ORV";

}  // namespace updater::paths
