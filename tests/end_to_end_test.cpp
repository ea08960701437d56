// The built program run as a user runs it: answers on standard input, then the exact
// bytes of standard output, standard error and palin.txt, and the exit status. The cases
// are data, in end_to_end_cases.txt; its head says how to read them.
#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <thread>

#include "cli/status_line.hpp"
#include "reference.hpp"
#include "run_program.hpp"

namespace {

using namespace revadd::tests;

std::string unescape(const std::string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '{' && i + 2 < s.size() && s[i + 2] == '*') {
            const std::size_t close = s.find('}', i);
            out.append(std::stoul(s.substr(i + 3, close - i - 3)), s[i + 1]);
            i = close;
        } else if (s[i] == '\\') {
            const std::size_t e = std::string_view("ntrvf").find(s[++i]);
            out += e == std::string::npos ? s[i] : "\n\t\r\v\f"[e];
        } else {
            out += s[i];
        }
    }
    return out;
}

struct Case {
    std::string name;
    RunSetup setup;
    std::map<std::string, std::string> fields;  // text unescaped, or a keyword
};

// One setup directive of a case (the head of the cases file lists them).
void set_up(RunSetup& s, const std::string& directive) {
    std::istringstream words(directive);
    std::string what, value, rest;
    int delay = 0;
    words >> what >> value;
    if (what == "signal") words >> delay;
    std::getline(words >> std::ws, rest);
    const std::map<std::string, Stdout> outs = {{"dev-full", Stdout::dev_full},
                                                {"closed", Stdout::closed},
                                                {"reader-gone", Stdout::reader_gone},
                                                {"leaves", Stdout::reader_leaves}};
    if (what == "stdout") s.out = outs.at(value);
    if (value == "leaves") s.reader_leaves_after = std::stoul(rest);
    s.stdin_closed |= what == "stdin";
    if (what == "palin.txt" && value == "old") s.existing_file = "results of an earlier run\n";
    s.file_is_directory |= what == "palin.txt" && value == "directory";
    s.file_fifo |= what == "palin.txt" && value == "fifo";
    if (what == "terminal") s.terminal = value;
    s.stderr_apart |= what == "terminal" && rest == "stderr-apart";
    if (what == "fsize") s.limits.emplace_back(Limit::file_size, std::stoll(value));
    if (what == "as") s.limits.emplace_back(Limit::address_space, std::stoll(value) * 1024);
    if (what == "cpu") s.cpu = std::stoi(value);
    if (what == "timeout") s.timeout = std::chrono::milliseconds(std::stol(value));
    std::map<std::string, int> number = {{"INT", SIGINT}, {"TERM", SIGTERM}, {"READ", 0}};
#ifdef SIGSTOP
    number.insert({{"STOP", SIGSTOP}, {"CONT", SIGCONT}});
#endif
    if (what == "signal") s.signals.push_back({unescape(rest), delay, number.at(value)});
}

std::vector<Case> read_cases() {
    std::ifstream in(REVADD_CASES);
    std::vector<Case> cases;
    for (std::string line; std::getline(in, line);) {
        if (line.starts_with("refuse: ")) {  // ANSWERS | PROMPTS SHOWN | MESSAGE
            const std::size_t a = line.find(" | "), b = line.find(" | ", a + 3);
            line = "run: " + line.substr(8, a - 8) + " | setup: palin.txt old | out: prompts " +
                   line.substr(a + 3, b - a - 3) + " | err: " + line.substr(b + 3) +
                   "\\n | file: old | status: 1";
        }
        if (!line.starts_with("run: ")) continue;
        Case c{line, {}, {}};
        line = "in: " + line.substr(5);
        for (std::size_t at = 0, bar; at <= line.size(); at = bar + 3) {
            bar = std::min(line.find(" | ", at), line.size());
            const std::string part = line.substr(at, bar - at);
            const std::size_t colon = part.find(':');
            const std::string key = part.substr(0, colon),
                              value = part.substr(std::min(colon + 2, part.size()));
            if (key == "setup") set_up(c.setup, value);
            if (key != "setup") c.fields[key] = unescape(value);
        }
        c.setup.input = c.fields.at("in");
        cases.push_back(c);
    }
    return cases;
}

