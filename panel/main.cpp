// Kelo_ZEK: the guidance panel beside the navigation program.
#include "panel/config/zek_config.h"
#include "panel/frame/kelo_app.h"
#include "platform/core/debug.h"
#include "platform/core/process.h"

int main(int, char** argv) {
    if (ce::initProgram(argv[0]) != ce::ERROR_SUCCESS) return 1;
    ce::setProgramName("Kelo_ZEK");  // log/Kelo_ZEK.log, also when installed as Kelo_ZEK.exe
    panel::InitConfig();
    panel::CKelo_ZEKApp app;
    return app.Run();
}
