#include "stop_signal.hpp"

#include <unistd.h>

#include <csignal>

#include "terminal.hpp"

namespace revadd {
namespace {

StopFlag flag{0};
static_assert(StopFlag::is_always_lock_free, "the flag is written from a signal handler");

extern "C" void on_stop_signal(int signal_number) {
    int expected = 0;
    if (!flag.compare_exchange_strong(expected, signal_number)) {
        terminal::erase_line_before_exit();
        _exit(128 + signal_number);
    }
}

}  // namespace

StopFlag& stop_signal() { return flag; }

void catch_stop_signals() {
    struct sigaction action {};
    action.sa_handler = on_stop_signal;
    sigemptyset(&action.sa_mask);
    // Restarted, so that a write under way when the signal comes completes.
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

const char* signal_name(int signal_number) {
    switch (signal_number) {
        case SIGINT: return "SIGINT";
        case SIGTERM: return "SIGTERM";
        default: return "a signal";
    }
}

}  // namespace revadd
