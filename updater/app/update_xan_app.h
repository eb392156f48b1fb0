#pragma once
// The program UpdateXan as a whole: single-instance start-up, then the main page.

namespace updater {

// Returns the process exit code. A second instance brings the running updater to the front
// and ends at once with 0.
int RunUpdateXan();

}  // namespace updater
