#include "stop_signal.hpp"

#include <csignal>

#include "platform.hpp"
#include "terminal.hpp"

namespace revadd {
namespace {

StopFlag flag{0};
static_assert(StopFlag::is_always_lock_free, "the flag is written from a signal handler");

extern "C" void on_stop_signal(int signal_number) {
    int expected = 0;
    if (!flag.compare_exchange_strong(expected, signal_number)) {
        terminal::erase_line_before_exit();
        platform::exit_now(128 + signal_number);
    }
}

}  // namespace

StopFlag& stop_signal() { return flag; }

void catch_stop_signals() { platform::catch_stop_requests(on_stop_signal); }

const char* signal_name(int signal_number) {
    switch (signal_number) {
        case SIGINT: return "SIGINT";
        case SIGTERM: return "SIGTERM";
#ifdef SIGBREAK
        case SIGBREAK: return "SIGBREAK";
#endif
        default: return "a signal";
    }
}

}  // namespace revadd
