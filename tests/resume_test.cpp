// Resuming a stopped run: the resume file read back as written or refused whole, a search
// taken up part-way, and the built program stopped (by a signal, or killed with no chance
// to save) and run again until it ends with the bytes of a run never stopped.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <thread>

#include "cli/result_file.hpp"
#include "cli/resume_file.hpp"
#include "engine/trajectory.hpp"
#include "reference.hpp"
#include "run_program.hpp"

namespace {

using namespace revadd;
using namespace revadd::tests;
namespace fs = std::filesystem;

ResumePoint some_point() {
    ResumePoint p{"-0012",      2147483647,         2000, 2147483646, *Tally::of(3, 24, 1),
                  123456789012, 0xfedcba9876543210, {}};
    p.trajectory = {1000, 5, std::string("\x01\x63\x09", 3)};
    return p;
}

std::string why_refused(const std::string& bytes) {
    const auto decoded = decode_resume(bytes);
    return std::holds_alternative<std::string>(decoded) ? std::get<std::string>(decoded) : "";
}

TEST(ResumeFile, ReadsBackWhatWasWrittenAndRefusesAnyChangedOrMissingByte) {
    const ResumePoint point = some_point();
    const std::string bytes = encode_resume(point);
    const auto back = std::get<ResumePoint>(decode_resume(bytes));
    const auto fields = [](const ResumePoint& p) {
        return std::tuple(p.start_text, p.range, p.iterations, p.searched, p.tally.count(),
                          p.tally.high(), p.tally.low(), p.file_bytes, p.file_checksum,
                          p.trajectory.steps, p.trajectory.digits, p.trajectory.limbs);
    };
    EXPECT_EQ(fields(back), fields(point));
    for (std::size_t at = 0; at < bytes.size(); ++at) {
        EXPECT_NE(why_refused(bytes.substr(0, at)), "") << at;
        for (const int flip : {1, 0x80}) {
            std::string changed = bytes;
            changed[at] = static_cast<char>(changed[at] ^ flip);
            EXPECT_NE(why_refused(changed), "") << at;
        }
    }
    // Whole files of what no run writes: the checksum holds, the head does not.
    const auto with = [&](auto change) {
        ResumePoint p = some_point();
        change(p);
        return encode_resume(p);
    };
    // The head with one field written otherwise, sealed with its right checksum.
    const auto sealed = [&](const std::string& from, const std::string& to) {
        std::string body = bytes.substr(0, bytes.size() - 26);
        body.replace(body.find(from), from.size(), to);
        char line[32];
        std::snprintf(line, sizeof line, "checksum %016llx\n",
                      static_cast<unsigned long long>(checksum(body)));
        return body + line;
    };
    std::string later = bytes;
    later[14] = '2';
    const std::string head = "its head is not as this revadd writes it";
    for (const auto& [text, why] : std::vector<std::pair<std::string, std::string>>{
             {"", "it is not a resume file of this revadd"},
             {"palin.txt\n", "it is not a resume file of this revadd"},
             {std::string(100, 'r'), "it is not a resume file of this revadd"},
             {later, "it was made by another version of revadd"},
             {"revadd resume 1\nchecksum", "it is cut short"},
             {bytes + "\n", "it is damaged or cut short (its checksum does not match)"},
             {with([](auto& p) { p.searched = p.range + 1LL; }), head},
             {with([](auto& p) { p.searched = -1; }), head},
             {with([](auto& p) { p.tally = *Tally::of(4, 5, 5), p.searched = 3; }), head},
             {with([](auto& p) { p.tally = *Tally::of(1, 2001, 2001); }), head},
             {with([](auto& p) { p.range = 0, p.searched = 0, p.tally = Tally(); }), head},
             {with([](auto& p) { p.iterations = 1000; }), head},
             {with([](auto& p) { p.trajectory.steps = 0; }), head},
             {with([](auto& p) { p.searched = p.range; }), head},
             {with([](auto& p) { p.trajectory.limbs[1] = 100; }), head},
             {with([](auto& p) { p.trajectory.limbs[2] = 10; }), head},
             {with([](auto& p) { p.trajectory.limbs[2] = 0; }), head},
             {with([](auto& p) { p.trajectory.digits = 6; }), head},
             {sealed("hits 3 24 1", "hits 3 1 24"), head},
             {sealed("hits 3 24 1", "hits 0 0 1"), head},
             {sealed("hits 3 24 1", "hits 3 24 0"), head},
             {sealed("hits 3 24 1", "hits 3 24"), head},
             {sealed("searched 2147483646", "searched 2147483646x"), head},
             {sealed("trajectory 1000 5", "trajectory 1000 5 1"), head},
             {sealed("answers", "answer"), head},
             {with([](auto& p) { p.start_text = "1 2"; }), ""},
             {with([](auto& p) { p.iterations = 1, p.tally = {}, p.trajectory = {}; }), ""},
             {with([](auto& p) { p.trajectory = {}; }), ""},
             {with([](auto& p) {
                  p.trajectory = {1999, 1, std::string(1, '\0')};
              }),
              ""},
             {with([](auto& p) {
                  p.trajectory = {1, 2, std::string(1, 10)};
              }),
              ""}}) {
        EXPECT_EQ(why_refused(text), why) << text;
    }
}

TEST(ResumeFile, TheChecksumIsTheSameHoweverTheTextIsCutAndChangesWithAnyByte) {
    std::string text;
    for (int i = 0; i < 100; ++i) text.push_back(static_cast<char>(i * 37));
    const std::uint64_t whole = checksum(text);
    for (std::size_t a = 0; a <= text.size(); a += 7) {
        for (std::size_t b = a; b <= text.size(); b += 5) {
            Checksum pieces;
            for (const auto& [from, to] : {std::pair{std::size_t{0}, a}, {a, b}, {b, text.size()}})
                pieces.add(std::string_view(text).substr(from, to - from));
            EXPECT_EQ(pieces.value(), whole) << a << ' ' << b;
            EXPECT_EQ(pieces.bytes(), text.size());
        }
        std::string changed = text;
        changed[a % text.size()] ^= 4;
        EXPECT_NE(checksum(changed), whole) << a;
        EXPECT_NE(checksum(text.substr(0, a) + '\0' + text.substr(a)), whole) << a;
    }
    EXPECT_NE(checksum(""), checksum(std::string(1, '\0')));
    // As the files this version writes hold it: a resume file is checked with this function.
    EXPECT_EQ(checksum(text), UINT64_C(0xb97ea17b91bce41d));
}

TrajectoryPoint point_of(const Trajectory& t) {
    return {static_cast<std::int32_t>(t.steps()), t.size(),
            std::string(t.limbs(), t.limbs() + limbs_for(t.size()))};
}

TrajectoryPoint after_steps(const std::string& digits, int steps) {
    Trajectory t;
    t.assign(digits);
    for (int i = 0; i < steps; ++i) t.step();
    return point_of(t);
}

// palin.txt is read back a mebibyte at a time: a kept part shorter than one piece and one
// a byte past it come back whole, the rest cut away; a checksum of other bytes keeps
// nothing and leaves the file as it was.
TEST(ResultFile, KeepsTheBytesOfItsChecksumReadInPieces) {
    const TempDir dir;
    const fs::path was = fs::current_path();
    fs::current_path(dir.path);
    std::string text((std::size_t{1} << 20) + 9, '\0');
    for (std::size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>(i * 31 % 251);
    for (const std::size_t kept : {std::size_t{5}, (std::size_t{1} << 20) + 1}) {
        SCOPED_TRACE(kept);
        write_file(ResultFile::path, text);
        const std::string_view want = std::string_view(text).substr(0, kept);
        ResultFile file;
        ASSERT_EQ(file.open(), ResultFile::Opened::yes);
        EXPECT_FALSE(file.keep_first(kept, checksum(want) ^ 1));
        ASSERT_TRUE(file.keep_first(kept, checksum(want)));
        std::string back;
        EXPECT_TRUE(file.read_kept([&](std::string_view piece) { back += piece; }));
        EXPECT_TRUE(file.close());
        EXPECT_EQ(back, want);
        EXPECT_EQ(read_file(ResultFile::path), want);
    }
    fs::current_path(was);
}

TEST(ResumedSearch, TakesUpTheRangeAtAnyNumberAndANumberAtAnyStep) {
    // The first number as the job has it: the digits of the start, leading zeros kept.
    for (const auto& [start, count, limit, first, steps, rest_start] : std::vector<
             std::tuple<std::string, std::int32_t, std::int32_t, std::int64_t, int, std::string>>{
             {"1186060307891929990", 1, 300, 0, 1, ""},
             {"1186060307891929990", 1, 300, 0, 260, ""},
             {"1186060307891929990", 3, 261, 1, 0, "1186060307891929991"},
             {"89", 10, 30, 0, 23, ""},
             {"0089", 10, 30, 9, 10, "98"},
             {"-0012", 300, 100, 37, 0, "-49"},
             {"-0012", 300, 100, 175, 7, "-187"}}) {
        SCOPED_TRACE(start + " from " + std::to_string(first));
        const bool negative = start[0] == '-';
        const std::string digits = start.substr(negative ? 1 : 0);
        const std::string number = rest_start.empty() ? digits : rest_start.substr(negative);
        const TrajectoryPoint point = after_steps(number, steps);
        RangeJob job{digits, count, limit, negative, first, steps > 0 ? &point : nullptr};
        Collector got;
        got.take_points = true;
        search_range(job, {.threads = 2, .stop = &got.flag}, got);
        const Report truth = reference_report(rest_start.empty() ? start : rest_start,
                                              static_cast<std::int32_t>(count - first), limit);
        EXPECT_TRUE(same(got.file, truth.hits));
        EXPECT_EQ(got.searched_end, count);
    }
    // A number searched alone hands over its point every so many steps, and where it is
    // stopped: taken up there, it ends as it would have.
    Collector stopped;
    stopped.take_points = true;
    search_range({"196", 1, 100000, false}, {.stop = &stopped.flag}, stopped);
    ASSERT_TRUE(stopped.point);
    const TrajectoryPoint expected = after_steps("196", stopped.point->steps);
    EXPECT_EQ(std::tuple(stopped.point->digits, stopped.point->limbs),
              std::tuple(expected.digits, expected.limbs));
    EXPECT_EQ(stopped.searched_end, 0);
    // Stopped before its first step, a number has no point to hand over.
    Collector before;
    before.take_points = true;
    before.flag = SIGINT;
    TrajectorySearch search(100, nullptr, nullptr, &before.flag);
    search.keep_points(&before);
    EXPECT_EQ(search.search("196"), TrajectorySearch::stopped);
    EXPECT_FALSE(before.point);
}

// kill_now, which the headers of Windows (where these tests skip) lack.
constexpr int kill_now = 9;

// The built program, run in one directory again and again.
struct Step {
    int signal = 0;    // 0: the run ends by itself
    int after_ms = 0;  // in a table of runs: percent of the time a whole run takes
    bool quick_saves = false;
    std::string after_output = "iterations:\n";  // the last prompt, or a hit's last line
};

Outcome run_in(const fs::path& dir, const std::string& input, const Step& step = {}) {
    RunSetup s;
    s.input = input;
    s.directory = dir;
    if (step.quick_saves) s.program = REVADD_QUICK_SAVES_EXE;
    // A kill waits for a first save: before it, there is nothing to resume from.
    if (step.signal != 0) {
        s.signals = {{step.after_output, step.after_ms, step.signal}};
        if (step.quick_saves) s.signals_after_file = "revadd.resume";
    }
    return run_revadd(s);
}

bool resumed_line(const std::string& err) {
    return err.starts_with("revadd: resuming from revadd.resume at ") &&
           err.ends_with(" hits before it); delete revadd.resume to start over\n") &&
           err.find('\n') == err.size() - 1;
}

const std::string saved =
    "revadd: revadd.resume keeps where it stopped: the same answers given again in this "
    "directory carry on from there\n";

bool without_signals() { return !child_processes || windows_program_under_test(); }

TEST(ResumedRun, StoppedAndRunAgainEndsWithTheBytesOfARunNeverStopped) {
    if (without_signals()) GTEST_SKIP() << "needs POSIX signals";
    for (const auto& [input, steps] : std::vector<std::pair<std::string, std::vector<Step>>>{
             {"196 1 150000", {{SIGINT, 25}, {SIGTERM, 25}, {SIGINT, 25}}},
             {"-0010000700000 1500 10000", {{SIGINT, 30}, {SIGTERM, 30}}},
             {"+0 500000 300", {{kill_now, 5, true}, {SIGINT, 30}}},
             {"10000700000 1500 10000", {{kill_now, 20, true}, {kill_now, 20, true}}},
             {"196 1 150000", {{kill_now, 20, true}, {SIGINT, 30}}}}) {
        SCOPED_TRACE(input);
        const TempDir straight_dir, dir;
        const auto begun = std::chrono::steady_clock::now();
        const Outcome straight = run_in(straight_dir.path, input);
        ASSERT_EQ(straight.status, 0);
        // Each stop comes after its share of the time the run takes here: the same rows
        // then stop part-way on a fast machine, under an emulator and under a sanitizer.
        const auto whole = std::chrono::steady_clock::now() - begun;
        // Each run resumes from the one before; the last of them, or one that ended before
        // its signal (a fast machine), ends the run.
        int stops = 0;
        std::optional<Outcome> ended;
        for (Step step : steps) {
            step.after_ms = static_cast<int>(
                std::chrono::duration_cast<std::chrono::milliseconds>(whole).count() *
                step.after_ms / 100);
            Outcome o = run_in(dir.path, input, step);
            if (o.status == 0) {
                ended = std::move(o);
                break;
            }
            ++stops;
            EXPECT_EQ(o.status, 128 + step.signal);
            EXPECT_TRUE(fs::exists(dir.path / "revadd.resume"));
            if (step.signal != kill_now) {
                EXPECT_TRUE(o.err.ends_with("no summary\n" + saved)) << o.err;
            }
        }
        ASSERT_GT(stops, 0) << "no run was stopped: nothing was resumed";
        const Outcome last = ended ? *ended : run_in(dir.path, input);
        EXPECT_TRUE(same(last.out, straight.out));
        EXPECT_TRUE(same(last.file, straight.file));
        EXPECT_TRUE(resumed_line(last.err)) << last.err;
        // One number is taken up part-way along its trajectory, not from its start.
        EXPECT_EQ(input.find(" 1 ") != std::string::npos,
                  last.err.find(" at step ") != std::string::npos)
            << last.err;
        EXPECT_EQ(last.status, 0);
        EXPECT_FALSE(fs::exists(dir.path / "revadd.resume"));
    }
}

TEST(ResumedRun, AFileThatCannotBeTakenUpIsLeftAloneAndTheRunStartsOver) {
    if (without_signals()) GTEST_SKIP() << "needs POSIX signals";
    const std::string input = "-0010000700000 1500 10000";
    const TempDir straight_dir;
    const Outcome straight = run_in(straight_dir.path, input);
    // Stopped once a hit has been written, so that palin.txt has bytes to lose.
    const TempDir stopped;
    ASSERT_EQ(run_in(stopped.path, input, {SIGINT, 20, false, " iterations\n\n"}).status, 130);
    // A file of the stopped run's directory edited (none: removed), and why it is not used.
    using Edit = std::function<void(std::string&)>;
    const std::string damaged = "it is damaged or cut short (its checksum does not match)",
                      palin_changed = "palin.txt is not as that run left it";
    const std::tuple<std::string, std::string, Edit, std::string> rows[] = {
        {"cut short", "revadd.resume", [](auto& t) { t.resize(t.size() / 2); }, damaged},
        {"a byte changed", "revadd.resume", [](auto& t) { t[40] ^= 1; }, damaged},
        {"another version", "revadd.resume", [](auto& t) { t[14] = '7'; },
         "it was made by another version of revadd"},
        {"not one", "revadd.resume", [](auto& t) { t = "hits 1\n"; },
         "it is not a resume file of this revadd"},
        {"palin.txt edited", "palin.txt", [](auto& t) { t[3] ^= 1; }, palin_changed},
        {"palin.txt removed", "palin.txt", nullptr, palin_changed},
        {"other answers", "", nullptr, "it was made for other answers"}};
    for (const auto& [what, file, edit, why] : rows) {
        SCOPED_TRACE(what);
        const TempDir dir;
        fs::copy(stopped.path, dir.path, fs::copy_options::recursive);
        if (edit) {
            std::string text = read_file(dir.path / file);
            edit(text);
            write_file(dir.path / file, text);
        } else if (!file.empty()) {
            fs::remove(dir.path / file);
        }
        const bool other = what == "other answers";
        const std::string answers = other ? "-10000700000 1500 10000" : input;
        const Outcome o = run_in(dir.path, answers);
        const Outcome& truth = other ? run_in(straight_dir.path, answers) : straight;
        EXPECT_TRUE(same(o.out, truth.out));
        EXPECT_TRUE(same(o.file, truth.file));
        EXPECT_EQ(o.err, "revadd: revadd.resume not used: " + why + "; starting over\n");
        EXPECT_EQ(o.status, 0);
        EXPECT_FALSE(fs::exists(dir.path / "revadd.resume"));
    }
}

// The file is read in pieces of 64 KiB: one of a length a byte past a piece, made from a
// point of 196's trajectory, is taken up whole and ends as a run never stopped does.
TEST(ResumedRun, AFileAByteLongerThanTheReadPiecesIsTakenUpWhole) {
    if (!child_processes) GTEST_SKIP() << "runs the program in a child process";
    const std::string input = "196 1 320000";
    Trajectory t;
    t.assign("196");
    ASSERT_EQ(t.search(315800), 0);
    std::string bytes;
    while (bytes.size() % 65536 != 1) {
        ASSERT_LT(bytes.size(), 65537u) << "begun past the length sought";
        t.step();
        bytes = encode_resume({"196", 1, 320000, 0, {}, 0, checksum(""), point_of(t)});
    }
    const TempDir dir, straight_dir;
    write_file(dir.path / "revadd.resume", bytes);
    write_file(dir.path / "palin.txt", "");
    const Outcome resumed = run_in(dir.path, input), straight = run_in(straight_dir.path, input);
    EXPECT_TRUE(resumed.err.starts_with("revadd: resuming from revadd.resume at step " +
                                        std::to_string(t.steps()) + " of 196"))
        << resumed.err;
    EXPECT_TRUE(same(resumed.out, straight.out));
    EXPECT_TRUE(same(resumed.file, straight.file));
    EXPECT_EQ(resumed.status, 0);
}

TEST(ResumedRun, AResumeFileThatWouldCountHitsNotOnTheDiskIsNotWritten) {
    if (without_signals()) GTEST_SKIP() << "needs POSIX signals";
    RunSetup s;
    s.input = "10000700000 20000 10000";
    s.limits = {{Limit::file_size, 1000}};
    s.signals = {{"iterations:\n", 300, SIGINT}};
    const TempDir dir;
    s.directory = dir.path;
    const Outcome o = run_revadd(s);
    EXPECT_TRUE(
        o.err.starts_with("revadd: could not write revadd.resume: palin.txt could not be "
                          "flushed to the disk\nrevadd: could not write palin.txt: "))
        << o.err;
    EXPECT_EQ(o.status, 130);
    EXPECT_FALSE(fs::exists(dir.path / "revadd.resume"));
}

TEST(ResumedRun, ASecondRunInTheSameDirectoryLeavesTheFilesOfTheFirstAlone) {
    if (without_signals()) GTEST_SKIP() << "needs POSIX signals";
    const TempDir dir;
    Outcome first;
    std::thread running([&] { first = run_in(dir.path, "196 1 2147483647", {SIGINT, 1500}); });
    // The first holds palin.txt once it has made it, however slowly it starts.
    for (int waited = 0; !fs::exists(dir.path / "palin.txt") && waited < 3000; ++waited) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const Outcome second = run_in(dir.path, "1 10 10");
    running.join();
    const TempDir alone_dir;
    EXPECT_TRUE(same(second.out, run_in(alone_dir.path, "1 10 10").out));
    EXPECT_EQ(second.err,
              "revadd: palin.txt is in use by another revadd in this directory: this run leaves "
              "it and revadd.resume alone\n\noutput file could not be opened\noutput to console "
              "only\n");
    EXPECT_EQ(first.status, 130);
    EXPECT_TRUE(first.err.ends_with(saved));
    EXPECT_EQ(read_file(dir.path / "palin.txt"), "");
    const Outcome again = run_in(dir.path, "196 1 2147483647", {SIGINT, 100});
    EXPECT_TRUE(resumed_line(again.err.substr(0, again.err.find('\n') + 1))) << again.err;
}

}  // namespace
