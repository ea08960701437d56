// The numbers that shape a run over a range: how it is cut into chunks for the threads
// and when the shared memo of trajectories is worth asking. Measured on a 2-core Zen 4,
// mostly over the range 1 to 1,000,000 with limits from 10 to 30,000 steps.
#pragma once

#include <cstddef>
#include <cstdint>

namespace revadd::tuning {

// These values trade speed and memory; none changes what a run writes, so no test can
// tell one from another (the benchmark can).

// Cheap numbers cost ~0.1 us each: more per chunk saves nothing on the hand-out.
inline constexpr std::int32_t max_chunk_numbers = 4096;

// A number that never closes costs ~limit^2/4 digit additions; a chunk stays well below 1 s.
inline constexpr std::uint64_t chunk_digit_work = std::uint64_t{1} << 32;

// A short range still gives every thread several chunks, so a few slow numbers spread out.
inline constexpr std::int32_t min_chunks_per_thread = 8;

// One chunk of new trajectories can cost as much as a thousand the memo knows: don't wait.
inline constexpr std::int32_t chunks_in_flight_per_thread = 1024;

// The memo, the text held back and the window of chunks each take at most this part of
// the memory the process may still use: together well under all of it.
inline constexpr std::size_t room_share = 4;

// Finished text held back behind an unfinished chunk: bounds memory whatever the range.
inline constexpr std::size_t text_in_flight_bytes = std::size_t{64} << 20;

// The memo makes a run faster, never different.
inline constexpr bool use_memo = true;

// Below a million a third settle within 2 steps; past that a lookup beats stepping on (1-8 tried).
inline constexpr std::int32_t memo_from_step = 2;

// By step 20 the 1,202 open first sums below a million are 527 trajectories: deep runs halve.
inline constexpr std::int32_t memo_later_step = 20;

// 1 to 1,000,000 takes 1.3 MiB and 1 to 10,000,000 11 MiB; past the cap numbers run in full.
inline constexpr std::size_t memo_budget_bytes = std::size_t{64} << 20;

// Hash node, bucket, string headers and allocator rounding of an entry, beyond its text.
inline constexpr std::size_t memo_entry_overhead_bytes = 160;

// With one lock two threads run no faster than one; 64 let them (0.12 s to 0.064 s).
inline constexpr std::size_t memo_shards = 64;

// A number searched alone asks its keeper whether to hand over its point this often: at
// ten million digits these steps take well under a second, at a thousand a few microseconds.
inline constexpr std::int32_t steps_between_points = 2048;

}  // namespace revadd::tuning
