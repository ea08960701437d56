#include "status_line.hpp"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string_view>

#include "bignum/fatal.hpp"

namespace revadd {
namespace {

using Clock = std::chrono::steady_clock;

// mutants: off (when the line is drawn, within what the tests allow: no test can tell
// 500 ms from 501)
// A run over by then needs no line; one still going shows it before the wait feels long.
constexpr std::chrono::milliseconds first_draw{500};
// Figures that change faster than this cannot be read, and each draw costs a write.
constexpr std::chrono::milliseconds redraw_every{250};
// mutants: on
// Column 0 again, then erase to the end of the line: all that is asked of a terminal.
constexpr std::string_view clear_to_end = "\033[K";
constexpr std::string_view erase_sequence = "\r\033[K";

// Read by a signal handler: set while a line is on the screen.
std::atomic<bool> line_on_screen{false};
static_assert(std::atomic<bool>::is_always_lock_free);
// The line that fatal() must take back; at most one exists.
std::atomic<StatusLine*> active_line{nullptr};

void append_grouped(std::string& out, std::int64_t value) {
    const std::string digits = std::to_string(value < 0 ? 0 : value);
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
}

// m:ss below an hour, h:mm:ss from there on.
std::string duration_text(std::int64_t seconds) {
    char text[32];
    const auto h = seconds / 3600, m = seconds / 60 % 60, s = seconds % 60;
    if (h > 0) {
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", static_cast<long long>(h),
                      static_cast<long long>(m), static_cast<long long>(s));
    } else {
        std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(m),
                      static_cast<long long>(s));
    }
    return text;
}

bool in_foreground() { return tcgetpgrp(STDERR_FILENO) == getpgrp(); }

// Columns the line may take: one short of the terminal's width, so that the cursor
// never wraps to a new line.
std::size_t line_width() {
    winsize size{};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 1) return size.ws_col - 1u;
    return 79;
}

bool write_all(std::string_view text) {
    while (!text.empty()) {
        const ssize_t n = write(STDERR_FILENO, text.data(), text.size());
        // mutants: off (a write cut short by a signal is tried again: no test can time one)
        if (n < 0 && errno == EINTR) continue;
        // mutants: on
        if (n <= 0) return false;
        text.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

}  // namespace

std::string status_text(const StatusFigures& f, std::size_t width) {
    const std::int64_t total = f.total < 1 ? 1 : f.total;
    std::string text(f.single ? "step " : "searched ");
    append_grouped(text, f.done);
    text += " of ";
    append_grouped(text, f.total);
    text += " (" + std::to_string(f.done * 100 / total) + "%)";
    if (text.size() > width) text.resize(width);

    const auto add = [&](const std::string& field) {
        if (text.size() + 2 + field.size() <= width) text += ", " + field;
    };
    std::string count;
    append_grouped(count, f.count);
    add(count + (f.single ? " digits" : f.count == 1 ? " hit" : " hits"));
    const std::int64_t elapsed_ms = f.elapsed.count();
    add(duration_text(elapsed_ms / 1000));
    if (!f.single && f.done > 0) {
        // The rest at the pace of what is done, less the time since the count last
        // moved, which went into the rest already. One costly number can hold the count
        // for longer than that: then no estimate is better than a wrong one.
        const double done_ms = static_cast<double>(f.done_at.count());
        const double left_ms =
            done_ms * static_cast<double>(f.total - f.done) / static_cast<double>(f.done) -
            static_cast<double>(elapsed_ms - f.done_at.count());
        if (left_ms > 0) {
            add(duration_text(static_cast<std::int64_t>(left_ms / 1000 + 0.999)) + " left");
        }
    }
    return text;
}

bool status_line_wanted() {
    const char* term = std::getenv("TERM");
    return isatty(STDERR_FILENO) == 1 && term != nullptr && *term != '\0' &&
           std::strcmp(term, "dumb") != 0;
}

StatusLine::StatusLine(const RunProgress& progress, std::int32_t range, std::int32_t iterations)
    : progress_(progress),
      range_(range),
      iterations_(iterations),
      stdout_is_terminal_(isatty(STDOUT_FILENO) == 1),
      start_(Clock::now()) {
    active_line.store(this);
    set_before_fatal_message(&StatusLine::before_fatal_message);
    try {
        const AllocationMayFail optional;
        timer_ = std::thread([this] { run(); });
    } catch (const std::exception&) {
        // No thread to spare, or no memory for one: the run goes on without the line.
    }
}

StatusLine::~StatusLine() { stop(); }

void StatusLine::stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (timer_.joinable()) timer_.join();
    std::lock_guard lock(mutex_);
    erase();
    active_line.store(nullptr);  // the hook of fatal() has nothing to do from now on
}

std::unique_lock<std::mutex> StatusLine::quiet_for_stdout() {
    if (!stdout_is_terminal_) return {};
    std::unique_lock lock(mutex_);
    erase();
    return lock;
}

StatusFigures StatusLine::figures() {
    StatusFigures f;
    f.single = range_ == 1;
    f.total = f.single ? iterations_ : range_;
    if (f.single) {
        f.done = progress_.steps.steps.load(std::memory_order_relaxed);
        f.count = progress_.steps.digits.load(std::memory_order_relaxed);
    } else {
        f.done = progress_.numbers.load(std::memory_order_relaxed);
        f.count = progress_.hits.load(std::memory_order_relaxed);
    }
    f.elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start_);
    if (f.done != last_done_) {
        last_done_ = f.done;
        done_at_ = f.elapsed;
    }
    f.done_at = done_at_;
    return f;
}

void StatusLine::run() {
    Clock::time_point next = start_ + first_draw;
    std::string frame;
    std::unique_lock lock(mutex_);
    for (;;) {
        if (wake_.wait_until(lock, next, [this] { return stopping_; })) return;
        // Made without the lock: an allocation that fails ends the run through fatal(),
        // which takes the lock to erase the line.
        lock.unlock();
        frame = status_text(figures(), line_width());
        frame.insert(frame.begin(), '\r');
        frame += clear_to_end;
        lock.lock();
        if (stopping_) return;
        draw(frame);
        // After a pause (the process stopped, a busy machine), on from now.
        next = std::max(next + redraw_every, Clock::now());
    }
}

// With the lock held. The text goes over whatever the line held, and the rest of the
// old line is cleared behind it. Takes the frame by swapping: nothing is allocated here.
void StatusLine::draw(std::string& frame) {
    if (closed_) return;
    if (!in_foreground()) {
        // Sent to the background: the shell has the terminal; what was drawn is left.
        shown_ = false;
        line_on_screen.store(false);
        return;
    }
    if (shown_ && frame == last_frame_) return;
    line_on_screen.store(true);
    if (!write_all(frame)) {
        closed_ = true;  // a terminal that takes no more text gets no more lines
        return;
    }
    shown_ = true;
    last_frame_.swap(frame);
}

// With the lock held.
void StatusLine::erase() {
    if (!shown_) return;
    shown_ = false;
    if (in_foreground()) write_all(erase_sequence);
    line_on_screen.store(false);
}

void StatusLine::close_for_fatal() {
    std::lock_guard lock(mutex_);
    erase();
    closed_ = true;
}

void StatusLine::before_fatal_message() {
    if (StatusLine* line = active_line.load()) line->close_for_fatal();
}

void erase_status_line_before_exit() {
    if (!line_on_screen.load()) return;
    (void)!write(STDERR_FILENO, erase_sequence.data(), erase_sequence.size());
}

}  // namespace revadd
