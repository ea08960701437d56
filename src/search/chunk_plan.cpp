#include "chunk_plan.hpp"

#include <algorithm>
#include <cassert>

#include "search_tuning.hpp"

namespace revadd {
namespace {

// As many numbers as a chunk may hold: fewer the costlier a number can be, and few enough
// that every thread gets several chunks of a short range.
std::int64_t chosen_numbers(std::int32_t count, std::int32_t iterations, unsigned threads) {
    const auto limit = static_cast<std::uint64_t>(iterations);
    const std::uint64_t by_work = tuning::chunk_digit_work / (limit * limit);
    const std::uint64_t by_spread =
        static_cast<std::uint64_t>(count) /
        (std::uint64_t{threads} * static_cast<std::uint64_t>(tuning::min_chunks_per_thread));
    const std::uint64_t most =
        std::min({by_work, by_spread, static_cast<std::uint64_t>(tuning::max_chunk_numbers)});
    return static_cast<std::int64_t>(std::max<std::uint64_t>(most, 1));
}

}  // namespace

ChunkPlan::ChunkPlan(std::int32_t count, std::int32_t iterations, unsigned threads,
                     std::int32_t asked)
    : count_(count),
      numbers_(asked > 0 ? asked : chosen_numbers(count, iterations, threads)),
      chunks_((count_ + numbers_ - 1) / numbers_) {
    assert(count >= 1 && iterations >= 1 && threads >= 1);
}

std::int64_t ChunkPlan::end(std::int64_t chunk) const {
    return std::min(first(chunk) + numbers_, count_);
}

}  // namespace revadd
