#pragma once
// Empties the calling thread's message queue: every waiting message is translated and
// dispatched, so paint, input and notifications are handled while a long phase of the
// installation runs on the user-interface thread.

namespace installer {

// A quit request met on the way is put back and ends the emptying, so that the loop around
// the installation still sees it once the run is over.
void PumpMessages();

}  // namespace installer
