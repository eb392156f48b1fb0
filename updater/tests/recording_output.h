#pragma once
// An OsPageOutput that keeps what the phases showed, for checking status texts and progress.

#include <string>
#include <vector>

#include "updater/os_page/os_page_output.h"

namespace updater::testing {

class RecordingOutput : public OsPageOutput {
public:
    void ShowStatus(const std::string& text) override { statuses.push_back(text); }
    void SetProgress(int position) override { progress.push_back(position); }
    void ShowMessageBox(const std::string& text) override { messageBoxes.push_back(text); }

    std::vector<std::string> statuses;
    std::vector<int> progress;
    std::vector<std::string> messageBoxes;
};

}  // namespace updater::testing
