#pragma once
// The fixed series of GPIO writes on port 2 that restarts the head unit. The board resets
// partway through on real hardware; on the simulated board the series is recorded in order.

namespace updater {

void RunRestartSequence();

}  // namespace updater
