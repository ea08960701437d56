// The built program run as a user runs it: answers on standard input, then the exact
// bytes of standard output, standard error and palin.txt, and the exit status.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "run_program.hpp"

namespace {

using revadd::testing::Outcome;
using revadd::testing::run_revadd;
using revadd::testing::RunSetup;
using revadd::testing::with_input;
using revadd::testing::Stdout;

const std::string prompt1 = "enter starting number:\n";
const std::string prompt2 = "enter range:\n";
const std::string prompt3 = "enter number of iterations:\n";
const std::string prompts = prompt1 + prompt2 + prompt3;
const std::string non_numeric = "Error: non-numeric input to str2big()\n";
const std::string not_opened = "\noutput file could not be opened\noutput to console only\n";

struct RunCase {
    const char* name;
    std::string input;
    std::string report;                      // standard output after the prompts and empty line
    std::optional<std::string> file = {};    // palin.txt, when it differs from the report
};

// Runs that complete: the console shows the three prompts, an empty line and the
// report; standard error stays empty; the exit status is 0; palin.txt holds the same
// report unless the case says otherwise.
TEST(EndToEnd, CompleteRunsReportEveryHitAndTheSummary) {
    const std::vector<RunCase> cases = {
        {"tens", "10\n5\n10\n",
         "10\n11\n1 iterations\n\n11\n22\n1 iterations\n\n12\n33\n1 iterations\n\n"
         "13\n44\n1 iterations\n\n14\n55\n1 iterations\n\n"
         "5 of 5 numbers in the range\n10 to 15\nformed palindromes in 10 or fewer iterations\n"
         "high iterations: 1\nlow iterations: 1\n"},
        {"eighty-nine", "89 1 30",
         "89\n8813200023188\n24 iterations\n\n"
         "1 of 1 numbers in the range\n89 to 90\nformed palindromes in 30 or fewer iterations\n"
         "high iterations: 24\nlow iterations: 24\n"},
        {"no hit shows high 0 and low 10000", "196\n1\n50\n",
         "0 of 1 numbers in the range\n196 to 197\nformed palindromes in 50 or fewer iterations\n"
         "high iterations: 0\nlow iterations: 10000\n"},
        {"one step each, 99 fails", "99 2 1",
         "100\n101\n1 iterations\n\n"
         "1 of 2 numbers in the range\n99 to 101\nformed palindromes in 1 or fewer iterations\n"
         "high iterations: 1\nlow iterations: 1\n"},
        {"negative start signed on console, bare in file", "-12 3 10",
         "-12\n33\n1 iterations\n\n-13\n44\n1 iterations\n\n-14\n55\n1 iterations\n\n"
         "3 of 3 numbers in the range\n-12 to -15\nformed palindromes in 10 or fewer iterations\n"
         "high iterations: 1\nlow iterations: 1\n",
         "12\n33\n1 iterations\n\n13\n44\n1 iterations\n\n14\n55\n1 iterations\n\n"
         "3 of 3 numbers in the range\n-12 to -15\nformed palindromes in 10 or fewer iterations\n"
         "high iterations: 1\nlow iterations: 1\n"},
        {"plus sign echoed only in the summary", "+7 2 5",
         "7\n55\n2 iterations\n\n8\n77\n2 iterations\n\n"
         "2 of 2 numbers in the range\n+7 to 9\nformed palindromes in 5 or fewer iterations\n"
         "high iterations: 2\nlow iterations: 2\n"},
        {"leading zero counts in the first number only", "012 2 5",
         "012\n222\n1 iterations\n\n13\n44\n1 iterations\n\n"
         "2 of 2 numbers in the range\n012 to 14\nformed palindromes in 5 or fewer iterations\n"
         "high iterations: 1\nlow iterations: 1\n"},
        {"high and low differ", "18 3 10",
         "18\n99\n1 iterations\n\n19\n121\n2 iterations\n\n20\n22\n1 iterations\n\n"
         "3 of 3 numbers in the range\n18 to 21\nformed palindromes in 10 or fewer iterations\n"
         "high iterations: 2\nlow iterations: 1\n"},
        {"zero forms the palindrome 0", "0 1 1",
         "0\n0\n1 iterations\n\n"
         "1 of 1 numbers in the range\n0 to 1\nformed palindromes in 1 or fewer iterations\n"
         "high iterations: 1\nlow iterations: 1\n"},
        {"all-zero range end is 0", "00 0 5",
         "0 of 0 numbers in the range\n00 to 0\nformed palindromes in 5 or fewer iterations\n"
         "high iterations: 0\nlow iterations: 10000\n"},
        {"range 0 runs no pass", "5 0 10",
         "0 of 0 numbers in the range\n5 to 5\nformed palindromes in 10 or fewer iterations\n"
         "high iterations: 0\nlow iterations: 10000\n"},
        {"iterations 0 tests nothing", "5 3 0",
         "0 of 3 numbers in the range\n5 to 8\nformed palindromes in 0 or fewer iterations\n"
         "high iterations: 0\nlow iterations: 10000\n"},
        {"negative range adds its magnitude", "5 -3 10",
         "0 of -3 numbers in the range\n5 to 8\nformed palindromes in 10 or fewer iterations\n"
         "high iterations: 0\nlow iterations: 10000\n"},
        {"most negative range", "5 -2147483648 3",
         "0 of -2147483648 numbers in the range\n5 to 2147483653\n"
         "formed palindromes in 3 or fewer iterations\nhigh iterations: 0\nlow iterations: 10000\n"},
        {"signs and leading zeros in the numeric answers", "10\t+0002\r\n0010\r\n",
         "10\n11\n1 iterations\n\n11\n22\n1 iterations\n\n"
         "2 of 2 numbers in the range\n10 to 12\nformed palindromes in 10 or fewer iterations\n"
         "high iterations: 1\nlow iterations: 1\n"},
        {"most delayed palindrome known to us", "1186060307891929990 1 300",
         "1186060307891929990\n"
         "445626658789764376224378489766538703888847836625984258559634369558524895266387"
         "48888307835667984873422673467987856626544\n"
         "261 iterations\n\n"
         "1 of 1 numbers in the range\n1186060307891929990 to 1186060307891929991\n"
         "formed palindromes in 300 or fewer iterations\nhigh iterations: 261\n"
         "low iterations: 261\n"},
    };
    for (const RunCase& c : cases) {
        SCOPED_TRACE(c.name);
        const Outcome r = run_revadd(with_input(c.input));
        EXPECT_EQ(r.out, prompts + "\n" + c.report);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.file, c.file.value_or(c.report));
    }
}

