#include "fatal.hpp"

#include <cstdio>

#include "platform.hpp"
#include "terminal.hpp"

namespace revadd {
namespace {

std::recursive_mutex& output_mutex() {
    static std::recursive_mutex mutex;
    return mutex;
}

}  // namespace

std::unique_lock<std::recursive_mutex> output_lock() {
    return std::unique_lock<std::recursive_mutex>(output_mutex());
}

void fatal(const char* message) {
    // Taken for good: writers elsewhere finish the record they are on, then wait. A
    // second failure on another thread waits here until the process is gone.
    output_mutex().lock();
    terminal::close_line();
    std::fflush(stdout);
    std::fputs(message, stderr);
    std::fflush(nullptr);
    // Not exit(): the other threads are still running, and the destructors of static
    // objects they may be using must not run under them.
    platform::exit_now(1);
}

}  // namespace revadd
