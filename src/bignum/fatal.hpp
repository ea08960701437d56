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

}  // namespace revadd
