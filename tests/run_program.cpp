#include "run_program.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace revadd::testing {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

void check(bool ok, const char* what) {
    if (!ok) throw std::runtime_error(what);
}

void write_file(const fs::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
    check(static_cast<bool>(out), "cannot write test file");
}

// Milliseconds until `when`, rounded up so that a wait never wakes just short of it.
int millis_until(Clock::time_point when) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(when - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, 60 * 60 * 1000));
}

// Reads both pipes to their ends without letting either fill up and block the child,
// sends the setup's signals as their output turns up, and closes the standard output
// pipe early when the setup's reader leaves. False if the deadline came first; the
// pipes still open then are left to the caller.
bool drain(pid_t pid, int& out_fd, int& err_fd, const RunSetup& setup,
           Clock::time_point deadline, Outcome& outcome) {
    pollfd fds[2] = {{out_fd, POLLIN, 0}, {err_fd, POLLIN, 0}};
    const auto hand_back = [&] {
        out_fd = fds[0].fd;
        err_fd = fds[1].fd;
    };
    std::string* sinks[2] = {&outcome.out, &outcome.err};
    const bool reader_leaves = setup.out == Stdout::reader_leaves;
    const auto leave_if_done = [&] {
        if (reader_leaves && fds[0].fd >= 0 && outcome.out.size() >= setup.reader_leaves_after) {
            close(fds[0].fd);
            fds[0].fd = -1;
        }
    };
    leave_if_done();

    std::size_t next = 0;  // the next signal to send
    bool armed = false;    // its output has turned up; it goes at `due`
    Clock::time_point due;
    char buffer[65536];
    while (fds[0].fd >= 0 || fds[1].fd >= 0) {
        if (!armed && next < setup.signals.size() &&
            outcome.out.find(setup.signals[next].after_output) != std::string::npos) {
            armed = true;
            due = Clock::now() + std::chrono::milliseconds(setup.signals[next].delay_ms);
        }
        if (armed && Clock::now() >= due) {
            check(kill(pid, setup.signals[next].signal) == 0, "kill");
            ++next;
            ++outcome.signals_sent;
            armed = false;
            continue;
        }
        if (Clock::now() >= deadline) {
            hand_back();
            return false;
        }

        const int wait_ms = millis_until(armed ? std::min(due, deadline) : deadline);
        if (poll(fds, 2, wait_ms) <= 0) continue;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            std::size_t want = sizeof buffer;
            if (i == 0 && reader_leaves) {
                want = std::min(want, setup.reader_leaves_after - outcome.out.size());
            }
            const ssize_t n = read(fds[i].fd, buffer, want);
            if (n > 0) {
                sinks[i]->append(buffer, static_cast<std::size_t>(n));
            } else if (n == 0 || errno != EINTR) {
                close(fds[i].fd);
                fds[i].fd = -1;
            }
        }
        leave_if_done();
    }
    hand_back();
    return true;
}

// Waits for the child until the deadline; false if it is still running then.
bool reap(pid_t pid, Clock::time_point deadline, int& status) {
    for (;;) {
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) return true;
        if (done < 0 && errno != EINTR) throw std::runtime_error("waitpid");
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

std::string tail_of(const std::string& text) {
    constexpr std::size_t keep = 400;
    return text.size() <= keep ? text : "..." + text.substr(text.size() - keep);
}

}  // namespace

std::string read_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

Outcome run_revadd(const RunSetup& setup) {
    char pattern[] = "/tmp/revadd-e2e-XXXXXX";
    check(mkdtemp(pattern) != nullptr, "mkdtemp");
    const fs::path base = pattern;
    const fs::path work = base / "run";
    fs::create_directory(work);
    const fs::path file = work / "palin.txt";
    write_file(base / "stdin", setup.input);
    if (setup.existing_file) write_file(file, *setup.existing_file);
    if (setup.file_is_directory) fs::create_directory(file);

    // Close-on-exec: the child keeps only the ends it moves onto 1 and 2, so a reader
    // that closes its end here really leaves the pipe without a reader.
    int out_pipe[2] = {-1, -1};
    int err_pipe[2];
    check(pipe2(err_pipe, O_CLOEXEC) == 0, "pipe");
    const bool out_is_pipe = setup.out == Stdout::captured || setup.out == Stdout::reader_gone ||
                             setup.out == Stdout::reader_leaves;
    if (out_is_pipe) check(pipe2(out_pipe, O_CLOEXEC) == 0, "pipe");
    if (setup.out == Stdout::reader_leaves) {
        // One page: the program can be at most this far ahead of the reader when it
        // leaves, so any longer output is sure to meet the closed pipe.
        check(fcntl(out_pipe[1], F_SETPIPE_SZ, 4096) >= 0, "F_SETPIPE_SZ");
    }
    if (setup.out == Stdout::reader_gone) {
        close(out_pipe[0]);
        out_pipe[0] = -1;
    }

    // Everything the child needs is prepared here: after fork it may not allocate.
    const std::string work_dir = work.string();
    const std::string stdin_path = (base / "stdin").string();
    const pid_t pid = fork();
    check(pid >= 0, "fork");
    if (pid == 0) {
        // Only async-signal-safe calls from here on; any failure ends the child with 125.
        if (chdir(work_dir.c_str()) != 0) _exit(125);
        if (setup.stdin_closed) {
            close(0);
        } else {
            const int in = open(stdin_path.c_str(), O_RDONLY);
            if (in < 0 || dup2(in, 0) < 0) _exit(125);
            close(in);
        }
        switch (setup.out) {
            case Stdout::captured:
            case Stdout::reader_gone:
            case Stdout::reader_leaves:
                if (dup2(out_pipe[1], 1) < 0) _exit(125);
                break;
            case Stdout::dev_full: {
                const int full = open("/dev/full", O_WRONLY);
                if (full < 0 || dup2(full, 1) < 0) _exit(125);
                close(full);
                break;
            }
            case Stdout::closed:
                close(1);
                break;
        }
        if (dup2(err_pipe[1], 2) < 0) _exit(125);
        for (int fd = 3; fd < 64; ++fd) close(fd);
        if (setup.file_size_limit >= 0) {
            const rlimit limit{static_cast<rlim_t>(setup.file_size_limit),
                               static_cast<rlim_t>(setup.file_size_limit)};
            if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(125);
        }
        execl(REVADD_EXE, "revadd", static_cast<char*>(nullptr));
        _exit(125);
    }

    close(err_pipe[1]);
    if (out_pipe[1] >= 0) close(out_pipe[1]);
    const Clock::time_point deadline = Clock::now() + setup.timeout;
    Outcome outcome;
    int status = 0;
    if (!drain(pid, out_pipe[0], err_pipe[0], setup, deadline, outcome) ||
        !reap(pid, deadline, status)) {
        kill(pid, SIGKILL);
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        for (const int fd : {out_pipe[0], err_pipe[0]}) {
            if (fd >= 0) close(fd);
        }
        fs::remove_all(base);
        throw std::runtime_error(
            "revadd was still running after " + std::to_string(setup.timeout.count()) +
            " ms and was killed; standard output so far: \"" + tail_of(outcome.out) +
            "\"; standard error so far: \"" + tail_of(outcome.err) + "\"");
    }
    outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    outcome.term_signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;

    outcome.file_is_directory = fs::is_directory(file);
    if (fs::is_regular_file(file)) outcome.file = read_file(file);
    fs::remove_all(base);
    return outcome;
}

}  // namespace revadd::testing