struct RefusalCase {
    const char* name;
    std::string input;
    std::string out;  // the prompts written before the refusal
    std::string err;
};

// A refused run writes its prompts and one line on standard error, exits with 1, and
// never creates or touches palin.txt.
TEST(EndToEnd, RefusedAnswersEndTheRunAndLeaveTheFileAlone) {
    const std::string range_msg =
        "revadd: the range must be a whole number from -2147483648 to 2147483647\n";
    const std::string iterations_msg =
        "revadd: the number of iterations must be a whole number from -2147483648 to "
        "2147483647\n";
    const std::string too_long = "revadd: the starting number is longer than 999 characters\n";
    const std::vector<RefusalCase> cases = {
        {"no input at all", "", prompt1,
         "revadd: no answer for the starting number (end of input)\n"},
        {"only white space", " \n\t\r\n", prompt1,
         "revadd: no answer for the starting number (end of input)\n"},
        {"no range", "10\n", prompt1 + prompt2, "revadd: no answer for the range (end of input)\n"},
        {"no iterations", "10 5", prompts,
         "revadd: no answer for the number of iterations (end of input)\n"},
        {"range not a number", "10 abc 5", prompt1 + prompt2, range_msg},
        {"range with trailing letter", "10 5x 5", prompt1 + prompt2, range_msg},
        {"range in exponent form", "10 1e3 5", prompt1 + prompt2, range_msg},
        {"range beyond 32 bits", "10 99999999999 5", prompt1 + prompt2, range_msg},
        {"range just past the top", "10 2147483648 5", prompt1 + prompt2, range_msg},
        {"range a lone sign", "10 - 5", prompt1 + prompt2, range_msg},
        {"iterations not a number", "10 5 abc", prompts, iterations_msg},
        {"iterations just past the bottom", "10 5 -2147483649", prompts, iterations_msg},
        {"start of 1000 characters", std::string(1000, '1') + " 1 1", prompt1, too_long},
        {"start of a megabyte", std::string(1 << 20, '7') + "\n1\n1\n", prompt1, too_long},
        {"start with a letter", "12a 1 1", prompts, non_numeric},
        {"start a lone minus", "- 1 1", prompts, non_numeric},
        {"start a lone plus", "+ 1 1", prompts, non_numeric},
        {"start with a second sign", "--1 1 1", prompts, non_numeric},
        {"start with a byte above 127", "1\xC3\xA9 1 1", prompts, non_numeric},
    };
    for (const RefusalCase& c : cases) {
        SCOPED_TRACE(c.name);
        for (const std::optional<std::string>& before :
             {std::optional<std::string>{}, std::optional<std::string>{"earlier results\n"}}) {
            RunSetup setup = with_input(c.input);
            setup.existing_file = before;
            const Outcome r = run_revadd(setup);
            EXPECT_EQ(r.out, c.out);
            EXPECT_EQ(r.err, c.err);
            EXPECT_EQ(r.status, 1);
            EXPECT_EQ(r.file, before);
        }
    }
}

