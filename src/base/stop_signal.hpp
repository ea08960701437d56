// Ctrl-C and SIGTERM during a search: the run stops at the next number, writes out every
// hit it has found and exits with 128 plus the signal number. A second signal ends the
// process at once. Windows has no SIGTERM: there Ctrl-C (SIGINT, 130) and Ctrl-Break
// (SIGBREAK, as its C runtime numbers it: 149) come through the console's control handler.
#pragma once

#include <atomic>

namespace revadd {

// The signal that asked the run to stop, 0 while none has.
using StopFlag = std::atomic<int>;

// The process's flag, raised by the handlers below.
StopFlag& stop_signal();

// Installs the handlers for SIGINT and SIGTERM (Ctrl-C and Ctrl-Break on Windows). Until
// then they keep their default action, which is right while nothing has been found.
void catch_stop_signals();

// "SIGINT", "SIGTERM", "SIGBREAK" (Windows), or "a signal" for any other.
const char* signal_name(int signal_number);

}  // namespace revadd
