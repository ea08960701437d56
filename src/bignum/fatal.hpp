// Every failure of the number layer ends the process with a fixed message.
#pragma once

#include <mutex>

namespace revadd {

// Flushes standard output first, so that a combined capture of both streams reads in
// the order things happened, then writes `message` to standard error, flushes every
// other open stream and ends the process with status 1. Safe to call from any thread:
// it waits for a write made under output_lock() to finish, and no other thread writes
// under that lock again.
[[noreturn]] void fatal(const char* message);

// A function that fatal() calls, with the output lock held, before anything it writes:
// the program's chance to take back what it has drawn on the terminal (a status line),
// which this layer knows nothing of. One at a time; nullptr removes it.
void set_before_fatal_message(void (*hook)());

// Held while text that must arrive whole (a hit record, a batch of them) is written, so
// that an error ending the process on another thread cannot cut it short. Recursive,
// so that a failure on the writing thread itself still ends the process.
[[nodiscard]] std::unique_lock<std::recursive_mutex> output_lock();

// Memory a run can do without (an entry of the memo, a buffer kept for reuse, one more
// thread): while one of these lives on a thread, an allocation there that fails throws
// std::bad_alloc, for the code around it to go on without; anywhere else the failure
// ends the process with "revadd: out of memory".
class AllocationMayFail {
public:
    AllocationMayFail() { ++depth_; }
    ~AllocationMayFail() { --depth_; }
    AllocationMayFail(const AllocationMayFail&) = delete;
    AllocationMayFail& operator=(const AllocationMayFail&) = delete;
    static bool active() { return depth_ > 0; }

private:
    static thread_local int depth_;
};

// What operator new does when memory runs out: the handler the program installs.
void on_allocation_failure();

}  // namespace revadd