TEST(EndToEnd, StartOf999CharactersIsAccepted) {
    const std::string start(999, '0');
    const Outcome r = run_revadd(with_input(start + " 1 1"));
    const std::string report = "0\n1 iterations\n\n1 of 1 numbers in the range\n" + start +
                               " to 1\nformed palindromes in 1 or fewer iterations\n"
                               "high iterations: 1\nlow iterations: 1\n";
    EXPECT_EQ(r.out, prompts + "\n" + start + "\n" + report);
    EXPECT_EQ(r.file, start + "\n" + report);
    EXPECT_EQ(r.status, 0);
}

TEST(EndToEnd, EachRunReplacesAnEarlierFile) {
    RunSetup setup = with_input("89 1 30");
    setup.existing_file = std::string(10000, 'x') + "\nold results\n";
    const Outcome r = run_revadd(setup);
    EXPECT_EQ(r.file,
              "89\n8813200023188\n24 iterations\n\n"
              "1 of 1 numbers in the range\n89 to 90\nformed palindromes in 30 or fewer "
              "iterations\nhigh iterations: 24\nlow iterations: 24\n");
    EXPECT_EQ(r.status, 0);
}

struct IoFaultCase {
    const char* name;
    RunSetup setup;
    int status;
    std::string err;
    std::string out;                   // the console, as far as it could be read
    std::optional<std::string> file;   // palin.txt, when it is a regular file
    bool file_is_directory = false;
};

RunSetup faulty(std::string input, void (*fault)(RunSetup&)) {
    RunSetup setup = with_input(std::move(input));
    fault(setup);
    return setup;
}

