#include "trajectory_memo.hpp"

namespace revadd {

TrajectoryMemo::Shard& TrajectoryMemo::shard_of(std::string_view key) const {
    // The top bits pick the shard; the map inside uses the low ones for its buckets.
    const std::size_t h = Hash{}(key);
    return shards_[(h >> 40) % shards_.size()];
}

bool TrajectoryMemo::reserve(std::size_t bytes) {
    std::size_t used = used_.load(std::memory_order_relaxed);
    do {
        if (used > budget_ || bytes > budget_ - used) return false;
    } while (!used_.compare_exchange_weak(used, used + bytes, std::memory_order_relaxed));
    return true;
}

const MemoEntry* TrajectoryMemo::find(std::string_view first_sum) const {
    const Shard& shard = shard_of(first_sum);
    const std::lock_guard lock(shard.mutex);
    const auto it = shard.entries.find(first_sum);
    return it == shard.entries.end() ? nullptr : &it->second;
}

bool TrajectoryMemo::insert(std::string_view first_sum, std::int32_t steps,
                            std::string_view palindrome) {
    const std::size_t cost =
        first_sum.size() + palindrome.size() + tuning::memo_entry_overhead_bytes;
    if (!reserve(cost)) return false;
    Shard& shard = shard_of(first_sum);
    bool stored = false;
    {
        const std::lock_guard lock(shard.mutex);
        // Two threads may have worked out the same trajectory; the first one keeps it.
        if (shard.entries.find(first_sum) == shard.entries.end()) {
            shard.entries.emplace(std::string(first_sum), MemoEntry{steps, std::string(palindrome)});
            stored = true;
        }
    }
    if (!stored) used_.fetch_sub(cost, std::memory_order_relaxed);
    return stored;
}

std::size_t TrajectoryMemo::size() const {
    std::size_t total = 0;
    for (const Shard& shard : shards_) {
        const std::lock_guard lock(shard.mutex);
        total += shard.entries.size();
    }
    return total;
}

}  // namespace revadd
