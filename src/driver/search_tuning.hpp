// The numbers that shape a run over a range: how it is cut into chunks for the threads
// and when the shared memo of trajectories is worth asking. Each was measured on a
// 2-core Zen 4, mostly over the range 1 to 1,000,000 with limits from 10 to 30,000.
#pragma once

#include <cstddef>
#include <cstdint>

namespace revadd::tuning {

// Cheap numbers cost ~0.1 us each: beyond this many per chunk the hand-out cost is lost
// in the noise, and a chunk's text (a few hundred KiB) still fits the caches.
inline constexpr std::int32_t max_chunk_numbers = 4096;

// A number that never forms a palindrome costs about limit^2 / 4 digit additions (its
// sums grow by ~0.42 digits a step); a chunk is sized so that even a chunk of such
// numbers takes well under a second and the console keeps moving.
inline constexpr std::uint64_t chunk_digit_work = std::uint64_t{1} << 32;

// Each thread gets at least this many chunks of a short range, so that a range of a few
// slow numbers is spread over all threads instead of landing on one.
inline constexpr std::int32_t min_chunks_per_thread = 8;

// Chunks handed out beyond the oldest unwritten one, per thread: one chunk of new
// trajectories that never close can cost as much as a thousand the memo already knows,
// and the other threads go on with those instead of waiting.
inline constexpr std::int32_t chunks_in_flight_per_thread = 1024;

// Finished text held back behind an unfinished chunk: the bound on memory whatever the
// range and however long its palindromes, large enough to cover the window above.
inline constexpr std::size_t text_in_flight_bytes = std::size_t{64} << 20;

// Report buffers kept for reuse, per thread, and the largest one kept: fresh buffers
// for every chunk would fault in new pages all the time.
inline constexpr std::size_t spare_reports_per_thread = 4;
inline constexpr std::size_t spare_report_max_bytes = std::size_t{4} << 20;

// Steps a number takes on its own before the memo is asked by its first sum: a third of
// the numbers below a million are settled within 2 steps, and beyond that one lookup
// costs less than the steps it saves (measured from 1 to 8 steps).
inline constexpr std::int32_t memo_from_step = 2;

// The step after which a number whose first sum was new asks again: the 1,202 distinct
// first sums below a million that form no palindrome in 1,000 steps have come down to
// 527 trajectories by then, which halves runs with limits of 10,000 steps and more.
inline constexpr std::int32_t memo_later_step = 20;

// Bytes the memo may hold, counted as below: the range 1 to 1,000,000 takes 1.3 MiB and
// 1 to 10,000,000 takes 11 MiB; beyond the cap numbers are simply searched in full.
inline constexpr std::size_t memo_budget_bytes = std::size_t{64} << 20;

// What an entry costs beyond its key and palindrome (hash node and bucket, string
// headers, allocator rounding), counted so that many short entries cannot overrun it.
inline constexpr std::size_t memo_entry_overhead_bytes = 160;

// Independent locks of the memo: two threads rarely ask the same one at once.
inline constexpr std::size_t memo_shards = 64;

}  // namespace revadd::tuning
