// The status line: its text, and the program in a pseudo-terminal, where the line shows on
// a long run only and leaves the screen holding exactly the console text without it.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "bignum/fatal.hpp"
#include "cli/status_line.hpp"

namespace {

using namespace std::chrono_literals;

TEST(StatusLine, TextGroupsThousandsEstimatesTheRestAndFitsTheWidth) {
    const std::vector<std::tuple<revadd::StatusFigures, std::size_t, std::string>> cases = {
        {{false, 100000000, 41234567, 3456789, 42s, 42s}, 79,
         "searched 41,234,567 of 100,000,000 (41%), 3,456,789 hits, 0:42, 1:00 left"},
        {{false, 2147483647, 999, 1, 1999ms, 1000ms}, 79,
         "searched 999 of 2,147,483,647 (0%), 1 hit, 0:01, 597:07:12 left"},
        {{false, 1000, 999, 1000, 3723s, 3723s}, 79,
         "searched 999 of 1,000 (99%), 1,000 hits, 1:02:03, 0:04 left"},
        {{false, 10, 9, 9, 20s, 2s}, 79, "searched 9 of 10 (90%), 9 hits, 0:20"},  // behind
        {{false, 7, 0, 0, 500ms, 0ms}, 79, "searched 0 of 7 (0%), 0 hits, 0:00"},
        {{false, 7, 7, 123456, 59999ms, 0ms}, 79, "searched 7 of 7 (100%), 123,456 hits, 0:59"},
        {{true, 2415836, 1234567, 512345, 12s, 12s}, 79,
         "step 1,234,567 of 2,415,836 (51%), 512,345 digits, 0:12"},
        {{false, 100000000, 41234567, 3456789, 42s, 42s}, 55,
         "searched 41,234,567 of 100,000,000 (41%), 0:42"},
    };
    for (const auto& [figures, width, text] : cases) {
        EXPECT_EQ(revadd::status_text(figures, width), text);
    }
}

// The screen a terminal shows for `raw`: \r to column 0, \n (sent as \r\n) a row down,
// ESC[K clears to the end of the row; other control sequences stay in the text, a fault.
std::string screen_of(const std::string& raw) {
    std::string screen, row;  // the rows above the cursor's, and the cursor's
    std::size_t col = 0;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '\r' || raw[i] == '\n') {
            if (raw[i] == '\n') screen += std::exchange(row, "") + '\n';
            col = 0;
        } else if (raw.compare(i, 3, "\033[K") == 0) {
            row.resize(std::min(col, row.size()));
            i += 2;
        } else {
            row.resize(std::max(row.size(), col + 1), ' ');
            row[col++] = raw[i];
        }
    }
    return screen + row;
}

// palin.txt is a FIFO, read only once the line has shown twice, the last as expected
// (or 0.9 s on), when `ctrl_c` is typed too: till then a run with more to write waits.
struct TerminalCase {
    const char *name, *answers, *term;
    bool stderr_on_terminal, ctrl_c;
    std::string line_pattern;  // the last line drawn matches it; empty: none may be drawn
    int status;
    std::string screen_after_prompts;  // empty: palin.txt as written
};

// The lines drawn in `raw`, in order: each is \r, its text, ESC[K (\r ESC[K erases one).
std::vector<std::string> lines_drawn(const std::string& raw) {
    std::vector<std::string> lines;
    for (std::size_t cr = 0, k; (cr = raw.find('\r', cr)) != std::string::npos; cr = k) {
        k = raw.find_first_of("\r\n\033", cr + 1);
        if (k != std::string::npos && k > cr + 1 && raw.compare(k, 3, "\033[K") == 0) {
            lines.push_back(raw.substr(cr + 1, k - cr - 1));
        }
    }
    return lines;
}

const std::string prompts = "enter starting number:\nenter range:\nenter number of iterations:\n";