// What a terminal shows for `raw`: \r to column 0, \n (sent as \r\n) a row down, ESC[K
// clears to the end of the row; any other sequence stays in the text, a fault.
std::string screen_of(const std::string& raw) {
    std::string screen, row;
    std::size_t column = 0;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '\n') screen += std::exchange(row, "") + '\n';
        if (raw[i] == '\r' || raw[i] == '\n') {
            column = 0;
        } else if (raw.compare(i, 3, "\033[K") == 0) {
            row.resize(std::min(column, row.size()));
            i += 2;
        } else {
            row.resize(std::max(row.size(), column + 1), ' ');
            row[column++] = raw[i];
        }
    }
    return screen + row;
}

// The status lines drawn in `raw`, in order: each is \r, its text, ESC[K.
std::vector<std::string> lines_drawn(const std::string& raw) {
    std::vector<std::string> lines;
    for (std::size_t cr = 0, k; (cr = raw.find('\r', cr)) != std::string::npos; cr = k) {
        k = raw.find_first_of("\r\n\033", cr + 1);
        if (k != std::string::npos && k > cr + 1 && raw.compare(k, 3, "\033[K") == 0)
            lines.push_back(raw.substr(cr + 1, k - cr - 1));
    }
    return lines;
}

// What a field asks for, given what the report gives.
std::optional<std::string> expected(const Case& c, const std::string& key,
                                    const std::optional<std::string>& given,
                                    const std::optional<std::string>& old) {
    if (!c.fields.count(key)) return given;
    const std::string& v = c.fields.at(key);
    if (v == "none") return key == "file" ? std::nullopt : std::optional<std::string>("");
    if (v == "old") return old;
    if (v.starts_with("first ")) return given->substr(0, std::stoul(v.substr(6)));
    if (v.starts_with("prompts ")) return prompts(std::stoul(v.substr(8)));
    return v;
}

// What a case sets up that Windows has no counterpart for, if it does.
const char* posix_only(const Case& c) {
    for (const char* directive : {"fsize ", "as ", "terminal ", "signal STOP", "signal TERM"}) {
        if (c.name.find(std::string("setup: ") + directive) != std::string::npos) return directive;
    }
    return nullptr;
}

