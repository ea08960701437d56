// What the threads of a run have learnt about trajectories, keyed by a number's first
// sum: every number whose first sum is the same goes on the same way from there, to the
// same palindrome in the same number of steps, or to none within the run's limit.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

#include "search_tuning.hpp"

namespace revadd {

struct MemoEntry {
    std::int32_t steps = 0;  // counted from the number tested; 0: no palindrome in the limit
    std::string palindrome;  // empty when steps is 0
};

// Shared by the threads of one run, whose numbers all have the same step limit: that is
// what makes a remembered "none within the limit" final. Entries are never changed or
// removed, so a found entry stays valid, unlocked, for the life of the memo.
class TrajectoryMemo {
public:
    explicit TrajectoryMemo(std::size_t budget_bytes = tuning::memo_budget_bytes)
        : budget_(budget_bytes) {}
    TrajectoryMemo(const TrajectoryMemo&) = delete;
    TrajectoryMemo& operator=(const TrajectoryMemo&) = delete;

    const MemoEntry* find(std::string_view first_sum) const;

    // Remembers an outcome unless the budget would be exceeded or the key is known
    // already; true when it was stored.
    bool insert(std::string_view first_sum, std::int32_t steps, std::string_view palindrome);

    // Counted against the budget: key and palindrome bytes plus a fixed cost per entry.
    std::size_t bytes_used() const { return used_.load(std::memory_order_relaxed); }
    std::size_t size() const;

private:
    struct Hash {
        using is_transparent = void;
        std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
    };
    struct Shard {
        mutable std::mutex mutex;
        std::unordered_map<std::string, MemoEntry, Hash, std::equal_to<>> entries;
    };

    Shard& shard_of(std::string_view key) const;
    bool reserve(std::size_t bytes);

    const std::size_t budget_;
    std::atomic<std::size_t> used_{0};
    mutable std::array<Shard, tuning::memo_shards> shards_;
};

}  // namespace revadd
