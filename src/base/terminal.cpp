#include "terminal.hpp"

#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

namespace revadd::terminal {
namespace {

// Column 0 again, then erase to the end of the row: all that is asked of a terminal.
constexpr std::string_view erase_sequence = "\r\033[K";

std::mutex line_mutex;
// The line is on the screen, the cursor at its end. Atomic for the signal handler, which
// reads it without the lock; written only with the lock held.
std::atomic<bool> on_screen{false};
static_assert(std::atomic<bool>::is_always_lock_free);
// With the lock held.
bool closed = false;
std::string shown_text;

// A different process group has the terminal; "no controlling terminal" is not that.
bool in_background() {
    const pid_t foreground = tcgetpgrp(STDERR_FILENO);
    return foreground != -1 && foreground != getpgrp();
}

bool write_all(std::string_view text) {
    while (!text.empty()) {
        const ssize_t n = write(STDERR_FILENO, text.data(), text.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        text.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// With the lock held.
void erase_locked() {
    if (!on_screen.load(std::memory_order_relaxed)) return;
    on_screen.store(false);
    if (!in_background()) write_all(erase_sequence);
}

}  // namespace

bool status_line_possible() {
    const char* term = std::getenv("TERM");
    return isatty(STDERR_FILENO) == 1 && term != nullptr && *term != '\0' &&
           std::strcmp(term, "dumb") != 0;
}

bool stdout_is_terminal() { return isatty(STDOUT_FILENO) == 1; }

std::size_t columns() {
    winsize size{};
    return ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
}

void show_line(std::string& text) {
    const std::lock_guard lock(line_mutex);
    if (closed) return;
    if (in_background()) {
        // What was drawn is the shell's now; the line is drawn afresh when the run is back.
        on_screen.store(false);
        return;
    }
    if (on_screen.load(std::memory_order_relaxed) && text == shown_text) return;
    // Counted as shown before the first byte goes out: a signal may come in between.
    on_screen.store(true);
    // The text goes over the old line, and the rest of that is cleared behind it.
    if (!write_all("\r") || !write_all(text) || !write_all(erase_sequence.substr(1))) {
        closed = true;  // a terminal that takes no more text gets no more lines
    }
    shown_text.swap(text);
}

void erase_line() {
    const std::lock_guard lock(line_mutex);
    erase_locked();
}

std::unique_lock<std::mutex> line_kept_off() {
    std::unique_lock lock(line_mutex);
    erase_locked();
    return lock;
}

void close_line() {
    const std::lock_guard lock(line_mutex);
    erase_locked();
    closed = true;
}

void erase_line_before_exit() {
    if (!on_screen.load()) return;
    (void)!write(STDERR_FILENO, erase_sequence.data(), erase_sequence.size());
}

}  // namespace revadd::terminal
