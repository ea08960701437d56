// The chunks of a range finish in any order, on any thread, and are handed on strictly in
// range order, each as soon as it and all before it are done, one write at a time. The
// window holds the finished chunks that wait for an earlier one: a chunk starts only
// when its slot is free and the text held back is within bounds, so the memory a run
// takes does not grow with the range.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "range_search.hpp"
#include "report_format.hpp"

namespace revadd {

// The report of one chunk, made by the thread that searched it.
struct ChunkReport {
    std::string console;  // empty without a sign: the file's text then serves both
    std::string file;
    Tally tally;
    std::int64_t first{};         // index in the range of the chunk's first number
    std::int64_t searched_end{};  // index after the last number searched in full
};

class OrderedWindow {
    struct Slot {
        ChunkReport report;
        bool done = false;
    };

public:
    // The numbers of the range from the `first`-th on, in `chunks` >= 1 to hand out, at most
    // `slots` >= 1 of them started and not yet written; a chunk other than the oldest starts only
    // while the text held back is below `text_limit`. Once `stop` (when not null) is raised, no
    // chunk starts.
    OrderedWindow(std::int64_t first, std::int64_t chunks, std::size_t slots,
                  std::size_t text_limit, const std::atomic<int>* stop, ChunkWriter& writer);

    // Waits until the next chunk may start and returns it; -1 once every chunk has
    // started or the stop flag is raised.
    std::int64_t next_chunk();

    // Takes the report of a chunk from next_chunk(). The thread that finishes the oldest
    // chunk writes it, and whatever finished behind it, while others search on.
    void finish(std::int64_t chunk, ChunkReport&& report);

    bool stopping() const;

    static constexpr std::size_t slot_bytes = sizeof(Slot);

    // Once every thread is done: the chunks written, how far from the first number of the
    // range every number was searched and its hits written, and the tally of those hits.
    std::int64_t written() const { return written_; }
    const Tally& tally() const { return tally_; }
    std::int64_t searched_without_gap() const { return searched_without_gap_; }

private:
    Slot& slot_of(std::int64_t chunk);
    bool oldest_done();
    bool may_start_next() const;
    bool text_allows_start() const;
    void write_in_order(std::unique_lock<std::mutex>& lock);
    void write_oldest(std::unique_lock<std::mutex>& lock);

    const std::int64_t chunks_;
    const std::size_t text_limit_;
    const std::atomic<int>* const stop_;
    ChunkWriter& writer_;

    // All below is guarded by mutex_, but tally_ and searched_without_gap_, which only
    // the writer role touches.
    std::mutex mutex_;
    std::condition_variable slot_freed_;
    std::vector<Slot> slots_;  // chunk c waits in slot c % size
    std::int64_t next_ = 0;    // next chunk to start
    std::int64_t written_ = 0;
    bool writing_ = false;  // a thread holds the writer role
    Tally tally_;
    std::int64_t searched_without_gap_;
};

}  // namespace revadd
