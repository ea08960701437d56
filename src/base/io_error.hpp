// Why a write failed, named the same on every system, so that a message about it reads
// the same wherever the run was.
#pragma once

namespace revadd {

// The errno of a write to a stream that has just failed, given the one the C library set
// (`reported`, never 0): the same, except where the C library lost the reason the system
// gave (Windows names a pipe whose reader has gone "Invalid argument"; it is EPIPE).
int write_error(int reported);

}  // namespace revadd
