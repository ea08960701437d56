// The fatal path: a failure the run cannot go on from ends the process with one fixed
// message, never with a record cut in two on the console or in the file.
#pragma once

#include <mutex>

namespace revadd {

// Takes the status line off the terminal for good and flushes standard output, so that
// a combined capture of both streams reads in the order things happened, then writes
// `message` to standard error, flushes every other open stream and ends the process with
// status 1. Safe to call from any thread: it waits for a write made under output_lock()
// to finish, and no other thread writes under that lock again.
[[noreturn]] void fatal(const char* message);

// Held while text that must arrive whole (a hit record, a batch of them) is written, so
// that an error ending the process on another thread cannot cut it short. Recursive,
// so that a failure on the writing thread itself still ends the process.
[[nodiscard]] std::unique_lock<std::recursive_mutex> output_lock();

}  // namespace revadd
