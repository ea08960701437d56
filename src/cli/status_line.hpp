// The status line of a run at a terminal: how far the search has got, drawn on standard
// error by a timer thread of its own and erased before anything else reaches the
// terminal, so that the screen ends up holding exactly what it would hold without it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "search/range_search.hpp"

namespace revadd {

// What the line shows at one moment.
struct StatusFigures {
    bool single = false;     // a range of one number: its steps rather than numbers
    std::int64_t total = 0;  // numbers in the range, or the step limit
    std::int64_t done = 0;   // numbers searched, or steps taken
    std::int64_t count = 0;  // hits so far, or digits of the latest sum
    std::chrono::milliseconds elapsed{0};
    std::chrono::milliseconds done_at{0};  // elapsed when `done` reached its value
};

// The text of the line, leaving out the fields that would not fit in `width` columns:
//   searched 41,234,567 of 100,000,000 (41%), 3,456,789 hits, 0:42, 1:01 left
//   step 1,234,567 of 2,415,836 (51%), 512,345 digits, 0:12
std::string status_text(const StatusFigures& figures, std::size_t width);

// Standard error is a terminal, and TERM names one that takes the erase sequence.
bool status_line_wanted();

class StatusLine {
public:
    // Starts the timer thread (without it there is simply no line). `range` and
    // `iterations` are the run's answers; the search keeps `progress` up to date.
    StatusLine(const RunProgress& progress, std::int32_t range, std::int32_t iterations);
    ~StatusLine();
    StatusLine(const StatusLine&) = delete;
    StatusLine& operator=(const StatusLine&) = delete;

    // Held while text goes to standard output: when that is the terminal too, the line
    // is erased first and not drawn again until the lock is released; otherwise the
    // lock is empty and the line stays.
    [[nodiscard]] std::unique_lock<std::mutex> quiet_for_stdout();

    // Ends the thread and erases the line; nothing is drawn after it.
    void stop();

private:
    void run();
    StatusFigures figures();
    void draw(std::string& frame);
    void erase();
    void close_for_fatal();
    static void before_fatal_message();

    const RunProgress& progress_;
    const std::int32_t range_;
    const std::int32_t iterations_;
    const bool stdout_is_terminal_;
    const std::chrono::steady_clock::time_point start_;
    // The timer thread's own: when the count of numbers last moved.
    std::int64_t last_done_ = 0;
    std::chrono::milliseconds done_at_{0};
    // Guards all below, and is held while anything is written to the terminal: by the
    // timer thread as it draws, by writers of standard output as they write.
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    bool closed_ = false;  // nothing is to be drawn any more
    bool shown_ = false;   // the line is on the screen, the cursor at its end
    std::string last_frame_;
    std::thread timer_;
};

// Erases the line, if one is on the screen, from a signal handler that ends the process
// at once; async-signal-safe.
void erase_status_line_before_exit();

}  // namespace revadd
