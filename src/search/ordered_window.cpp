#include "ordered_window.hpp"

#include <cassert>

namespace revadd {

OrderedWindow::OrderedWindow(std::int64_t first, std::int64_t chunks, std::size_t slots,
                             std::size_t text_limit, const std::atomic<int>* stop,
                             ChunkWriter& writer)
    : chunks_(chunks),
      text_limit_(text_limit),
      stop_(stop),
      writer_(writer),
      slots_(slots),
      searched_without_gap_(first) {
    assert(chunks >= 1 && slots >= 1);
}

bool OrderedWindow::stopping() const {
    return stop_ != nullptr && stop_->load(std::memory_order_relaxed) != 0;
}

std::int64_t OrderedWindow::next_chunk() {
    std::unique_lock lock(mutex_);
    const auto nothing_left = [this] { return next_ == chunks_ || stopping(); };
    slot_freed_.wait(lock, [&] { return nothing_left() || may_start_next(); });
    return nothing_left() ? -1 : next_++;
}

void OrderedWindow::finish(std::int64_t chunk, ChunkReport&& report) {
    std::unique_lock lock(mutex_);
    Slot& slot = slot_of(chunk);
    slot.report = std::move(report);
    slot.done = true;
    // A chunk that finishes while someone writes is left to them: a second writer would
    // overlap the first.
    if (chunk == written_ && !writing_) write_in_order(lock);
}

OrderedWindow::Slot& OrderedWindow::slot_of(std::int64_t chunk) {
    return slots_[static_cast<std::size_t>(chunk) % slots_.size()];
}

// Once every chunk is written, the slot after the last is not done either.
bool OrderedWindow::oldest_done() { return slot_of(written_).done; }

// The next chunk takes the slot of the chunk a window behind it, which must be written.
bool OrderedWindow::may_start_next() const {
    return next_ - written_ < static_cast<std::int64_t>(slots_.size()) && text_allows_start();
}

// The oldest chunk may always start: whatever waits is behind it, so nothing could ever be
// written without it. Any other waits while the finished text held back is over the limit;
// counted here rather than kept up to date, which costs a look at the window once a chunk.
bool OrderedWindow::text_allows_start() const {
    std::size_t held = 0;
    for (std::int64_t c = written_; c < next_ && held < text_limit_; ++c) {
        const Slot& slot = slots_[static_cast<std::size_t>(c) % slots_.size()];
        if (slot.done) held += slot.report.console.size() + slot.report.file.size();
    }
    return held < text_limit_ || next_ == written_;
}

namespace {

// Runs `f` with the lock let go: what the writer role does outside the window.
template <class F>
void unlocked(std::unique_lock<std::mutex>& lock, F&& f) {
    lock.unlock();
    f();
    lock.lock();
}

}  // namespace

// The writer role is given up only under the lock and while the oldest chunk is not done,
// so that whoever finishes it next finds the role free and takes it. The writer catches up
// once it has written all it can; whatever finished meanwhile is written next.
void OrderedWindow::write_in_order(std::unique_lock<std::mutex>& lock) {
    writing_ = true;
    while (oldest_done()) {
        write_oldest(lock);
        if (!oldest_done() && written_ < chunks_) unlocked(lock, [this] { writer_.caught_up(); });
    }
    writing_ = false;
}

void OrderedWindow::write_oldest(std::unique_lock<std::mutex>& lock) {
    // No chunk takes the slot before written_ moves on.
    Slot& slot = slot_of(written_);
    const ChunkReport report = std::move(slot.report);
    unlocked(lock, [&] {
        writer_.write(report.console.empty() ? report.file : report.console, report.file);
        // After a chunk cut short by a stop, the hits of later chunks are written but not
        // counted: the tally is of the numbers searched without a gap.
        if (searched_without_gap_ != report.first) return;
        tally_.add(report.tally);
        searched_without_gap_ = report.searched_end;
        writer_.searched(searched_without_gap_, tally_);
    });
    slot.done = false;
    ++written_;
    slot_freed_.notify_all();
}

}  // namespace revadd