// The cases whose setup has `directive` (or that have none of these, for ""), each run and
// checked: in three parts, which ctest runs side by side.
void check_cases(const std::string& directive) {
    if (!child_processes) {
        GTEST_SKIP() << "the table runs the program in child processes, from a POSIX system; "
                        "the Windows program is run from Linux, under Wine";
    }
    std::size_t ran = 0;
    for (const Case& c : read_cases()) {
        const auto has = [&](const std::string& d) {
            return c.name.find("setup: " + d) != std::string::npos;
        };
        if (directive.empty() ? has("as ") || has("terminal ") : !has(directive)) continue;
        if (const char* what = windows_program_under_test() ? posix_only(c) : nullptr) {
            std::printf("skipped, needs POSIX (setup: %s): %s\n", what, c.name.c_str());
            continue;
        }
        ++ran;
        SCOPED_TRACE(c.name);
        const RunSetup& setup = c.setup;
        std::optional<std::string> out, file;
#ifdef REVADD_SANITIZED_ALLOCATOR  // which reserves more address space than any limit here
        if (has("as ")) continue;
#endif
        if (c.fields.count("report") && c.fields.at("report") == "unlimited") {
            static std::map<std::string, Outcome> plain;  // the same answers, nothing set up
            RunSetup bare;
            bare.input = setup.input;
            if (!plain.count(setup.input)) plain[setup.input] = run_revadd(bare);
            std::tie(out, file) = std::pair(plain[setup.input].out, plain[setup.input].file);
        } else if (c.fields.count("report")) {
            std::tie(out, file) =
                std::pair(prompts() + "\n" + c.fields.at("report"), c.fields.at("report"));
        } else if (!c.fields.count("out") || !c.fields.count("file")) {
            std::string start;
            std::int32_t range = 0, iterations = 0;
            std::istringstream(setup.input) >> start >> range >> iterations;
            const Report r = reference_report(start, range, iterations);
            std::tie(out, file) = std::pair(prompts() + r.console, r.file);
        }
        Outcome got;
        const auto started = std::chrono::steady_clock::now();
        ASSERT_NO_THROW(got = run_revadd(setup));
        if (!setup.terminal.empty()) {
            // At least as many different status lines as the case asks for (none, for 0), each
            // narrower than the terminal, at most four a second; then the screen as without them.
            const std::vector<std::string> lines = lines_drawn(got.out);
            const std::size_t least =
                c.fields.count("lines") ? std::stoul(c.fields.at("lines")) : 0;
            EXPECT_TRUE(least == 0
                            ? lines.empty()
                            : std::set<std::string>(lines.begin(), lines.end()).size() >= least)
                << got.out;
            EXPECT_LE(lines.size(), 2 + 4 * ((std::chrono::steady_clock::now() - started) /
                                             std::chrono::seconds(1)));
            for (const std::string& line : lines) EXPECT_LT(line.size(), 80u) << line;
            got.out = screen_of(got.out);
        }
        EXPECT_TRUE(same(got.out, expected(c, "out", out, {})));
        EXPECT_TRUE(same(got.err, expected(c, "err", "", {})));
        EXPECT_TRUE(same(got.file, expected(c, "file", file, setup.existing_file)));
        EXPECT_EQ(got.file_is_directory, setup.file_is_directory);
        const std::string status =
            " " + (c.fields.count("status") ? c.fields.at("status") : "0") + " ";
        EXPECT_NE(status.find(" " + std::to_string(got.status) + " "), std::string::npos)
            << got.status;
    }
    if (ran == 0 && windows_program_under_test()) GTEST_SKIP() << "every case needs POSIX";
    EXPECT_GE(ran, 2u);  // the cases file was read
}

TEST(EndToEnd, EveryCaseOfTheTableGivesItsConsoleErrorsFileAndStatus) { check_cases(""); }
TEST(EndToEnd, LessMemoryGivesTheSameReport) { check_cases("as "); }
TEST(EndToEnd, AStatusLineShowsAtATerminalAndLeavesTheScreenAsWithoutIt) {
    check_cases("terminal ");
}

using namespace std::chrono_literals;

// Fields left out are as a line starts: no step, no hit, no time.
TEST(StatusLine, TextGroupsThousandsEstimatesTheRestAndFitsTheWidth) {
    // A range's figures, every field given: numbers in it, searched, hits, elapsed, when
    // `done` last moved, and done when a resumed run began.
    const auto range = [](std::int64_t total, std::int64_t done, std::int64_t count,
                          std::chrono::milliseconds elapsed, std::chrono::milliseconds done_at,
                          std::int64_t done_before = 0) {
        return revadd::StatusFigures{false, total, done, count, elapsed, done_at, done_before};
    };
    const auto wide = range(100000000, 41234567, 3456789, 42s, 42s);
    const std::string full = "searched 41,234,567 of 100,000,000 (41%), 3,456,789 hits, 0:42";
    const struct {
        revadd::StatusFigures figures;
        std::string text;
        std::size_t width = 79;
    } rows[] = {
        {wide, full + ", 1:00 left"},
        {wide, full + ", 1:00 left", 73},
        {wide, full, 72},
        {wide, "searched 41,234,567 of 100,000,000 (41%), 0:42", 55},
        {range(2147483647, 999, 1, 1999ms, 1000ms),
         "searched 999 of 2,147,483,647 (0%), 1 hit, 0:01, 597:07:12 left"},
        {range(1000, 999, 1000, 3723s, 3723s),
         "searched 999 of 1,000 (99%), 1,000 hits, 1:02:03, 0:04 left"},
        {range(10, 9, 9, 20s, 2s), "searched 9 of 10 (90%), 9 hits, 0:20"},  // behind its pace
        {{.total = 7, .elapsed = 500ms}, "searched 0 of 7 (0%), 0 hits, 0:00"},
        {{.total = 10, .elapsed = 2s, .done_at = 1s}, "searched 0 of 10 (0%), 0 hits, 0:02"},
        {{.total = 7, .done = 1}, "searched 1 of 7 (14%), 0 hits, 0:00"},
        {range(10, 1, 0, 2s, 2s), "searched 1 of 10 (10%), 0 hits, 0:02, 0:18 left"},
        {range(1000, 600, 5, 10s, 10s, 500),
         "searched 600 of 1,000 (60%), 5 hits, 0:10, 0:40 left"},  // resumed at 500
        {range(1000, 500, 5, 10s, 10s, 500), "searched 500 of 1,000 (50%), 5 hits, 0:10"},
        {{.total = 7, .done = 7, .count = 123456, .elapsed = 59999ms},
         "searched 7 of 7 (100%), 123,456 hits, 0:59"},
        {{true, 2415836, 1234567, 512345, 12s, 12s},
         "step 1,234,567 of 2,415,836 (51%), 512,345 digits, 0:12"}};
    for (const auto& row : rows) EXPECT_EQ(revadd::status_text(row.figures, row.width), row.text);
}

