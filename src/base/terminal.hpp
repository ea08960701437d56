// The terminal on standard error, and the one line a run keeps at its foot while it
// searches (the status line). The line's place on the screen is process-wide: the report
// on standard output, a fatal error and a second stop signal each take it off the screen
// before they write, so the screen ends up holding exactly what it would without it.
//
// Locks, always taken in this order: the output lock of fatal.hpp, then the line's own.
#pragma once

#include <cstddef>
#include <mutex>
#include <string>

namespace revadd::terminal {

// Standard error is a terminal that takes the erase sequence: TERM set and not "dumb"
// (POSIX); a console whose virtual-terminal sequences are on, or could be switched on
// now, and TERM not "dumb" (Windows).
bool status_line_possible();

// Standard output is a terminal (a console), where the report and the line share the screen.
bool stdout_is_terminal();

// Columns of the terminal on standard error; 0 when it does not say.
std::size_t columns();

// Draws `text` as the line, over what it showed before, unless it shows that already, the
// line is closed, or another process group holds the terminal's foreground (the run was
// sent to the background: the shell has the terminal). Takes the text by swapping, so
// that nothing is allocated while the line is locked (a failed allocation ends the run
// through fatal(), which takes the line off the screen).
void show_line(std::string& text);

// Takes the line off the screen, if it is on it.
void erase_line();

// Takes the line off the screen and keeps it off while the lock is held: for text that
// goes to the same terminal.
[[nodiscard]] std::unique_lock<std::mutex> line_kept_off();

// Takes the line off the screen for good: nothing is drawn after it.
void close_line();

// From a signal handler that ends the process at once: async-signal-safe, takes no lock.
void erase_line_before_exit();

}  // namespace revadd::terminal
