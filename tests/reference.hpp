// What the code under test must give, worked out the slow and obvious way, and checks
// of it shared by the unit tests and the fuzz targets: each check returns "" when the
// code agrees, or what differs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/reverse_add_kernel.hpp"
#include "search/range_search.hpp"

namespace revadd::tests {

// a + b for digit strings (leading zeros allowed, empty meaning 0), without leading
// zeros; zero is "0".
std::string decimal_sum(const std::string& a, const std::string& b);

// A run's report: every number of the range searched one after the other by the
// step-by-step record arithmetic, the text put together here, not by the tool.
struct Report {
    std::string console;  // after the prompts: the empty line, the hits, the summary
    std::string file;     // palin.txt
    std::string hits;     // palin.txt without the summary
    std::int32_t count = 0, high = 0, low = 10000;
};
Report reference_report(const std::string& start, std::int32_t range, std::int32_t iterations);

// The hit records of `text`, each with its number as palin.txt shows it (-1 if torn).
struct HitRecord {
    std::int64_t number;
    std::string text;
};
std::vector<HitRecord> records_of(const std::string& text);

// A run cut short must keep every hit of `truth` below `first_unsearched`, and may hold
// only true hits, in order, beyond it.
bool keeps_every_hit_before(const std::vector<HitRecord>& got, const std::vector<HitRecord>& truth,
                            std::int64_t first_unsearched);

// Every kernel the CPU runs, and the AVX-512 one on emulated intrinsics where the CPU
// lacks it and the build has them.
std::vector<const ReverseAddKernel*> kernels_to_check();

// The limbs of `digits` as the engine keeps them, from index kernel_guard on, with junk
// wherever a kernel may read and must not depend, but the zero limb below the first.
std::vector<std::uint8_t> guarded_limbs(const std::string& digits);

// Every kernel's sum of limbs [begin, end) of `digits` plus its reversal, with `carry`
// coming in, and of a whole sum also teams of threads sharing it, against limbs worked
// out from the text; nothing outside may be written, and the palindrome test of the
// digits must hold.
std::string check_kernels(const std::string& digits, std::size_t begin, std::size_t end, unsigned carry);

// The range searched with `options` against the reference: hits, text and tally.
std::string check_range(const std::string& start, std::int32_t count, std::int32_t limit, RunOptions options);

}  // namespace revadd::tests
