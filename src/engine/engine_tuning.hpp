// Tuning constants of the engine, each with the reason for its value.
#pragma once

#include <chrono>
#include <cstddef>

namespace revadd {

// A step is shared between threads from this many limbs on: below it the hand-over
// between cores costs more than the half step it saves (measured by the benchmark).
inline constexpr std::size_t team_split_limbs = 32768;

// Limbs a vector kernel sums on its fast path between two checks that it was exact: a
// block that was not (300,000 steps of 196 never meet one) is summed again.
inline constexpr std::size_t kernel_check_limbs = 4096;

// Polls the caller waits, beyond one per two limbs of the number, for the other members
// to finish before it sums their untouched segments itself.
inline constexpr std::size_t team_patience_polls = 2000;

// How long a waiting team member polls before it sleeps: far longer than the steps it
// waits between, far shorter than anything a user would notice.
inline constexpr std::chrono::microseconds team_spin_time{200};

}  // namespace revadd
