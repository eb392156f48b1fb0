// UpdateXan: the system updater. One instance at a time; the main page runs modally and the
// program ends when it closes.

#include "platform/core/process.h"
#include "updater/app/update_xan_app.h"

int main(int, char** argv) {
    if (ce::initProgram(argv[0]) != ce::ERROR_SUCCESS) return 1;
    return updater::RunUpdateXan();
}