// The line is first due at half a second, then every quarter, on from now after a pause;
// the estimate of the rest counts from when the count last moved; a terminal that gives
// no width is taken as 80 columns, and the line keeps one column free.
TEST(StatusLine, IsDueOnItsScheduleAndEstimatesFromWhenTheCountLastMoved) {
    revadd::RunProgress progress;
    const revadd::StatusSchedule::Clock::time_point t0{};
    revadd::StatusSchedule wide(progress, 1000, 10, t0), deep(progress, 1, 2415836, t0);
    EXPECT_EQ(wide.next(), t0 + 500ms);
    for (const auto& [at, numbers, columns, text, next] :
         std::vector<std::tuple<std::chrono::milliseconds, int, std::size_t, std::string,
                                std::chrono::milliseconds>>{
             {500ms, 0, 0, "searched 0 of 1,000 (0%), 0 hits, 0:00", 750ms},
             {2000ms, 500, 80, "searched 500 of 1,000 (50%), 1 hit, 0:02, 0:02 left", 2000ms},
             {2250ms, 500, 1, "searched 500 of 1,000 (50%), 1 hit, 0:02, 0:02 left", 2250ms},
             {4000ms, 500, 0, "searched 500 of 1,000 (50%), 1 hit, 0:04", 4000ms},
             {4250ms, 750, 29, "searched 750 of 1,000 (75%)", 4250ms},
             {4500ms, 750, 46, "searched 750 of 1,000 (75%), 1 hit, 0:04", 4500ms}}) {
        progress.numbers = numbers;
        progress.hits = numbers > 0;
        EXPECT_EQ(wide.line(t0 + at, columns), text) << at.count();
        EXPECT_EQ(wide.next(), t0 + next) << at.count();
    }
    progress.steps.steps = 1234567;
    progress.steps.digits = 512345;
    EXPECT_EQ(deep.line(t0 + 12s, 80), "step 1,234,567 of 2,415,836 (51%), 512,345 digits, 0:12");
    // A resumed run: its pace leaves out the numbers searched before it began.
    progress.numbers = 400;
    revadd::StatusSchedule resumed(progress, 1000, 10, t0);
    progress.numbers = 500;
    EXPECT_EQ(resumed.line(t0 + 2s, 80), "searched 500 of 1,000 (50%), 1 hit, 0:02, 0:10 left");
    // A whole line of 80 columns, one more than a terminal that gives no width leaves.
    progress.numbers = 0;
    revadd::StatusSchedule big(progress, 1000000000, 10, t0);
    progress.numbers = 500000000;
    progress.hits = 123456789;
    EXPECT_EQ(big.line(t0 + 600s, 0),
              "searched 500,000,000 of 1,000,000,000 (50%), 123,456,789 hits, 10:00");
    EXPECT_EQ(big.line(t0 + 600s, 81).size(), 80u);
}

}  // namespace
