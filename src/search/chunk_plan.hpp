// Which numbers of a range each chunk holds. The threads of a run take chunks as they
// become free, and the report is handed on chunk by chunk, so the chunk is the unit of
// both the sharing out and the ordering.
#pragma once

#include <cstdint>

namespace revadd {

class ChunkPlan {
public:
    // A range of `count` >= 1 numbers, each stepped at most `iterations` >= 1 times, on
    // `threads` >= 1 threads; `asked` > 0 fixes the numbers per chunk, 0 leaves them to
    // the plan.
    ChunkPlan(std::int32_t count, std::int32_t iterations, unsigned threads, std::int32_t asked);

    std::int64_t numbers() const { return numbers_; }  // per chunk, the last may hold fewer
    std::int64_t chunks() const { return chunks_; }

    // Chunk c holds the numbers first(c) to end(c) - 1, counted from the first of the range.
    std::int64_t first(std::int64_t chunk) const { return chunk * numbers_; }
    std::int64_t end(std::int64_t chunk) const;

private:
    std::int64_t count_;
    std::int64_t numbers_;
    std::int64_t chunks_;
};

}  // namespace revadd
