// What the process needs before the dialogue starts.
#pragma once

namespace revadd {

struct StandardStreams {
    bool stdout_was_closed = false;
};

// Occupies any closed standard descriptor with /dev/null, so that palin.txt can never
// be opened as descriptor 1 and receive the console's text, and turns closed pipes and
// the file size limit into write errors that the run reports instead of signals that
// kill it (POSIX); writes standard output and error byte for byte, so that every system
// ends a line with \n alone, and reads standard input so too unless it is a console,
// where Ctrl-Z keeps meaning the end of input (Windows); and makes an allocation that
// fails end the process with a message rather than an uncaught exception.
StandardStreams prepare_process();

}  // namespace revadd
