#include "fatal.hpp"

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <new>

namespace revadd {
namespace {

std::recursive_mutex& output_mutex() {
    static std::recursive_mutex mutex;
    return mutex;
}

std::atomic<void (*)()> before_message{nullptr};

}  // namespace

void set_before_fatal_message(void (*hook)()) { before_message.store(hook); }

std::unique_lock<std::recursive_mutex> output_lock() {
    return std::unique_lock<std::recursive_mutex>(output_mutex());
}

thread_local int AllocationMayFail::depth_ = 0;

void on_allocation_failure() {
    if (AllocationMayFail::active()) throw std::bad_alloc();
    fatal("revadd: out of memory\n");
}

void fatal(const char* message) {
    // Taken for good: writers elsewhere finish the record they are on, then wait. A
    // second failure on another thread waits here until the process is gone.
    output_mutex().lock();
    if (void (*hook)() = before_message.load()) hook();
    std::fflush(stdout);
    std::fputs(message, stderr);
    std::fflush(nullptr);
    // Not exit(): the other threads are still running, and the destructors of static
    // objects they may be using must not run under them.
    _exit(1);
}

}  // namespace revadd
