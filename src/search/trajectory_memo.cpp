#include "trajectory_memo.hpp"

#include <new>

#include "base/heap.hpp"

namespace revadd {

// Keys of the two kinds never share a shard: the same digits may be both a first sum and
// a later one, with different outcomes.
TrajectoryMemo::Shard& TrajectoryMemo::shard_of(MemoKey kind, std::string_view key) const {
    return shards_[static_cast<std::size_t>(kind) * tuning::memo_shards + shard_in_kind(key)];
}

// The top bits pick the shard; the map inside uses the low ones for its buckets. Any
// shard would hold the entry as well, only with more waiting.
std::size_t TrajectoryMemo::shard_in_kind(std::string_view key) {
    return (Hash{}(key) >> 40) % tuning::memo_shards;
}

bool TrajectoryMemo::reserve(std::size_t bytes) {
    std::size_t used = used_.load(std::memory_order_relaxed);
    do {
        if (bytes > budget_ - used) return false;  // used never passes the budget
    } while (!used_.compare_exchange_weak(used, used + bytes, std::memory_order_relaxed));
    return true;
}

const MemoEntry* TrajectoryMemo::find(MemoKey kind, std::string_view sum) const {
    const Shard& shard = shard_of(kind, sum);
    const std::lock_guard lock(shard.mutex);
    const auto it = shard.entries.find(sum);
    return it == shard.entries.end() ? nullptr : &it->second;
}

bool TrajectoryMemo::insert(MemoKey kind, std::string_view sum, std::int32_t steps,
                            std::string_view palindrome) {
    const std::size_t cost = sum.size() + palindrome.size() + tuning::memo_entry_overhead_bytes;
    if (!reserve(cost)) return false;
    Shard& shard = shard_of(kind, sum);
    bool stored = false;
    try {
        const AllocationMayFail optional;
        const std::lock_guard lock(shard.mutex);
        // Two threads may have worked out the same trajectory; the first one keeps it.
        if (shard.entries.find(sum) == shard.entries.end()) {
            shard.entries.emplace(std::string(sum), MemoEntry{steps, std::string(palindrome)});
            stored = true;
        }
    } catch (const std::bad_alloc&) {
        // Out of memory before the budget: the memo stays as it is and takes no more.
        used_.store(budget_, std::memory_order_relaxed);
        return false;
    }
    if (!stored) used_.fetch_sub(cost, std::memory_order_relaxed);
    return stored;
}

}  // namespace revadd