// Runs revadd in a fresh directory, standard output and error (or a pipe) on a
// pseudo-terminal of 80 columns.
void check(const TerminalCase& c) {
    SCOPED_TRACE(c.name);
    std::string dir = ::testing::TempDir() + "revadd-pty-XXXXXX";  // under $TMPDIR, if set
    ASSERT_NE(mkdtemp(dir.data()), nullptr);
    const std::string file = dir + "/palin.txt";
    ASSERT_EQ(mkfifo(file.c_str(), 0600), 0);
    const int fifo = open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    int err_pipe[2] = {-1, -1};
    ASSERT_TRUE(c.stderr_on_terminal || pipe2(err_pipe, O_CLOEXEC) == 0);
    const std::string command = "cd " + dir + " && TERM=" + c.term + " exec " + REVADD_EXE +
                                " <<EOF\n" + c.answers + "\nEOF\n";
    winsize size{24, 80, 0, 0};
    int master = -1;
    const pid_t pid = forkpty(&master, nullptr, nullptr, &size);
    ASSERT_GE(pid, 0);
    if (pid == 0) {  // other threads run cases too: no allocation from here on
        if (err_pipe[1] >= 0 && dup2(err_pipe[1], 2) < 0) _exit(125);
        close_range(3, ~0u, 0);  // the terminals of the other cases too
        execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        _exit(125);
    }
    close(err_pipe[1]);

    std::string out[3];  // the terminal, standard error, the file
    std::string &raw = out[0], &err = out[1], &file_text = out[2];
    const auto start = std::chrono::steady_clock::now();
    const auto wait = c.line_pattern.empty() ? 900ms : 5s;
    const auto shown_twice = [&] {  // two different lines, the last as the case expects
        const std::vector<std::string> lines = lines_drawn(raw);
        return std::set<std::string>(lines.begin(), lines.end()).size() >= 2 &&
               std::regex_match(lines.back(), std::regex(c.line_pattern));
    };
    bool acted = false;
    pollfd fds[3] = {{master, POLLIN, 0}, {err_pipe[0], POLLIN, 0}, {-1, POLLIN, 0}};
    while (!acted || fds[0].fd >= 0 || fds[1].fd >= 0 || fds[2].fd >= 0) {
        const auto now = std::chrono::steady_clock::now();
        if (now - start > 20s && kill(pid, SIGKILL) == 0) break;  // hung: fails on what came
        if (!acted && (shown_twice() || now - start > wait)) {
            acted = true;
            if (c.ctrl_c) (void)!write(master, "\003", 1);
            fds[2].fd = fifo;  // the file is read from now on, so the run can end
        }
        if (poll(fds, 3, 50) <= 0) continue;
        for (int i = 0; i < 3; ++i) {
            char buffer[65536];
            const ssize_t n = fds[i].revents == 0 ? -1 : read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) out[i].append(buffer, static_cast<std::size_t>(n));
            // The pseudo-terminal reads EIO once the program is gone.
            if (fds[i].revents != 0 && (n == 0 || (n < 0 && errno != EAGAIN))) fds[i].fd = -1;
        }
    }
    for (const int fd : {master, err_pipe[0], fifo}) close(fd);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), c.status);
    std::filesystem::remove_all(dir);
    EXPECT_EQ(err, "");
    const std::string& report = c.screen_after_prompts.empty() ? file_text : c.screen_after_prompts;
    EXPECT_EQ(screen_of(raw), prompts + "\n" + report);
    const std::vector<std::string> lines = lines_drawn(raw);
    EXPECT_TRUE(c.line_pattern.empty() ? lines.empty() : shown_twice()) << lines.size();
    EXPECT_LE(lines.size(), 2 + 4 * ((std::chrono::steady_clock::now() - start) / 1s));
    for (const std::string& line : lines) EXPECT_LT(line.size(), 80u) << line;
}

// fatal() on another thread erases the line, waiting for a draw under way, before its message.
TEST(StatusLine, FatalErrorErasesTheLineFirst) {
    int master = -1, status = 0;
    const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        revadd::RunProgress progress;
        revadd::StatusLine line(progress, 5, 10);
        std::this_thread::sleep_for(700ms);  // drawn at 0.5 s
        std::thread([] { revadd::fatal("revadd: out of memory\n"); }).join();
    }
    std::string raw;
    char buffer[4096];
    for (ssize_t n; (n = read(master, buffer, sizeof buffer)) > 0;) raw.append(buffer, n);
    EXPECT_TRUE(waitpid(pid, &status, 0) == pid && WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_EQ(lines_drawn(raw).size(), 1u);
    EXPECT_EQ(screen_of(raw), "revadd: out of memory\n");
}

// The cases run side by side: they spend their time waiting for the delay of the line.
TEST(StatusLine, ShowsOnATerminalOnALongRunAndLeavesTheScreenAsWithoutIt) {
    const std::vector<TerminalCase> cases = {
        {"a single number, stopped by Ctrl-C", "196 1 2147483647", "xterm", true, true,
         R"(step [1-9][0-9,]* of 2,147,483,647 \(0%\), [1-9][0-9,]* digits, 0:0[0-9])", 130,
         "revadd: stopped by SIGINT: every number before 196 was searched and every hit found "
         "is written; no summary\n"},
        // All searched long before the file lets the run go on: the count of hits is final.
        {"a range held up by its file", "1 10000 1000", "xterm", true, false,
         R"(searched 10,000 of 10,000 \(100%\), 9,751 hits, 0:0[0-9])", 0, ""},
        {"standard error a pipe", "1 10000 1000", "xterm", false, false, "", 0, ""},
        {"TERM=dumb", "1 10000 1000", "dumb", true, false, "", 0, ""},
        {"shorter than the delay, all in the FIFO", "1 1000 100", "xterm", true, false, "", 0, ""},
    };
    std::vector<std::thread> runs;
    for (const TerminalCase& c : cases) runs.emplace_back([&c] { check(c); });
    for (std::thread& run : runs) run.join();
}

}  // namespace