// Nothing is reported as a success that was not written: every failed write turns the
// status to 1 and names the stream and the reason on standard error, after the console
// summary; the file keeps what reached it. A file that cannot even be created is no
// failed write: the console report is complete, and the notice says where it went.
TEST(EndToEnd, FailingStandardStreamsAndFileAreReportedAndNothingMoreIsClaimed) {
    const std::string report_89 =
        "89\n8813200023188\n24 iterations\n\n"
        "1 of 1 numbers in the range\n89 to 90\nformed palindromes in 30 or fewer "
        "iterations\nhigh iterations: 24\nlow iterations: 24\n";
    const std::string report_10 =
        "10\n11\n1 iterations\n\n1 of 1 numbers in the range\n10 to 11\n"
        "formed palindromes in 10 or fewer iterations\nhigh iterations: 1\n"
        "low iterations: 1\n";

    // Runs whose full output the faulty rows are compared with.
    const Outcome many = run_revadd(with_input("1 300 5"));
    ASSERT_EQ(many.status, 0);
    ASSERT_TRUE(many.file.has_value());
    constexpr long size_limit = 1000;
    ASSERT_GT(many.file->size(), static_cast<std::size_t>(size_limit));

    const Outcome lots = run_revadd(with_input("1 3000 30"));
    ASSERT_EQ(lots.status, 0);
    ASSERT_TRUE(lots.file.has_value());
    constexpr std::size_t reader_takes = 200;
    // More than a reader that left could have let through, even with the largest default
    // pipe buffer: the program must write into the closed pipe.
    ASSERT_GT(lots.out.size(), reader_takes + 65536);

    const std::vector<IoFaultCase> cases = {
        {"palin.txt is a directory",
         faulty("10 1 10", [](RunSetup& s) { s.file_is_directory = true; }), 0, not_opened,
         prompts + "\n" + report_10, std::nullopt, true},
        {"file size limit reached while writing palin.txt",
         faulty("1 300 5", [](RunSetup& s) { s.file_size_limit = size_limit; }), 1,
         "revadd: could not write palin.txt: File too large\n", many.out,
         many.file->substr(0, static_cast<std::size_t>(size_limit))},
        {"standard output is /dev/full",
         faulty("89 1 30", [](RunSetup& s) { s.out = Stdout::dev_full; }), 1,
         "revadd: could not write standard output: No space left on device\n", "", report_89},
        {"standard output closed before start",
         faulty("89 1 30", [](RunSetup& s) { s.out = Stdout::closed; }), 1,
         "revadd: could not write standard output: Bad file descriptor\n", "", report_89},
        {"standard output a pipe whose reader is gone",
         faulty("89 1 30", [](RunSetup& s) { s.out = Stdout::reader_gone; }), 1,
         "revadd: could not write standard output: Broken pipe\n", "", report_89},
        {"standard output a pipe whose reader leaves mid-run",
         faulty("1 3000 30",
                [](RunSetup& s) {
                    s.out = Stdout::reader_leaves;
                    s.reader_leaves_after = 200;
                }),
         1, "revadd: could not write standard output: Broken pipe\n",
         lots.out.substr(0, reader_takes), *lots.file},
        {"standard input closed", faulty("", [](RunSetup& s) { s.stdin_closed = true; }), 1,
         "revadd: no answer for the starting number (end of input)\n", prompt1, std::nullopt},
    };
    for (const IoFaultCase& c : cases) {
        SCOPED_TRACE(c.name);
        const Outcome r = run_revadd(c.setup);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.term_signal, 0);
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.file, c.file);
        EXPECT_EQ(r.file_is_directory, c.file_is_directory);
    }
}

// The harness itself: signals wait for their output, go in order, and a run that never
// ends is cut off with an error instead of stalling the suite.
const std::string endless = "196 1 100000000";

TEST(RunProgram, SignalRightAfterStartKillsTheProgram) {
    RunSetup setup = with_input(endless);
    setup.signals = {{"", 200, SIGKILL}};
    const auto start = std::chrono::steady_clock::now();
    const Outcome r = run_revadd(setup);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(200));
    EXPECT_EQ(r.term_signal, SIGKILL);
    EXPECT_EQ(r.status, 128 + SIGKILL);
    EXPECT_EQ(r.signals_sent, 1u);
    EXPECT_EQ(r.err, "");
}

TEST(RunProgram, EachSignalWaitsForItsOutputAndForTheOneBefore) {
    RunSetup setup = with_input(endless);
    // Delays count from the signal before, so the kill comes 300 ms after the first
    // prompt at the earliest; the program is stopped and continued on the way.
    setup.signals = {{prompt1, 100, SIGSTOP}, {"", 100, SIGCONT}, {prompts, 100, SIGKILL}};
    const auto start = std::chrono::steady_clock::now();
    const Outcome r = run_revadd(setup);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));
    EXPECT_EQ(r.term_signal, SIGKILL);
    EXPECT_EQ(r.signals_sent, 3u);
    EXPECT_EQ(r.out.substr(0, prompts.size()), prompts);
}

TEST(RunProgram, SignalWhoseOutputNeverComesIsNotSent) {
    RunSetup setup = with_input("89 1 30");
    setup.signals = {{"8813200023188\n25 iterations", 0, SIGKILL}};
    const Outcome r = run_revadd(setup);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.term_signal, 0);
    EXPECT_EQ(r.signals_sent, 0u);
}

TEST(RunProgram, RunThatOutlastsItsTimeoutIsKilledAndThrows) {
    RunSetup setup = with_input(endless);
    setup.timeout = std::chrono::milliseconds(300);
    const auto start = std::chrono::steady_clock::now();
    try {
        run_revadd(setup);
        ADD_FAILURE() << "a run that never ends came back";
    } catch (const std::runtime_error& e) {
        EXPECT_THAT(e.what(), ::testing::HasSubstr("still running after 300 ms"));
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

}  // namespace
