// revadd: asks for a starting number, a range and an iteration limit, then reports
// every number of the range that forms a palindrome by reverse-and-add.
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <variant>

#include "base/machine.hpp"
#include "base/process_setup.hpp"
#include "base/stop_signal.hpp"
#include "base/terminal.hpp"
#include "dialogue.hpp"
#include "run.hpp"
#include "text_sink.hpp"

int main() {
    const revadd::StandardStreams streams = revadd::prepare_process();
    revadd::TextSink console(stdout,
                             revadd::console_buffer_bytes(revadd::terminal::stdout_is_terminal()));
    if (streams.stdout_was_closed) console.fail(EBADF);

    const auto answers = revadd::ask(stdin, console);
    if (const auto* refusal = std::get_if<revadd::Refusal>(&answers)) {
        console.flush();
        std::fputs(refusal->message.c_str(), stderr);
        revadd::report_console_failure(console);
        return 1;
    }
    // From here on Ctrl-C keeps what was found: until now there was nothing to keep.
    revadd::RunOptions options;
    options.threads = revadd::usable_cpus();
    options.room = revadd::usable_memory();
    options.stop = &revadd::stop_signal();
    revadd::catch_stop_signals();
#ifdef REVADD_SAVE_INTERVAL_MS
    // A build for the tests that stop a run with no chance to save: it saves at once.
    const std::chrono::milliseconds save_interval{REVADD_SAVE_INTERVAL_MS};
#else
    const std::chrono::milliseconds save_interval = revadd::default_save_interval;
#endif
    return revadd::run_search(std::get<revadd::Answers>(answers), console, options,
                              revadd::terminal::status_line_possible(), save_interval);
}
