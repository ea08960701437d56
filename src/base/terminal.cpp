#include "terminal.hpp"

#include <atomic>
#include <string>

#include "platform.hpp"

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

using platform::in_background;
using platform::write_stderr;

// With the lock held.
void erase_locked() {
    if (!on_screen.load(std::memory_order_relaxed)) return;
    on_screen.store(false);
    if (!in_background()) write_stderr(erase_sequence);
}

}  // namespace

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
    if (!write_stderr("\r") || !write_stderr(text) || !write_stderr(erase_sequence.substr(1))) {
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
    (void)write_stderr(erase_sequence);
}

}  // namespace revadd::terminal
