#pragma once
// Settings of the simulated Bluetooth module: from the head unit's headunit.json
// ("sim": {"bluetooth": {...}}) and from the command line, the latter winning.
//
//   --port NAME            serial port the module sits behind (default "COM2:")
//   --dfu-mode             start in DFU mode instead of the application
//   --transfer-size N      transfer size in the function descriptor (default 1024)
//   --busy-ms N            answer dfuDNBUSY with this poll time-out after each block
//   --busy-last            ... only after a short (last) block
//   --lenient-busy         hold a request that comes while busy until the block is written,
//                          instead of stalling it and going to dfuERROR
//   --manifest-ms N        report dfuMANIFEST for N ms after the final download
//   --error-at-block N     go to dfuERROR when block N arrives
//   --corrupt-every N      change a byte in every Nth reliable packet sent (first copy)
//   --drop-every N         do not send every Nth reliable packet the first time
//   --bad-crc-every N      send every Nth reliable packet first with a wrong CRC
//   --out-of-sequence-every N  send every Nth reliable packet first with a wrong SEQ
//   --lose-every N         lose every Nth reliable packet from the host
//   --no-link              never complete link establishment
//   --retransmit-ms N      retransmission time-out (default 250)
//   --restart-ms N         time the module takes to restart after a reset (default 50)
//   --paced                carry bytes at the line rate in both directions
//
// The JSON keys are the option names in camel case ("transferSize", "dfuMode", "paced").

#include <filesystem>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "sim/bluetooth/bcsp_peer.h"
#include "sim/bluetooth/dfu_device.h"

namespace sim::bluetooth {

struct ModuleOptions {
    std::filesystem::path root;     // the head unit folder
    std::string port = "COM2:";
    DfuSettings dfu;
    PeerFaults faults;
    PeerTiming timing;
    uint32_t restartMs = 50;
    bool paced = false;
};

// Reads headunit.json of `root`, then the command-line options. On failure `error` says why.
bool LoadModuleOptions(const std::filesystem::path& root, const std::vector<std::string>& args, ModuleOptions& options,
                       std::string& error);

// Applies one JSON section ({"transferSize": 2048, ...}).
bool ApplyModuleJson(const nlohmann::json& section, ModuleOptions& options, std::string& error);

// Applies command-line options.
bool ApplyModuleArgs(const std::vector<std::string>& args, ModuleOptions& options, std::string& error);

// The host path of the module's serial line: the profile's "serial" entry for the port.
std::filesystem::path ModuleLinkPath(const ModuleOptions& options);

extern const char* const kModuleOptionsHelp;

}  // namespace sim::bluetooth
