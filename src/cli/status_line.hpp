// The status line of a run at a terminal: how far the search has got, drawn on standard
// error by a thread of its own, a few times a second, and taken off the screen whenever
// anything else is written there (see base/terminal.hpp).
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "search/range_search.hpp"
#include "status_text.hpp"

namespace revadd {

// When the line is drawn and what it says, on a clock the caller gives: the part of the
// line that does not depend on a thread or a terminal.
class StatusSchedule {
public:
    using Clock = std::chrono::steady_clock;

    StatusSchedule(const RunProgress& progress, std::int32_t range, std::int32_t iterations,
                   Clock::time_point start);

    // When the line is next due.
    Clock::time_point next() const { return next_; }

    // The line due at `now`, for a terminal of `columns` (0: one that does not say); the
    // next one is then due a little later.
    std::string line(Clock::time_point now, std::size_t columns);

private:
    const RunProgress& progress_;
    const std::int32_t range_;
    const std::int32_t iterations_;
    const Clock::time_point start_;
    Clock::time_point next_;
    // Numbers searched before this run (a resumed one): its pace leaves them out.
    const std::int64_t done_before_;
    // When the count of numbers last moved: the estimate of the rest starts from there.
    std::int64_t last_done_;
    std::chrono::milliseconds done_at_{0};
};

class StatusLine {
public:
    // Starts the drawing thread (without one there is simply no line). `range` and
    // `iterations` are the run's answers; the search keeps `progress` up to date.
    StatusLine(const RunProgress& progress, std::int32_t range, std::int32_t iterations);
    // Ends the thread and takes the line off the screen for good.
    ~StatusLine();
    StatusLine(const StatusLine&) = delete;
    StatusLine& operator=(const StatusLine&) = delete;

private:
    void run();

    StatusSchedule schedule_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;  // guarded by mutex_
    std::thread thread_;
};

}  // namespace revadd
