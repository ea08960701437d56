// Ctrl-C and SIGTERM during a search: the run stops at the next number, writes out every
// hit it has found and exits with 128 plus the signal number. A second signal ends the
// process at once.
#pragma once

#include <atomic>

namespace revadd {

// The signal that asked the run to stop, 0 while none has.
using StopFlag = std::atomic<int>;

// The process's flag, raised by the handlers below.
StopFlag& stop_signal();

// Installs the handlers for SIGINT and SIGTERM. Until then the signals keep their
// default action, which is right while nothing has been found.
void catch_stop_signals();

// "SIGINT", "SIGTERM", or "a signal" for any other.
const char* signal_name(int signal_number);

}  // namespace revadd
