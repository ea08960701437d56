#include "status_line.hpp"

#include <algorithm>

#include "base/terminal.hpp"
#include "base/threads.hpp"

namespace revadd {
namespace {

// A run over by then needs no line; one still going shows it before the wait feels long.
constexpr std::chrono::milliseconds first_draw{500};
// Figures that change faster than this cannot be read, and each draw costs a write.
constexpr std::chrono::milliseconds redraw_every{250};
// A terminal that does not give its width is taken as the classic 80 columns.
constexpr std::size_t assumed_columns = 80;

}  // namespace

StatusSchedule::StatusSchedule(const RunProgress& progress, std::int32_t range,
                               std::int32_t iterations, Clock::time_point start)
    : progress_(progress),
      range_(range),
      iterations_(iterations),
      start_(start),
      next_(start + first_draw),
      done_before_(progress.numbers.load(std::memory_order_relaxed)),
      last_done_(done_before_) {}

std::string StatusSchedule::line(Clock::time_point now, std::size_t columns) {
    StatusFigures f;
    f.single = range_ == 1;
    f.total = f.single ? iterations_ : range_;
    if (f.single) {
        f.done = progress_.steps.steps.load(std::memory_order_relaxed);
        f.count = progress_.steps.digits.load(std::memory_order_relaxed);
    } else {
        f.done = progress_.numbers.load(std::memory_order_relaxed);
        f.count = progress_.hits.load(std::memory_order_relaxed);
        f.done_before = done_before_;
    }
    f.elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(now - start_);
    if (f.done != last_done_) {
        last_done_ = f.done;
        done_at_ = f.elapsed;
    }
    f.done_at = done_at_;
    // After a pause (the process stopped, a busy machine), on from now.
    next_ = std::max(next_ + redraw_every, now);
    // One column short of the width, so that the cursor never wraps to a new row.
    return status_text(f, (columns > 1 ? columns : assumed_columns) - 1);
}

StatusLine::StatusLine(const RunProgress& progress, std::int32_t range, std::int32_t iterations)
    : schedule_(progress, range, iterations, StatusSchedule::Clock::now()) {
    // Without a thread to spare the run goes on without the line.
    if (auto thread = try_start_thread([this] { run(); })) thread_ = std::move(*thread);
}

StatusLine::~StatusLine() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
    terminal::close_line();
}

void StatusLine::run() {
    std::unique_lock lock(mutex_);
    while (!wake_.wait_until(lock, schedule_.next(), [this] { return stopping_; })) {
        lock.unlock();
        std::string text = schedule_.line(StatusSchedule::Clock::now(), terminal::columns());
        terminal::show_line(text);
        lock.lock();
    }
}

}  // namespace revadd
