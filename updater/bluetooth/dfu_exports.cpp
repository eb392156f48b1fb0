// The engine's exported functions over one module-level engine: the port, the start event,
// the worker thread, the BCSP link and the DFU state machine of the current attempt.

#include "updater/bluetooth/dfu_exports.h"

#include <atomic>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "platform/core/debug.h"
#include "platform/core/files.h"
#include "platform/core/text.h"
#include "platform/core/time.h"
#include "platform/devices/serial_port.h"
#include "updater/bluetooth/bcsp_link.h"
#include "updater/bluetooth/dfu_engine.h"
#include "updater/bluetooth/serial_line.h"

#define BT_EXPORT __attribute__((visibility("default")))

namespace bluetooth {

namespace {

struct EngineModule {
    std::string imagePath = kDefaultImagePath;
    std::unique_ptr<ce::SerialPort> port;
    std::unique_ptr<SerialLine> line;
    std::atomic<uint32_t> portOpen{0};
    std::atomic<bool> stopRequested{false};
    std::unique_ptr<ce::AutoResetEvent> startEvent;
    std::unique_ptr<BcspLink> link;
    std::unique_ptr<DfuEngine> engine;
    std::thread worker;
    std::atomic<int> workerResult{1};
    std::vector<ce::Dcb> lineSettings;  // given to the port since it was opened

    ~EngineModule() { stopWorker(); }

    // Ends the current worker, also one still waiting for its start.
    void stopWorker() {
        if (!worker.joinable()) return;
        stopRequested = true;
        if (startEvent) startEvent->set();
        worker.join();
        stopRequested = false;
    }

    void closePort() {
        portOpen = 0;
        line.reset();
        port.reset();
    }

    void workerMain() {
        startEvent->wait(ce::INFINITE);
        if (!engine) {
            workerResult = 0;
            return;
        }
        workerResult = engine->run([this] { return portOpen.load() != 0 && !stopRequested.load(); });
    }
};

EngineModule& module() {
    static EngineModule instance;
    return instance;
}

int threadNumber(const std::thread& thread) {
    return static_cast<int>(std::hash<std::thread::id>{}(thread.get_id()) & 0x7FFFFFFF);
}

}  // namespace

void SetDfuImagePath(const std::string& devicePath) { module().imagePath = devicePath; }
const std::string& DfuImagePath() { return module().imagePath; }

void StopDfuEngine() {
    EngineModule& m = module();
    m.stopWorker();
    m.engine.reset();
    m.link.reset();
    m.closePort();
}

DfuFigures CurrentDfuFigures() {
    EngineModule& m = module();
    DfuFigures figures;
    if (m.line) {
        figures.bytesWritten = m.line->bytesWritten();
        figures.bytesRead = m.line->bytesRead();
        figures.characterSeconds = m.line->characterSeconds();
    }
    if (m.engine) figures.delayedWaitMs = m.engine->delayedWaitMs();
    return figures;
}

int DfuWorkerResult() { return module().workerResult.load(); }

std::vector<ce::Dcb> DfuLineSettings() { return module().lineSettings; }

uint32_t DfuBlocksInImage() {
    EngineModule& m = module();
    return m.engine ? m.engine->blocksInImage() : 0;
}

}  // namespace bluetooth

using bluetooth::module;

extern "C" {

BT_EXPORT int open_port(const char16_t* portName) {
    auto& m = module();
    // An earlier attempt's worker still polls its port, which is held without sharing.
    bluetooth::StopDfuEngine();

    std::string name = portName ? ce::toUtf8(portName) : std::string();
    auto port = ce::SerialPort::open(name, ce::GENERIC_READ | ce::GENERIC_WRITE, 0);
    if (!port) {
        ce::consolePrint("Cannot open com port\n");
        return 0;
    }
    m.port = std::move(*port);
    m.portOpen = 1;
    m.lineSettings.clear();
    ce::CommTimeouts timeouts;
    timeouts.ReadIntervalTimeout = 0xFFFFFFFF;
    m.port->setTimeouts(timeouts);
    m.port->setupComm(16, 16);
    m.line = std::make_unique<bluetooth::SerialLine>(*m.port);
    return 1;
}

BT_EXPORT int setting_port(uint8_t parity, uint8_t stopBits) {
    auto& m = module();
    if (!m.port) return 0;
    ce::Dcb dcb;
    dcb.DCBlength = sizeof dcb;
    dcb.BaudRate = 115200;
    dcb.fBinary = false;
    dcb.fParity = true;
    dcb.fOutxCtsFlow = false;
    dcb.fOutxDsrFlow = false;
    dcb.fDtrControl = ce::DTR_CONTROL_DISABLE;
    dcb.fDsrSensitivity = false;
    dcb.fOutX = false;
    dcb.fInX = false;
    dcb.fRtsControl = 0;
    dcb.ByteSize = 8;
    dcb.Parity = parity;
    dcb.StopBits = stopBits;
    m.lineSettings.push_back(dcb);
    bool ok = m.port->setState(dcb) == ce::ERROR_SUCCESS;
    if (m.line) m.line->updateLineRate();
    return ok ? 1 : 0;
}

BT_EXPORT int write_dfu(void) {
    auto& m = module();
    if (!m.port) return 0;
    uint8_t command[25] = {0xEF, 0x07};
    uint32_t written = 0;
    m.port->write(command, sizeof command, &written);
    return static_cast<int>(written);
}

BT_EXPORT int read_dfu(uint8_t* buffer, int length) {
    auto& m = module();
    if (!m.port || buffer == nullptr || length <= 0) return 0;
    uint32_t got = 0;
    if (m.port->read(buffer, static_cast<uint32_t>(length), &got) != ce::ERROR_SUCCESS) return 0;
    return static_cast<int>(got);
}

BT_EXPORT int open_update(void) {
    auto& m = module();
    m.stopWorker();
    m.startEvent = std::make_unique<ce::AutoResetEvent>(false);
    ce::consolePrint("CreateEvent\n");
    if (m.line) {
        m.link = std::make_unique<bluetooth::BcspLink>(*m.line);
        m.engine = std::make_unique<bluetooth::DfuEngine>(*m.link, m.imagePath);
    } else {
        m.engine.reset();
        m.link.reset();
    }
    m.workerResult = 1;
    m.worker = std::thread([&m] { m.workerMain(); });
    ce::consolePrint("CreateThread[%d]\n", bluetooth::threadNumber(m.worker));
    return 1;
}

BT_EXPORT int start_update(void) {
    auto& m = module();
    if (!m.startEvent) return 0;
    m.startEvent->set();
    ce::consolePrint("SetEvent\n");
    return 1;
}

BT_EXPORT int get_fileinfo(void) {
    auto file = ce::File::open(module().imagePath, ce::GENERIC_READ, ce::FILE_SHARE_READ, ce::OPEN_EXISTING);
    auto size = file ? (*file)->size() : ce::Result<uint64_t>(ce::fail(ce::ERROR_FILE_NOT_FOUND));
    if (!size) {
        ce::consolePrint("error file exist??\n");
        return -1;
    }
    return static_cast<int>(*size / 1024 + 1);
}

BT_EXPORT int get_status(BtDfuStatus* status) {
    if (status == nullptr) return 0;
    auto& m = module();
    status->blocksSent = m.engine ? m.engine->blocksSent() : 0;
    status->reserved = 0;
    status->done = m.engine && m.engine->done() ? 1 : 0;
    return 0;
}

}  // extern "C"
