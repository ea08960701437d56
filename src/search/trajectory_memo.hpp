// What the threads of a run have learnt about trajectories, keyed by a sum a number
// reaches after a fixed number of steps: every number that reaches the same sum after
// the same number of steps goes on the same way from there, to the same palindrome in
// the same number of steps, or to none within the run's limit.
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

// After which step the sum used as a key was taken: the first sum, or the sum a few
// steps later, where trajectories that started apart have often met.
enum class MemoKey : unsigned char { first_sum, later_sum };

struct MemoEntry {
    std::int32_t steps{};    // counted from the number tested; 0: no palindrome in the limit
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

    const MemoEntry* find(MemoKey kind, std::string_view sum) const;

    // Remembers an outcome unless the budget would be exceeded or the key is known
    // already; true when it was stored.
    bool insert(MemoKey kind, std::string_view sum, std::int32_t steps,
                std::string_view palindrome);

private:
    struct Hash {
        using is_transparent = void;
        std::size_t operator()(std::string_view s) const {
            return std::hash<std::string_view>{}(s);
        }
    };
    struct Shard {
        mutable std::mutex mutex;
        std::unordered_map<std::string, MemoEntry, Hash, std::equal_to<>> entries;
    };

    Shard& shard_of(MemoKey kind, std::string_view key) const;
    static std::size_t shard_in_kind(std::string_view key);
    bool reserve(std::size_t bytes);

    const std::size_t budget_;
    std::atomic<std::size_t> used_{0};
    // The shards of the first-sum keys, then those of the later ones.
    mutable std::array<Shard, 2 * tuning::memo_shards> shards_;
};

}  // namespace revadd
