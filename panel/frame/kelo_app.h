#pragma once
// CKelo_ZEKApp: the panel program from its start to its end. One instance only; the main
// frame is created hidden, shown once by the framework at an empty rectangle, and the
// message loop runs until the main window is destroyed (a WM_CLOSE after BM_NOTIFY_DESTROY,
// or from the system). The image store lives as long as the program.

#include "panel/images/image_store.h"

namespace panel {

class CKelo_ZEKApp {
public:
    // The program's exit code.
    int Run();

private:
    void ExitInstance();

    CImageStore m_ImageStore;
};

}  // namespace panel
