// ZEK_Update: installs the guidance panel's package from the folder it is started from.
#include "installer/dialog/installer_app.h"
#include "platform/core/process.h"

int main(int, char** argv) {
    if (ce::initProgram(argv[0]) != ce::ERROR_SUCCESS) return 1;
    installer::CInstallerApp app;
    return app.Run();
}
