// Every failure of the number layer ends the process with a fixed message.
#pragma once

namespace revadd {

// Flushes standard output first, so that a combined capture of both streams reads in
// the order things happened, then writes `message` to standard error and exits with
// status 1. The process exit flushes and closes every other open stream.
[[noreturn]] void fatal(const char* message);

}  // namespace revadd
