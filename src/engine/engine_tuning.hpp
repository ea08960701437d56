// Tuning constants of the engine, each with the reason for its value.
#pragma once

#include <chrono>
#include <cstddef>

namespace revadd {

// These values trade speed and memory; none changes what a run writes, so no test can
// tell one from another (the benchmark can).

// Below this many limbs a step is never shared: the hand-over between cores costs more
// than half a step on any machine measured. Above it, the team measures which is faster.
inline constexpr std::size_t team_split_limbs = 8192;

// Limbs a vector kernel sums on its fast path between two checks that it was exact: a
// block that was not (300,000 steps of 196 never meet one) is summed again.
inline constexpr std::size_t kernel_check_limbs = 4096;

// Limbs a kernel sums at most in one call of its many-step entry (the steps of a number
// of m limbs in runs of this / m): a run takes some tens of microseconds, so the stop
// flag and the progress count between runs are as good as every step, and the call costs
// nothing next to it.
inline constexpr std::size_t kernel_run_limbs = std::size_t{1} << 20;

// How long, and over how many steps at least, each way of stepping is timed when the team
// looks again: enough that a step held up now and then does not count, little enough
// that the slower way costs little.
inline constexpr std::chrono::microseconds team_probe_window{500};
inline constexpr std::size_t team_probe_steps = 16;

// How long the team steps the way it chose before it looks again: the number grows and
// the machine's load changes, but slowly next to this.
inline constexpr std::chrono::milliseconds team_probe_every{50};

// Sharing keeps a second CPU busy; it is chosen only when it is at least this much faster.
inline constexpr double team_share_gain = 1.1;

// How long a waiting thread polls before it sleeps: a few microseconds, or while steps
// are shared twice the gap between two of them, up to the most below; far shorter than
// a scheduler's time slice either way.
inline constexpr std::chrono::microseconds team_spin_time{5};
inline constexpr std::chrono::microseconds team_spin_most{200};

}  // namespace revadd
