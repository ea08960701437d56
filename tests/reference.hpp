// What the code under test must give, worked out the slow and obvious way, and the
// checks against it that the unit tests and the fuzz targets share: each returns "" when
// the code agrees, or what differs.
#pragma once

#include <atomic>
#include <chrono>
#include <csignal>
#include <optional>

#include "engine/reverse_add_kernel.hpp"
#include "search/range_search.hpp"

namespace revadd {
class StepTeam;
}

namespace revadd::tests {

// The prompts shown up to the one for the `asked`-th answer (0 to 3).
std::string prompts(std::size_t asked = 3);

// A run's report by schoolbook sums of digit strings; nothing of the tool's code is used.
struct Report {
    std::string console, file, hits;  // console after the prompts; palin.txt; its records
    std::int32_t count = 0, high = 0, low = 10000;
};
Report reference_report(const std::string& start, std::int32_t range, std::int32_t iterations);

// The digits plus their reversal, by schoolbook sums; and the limbs of the digits, two
// digits a byte, least significant first.
std::string reverse_and_add(const std::string& digits);
std::vector<std::uint8_t> limbs_of(const std::string& digits);

// A run cut short keeps every hit record of `truth` below `first_unsearched`, and beyond
// it only records of `truth`, in order and whole.
bool keeps_every_hit_before(const std::string& got, const std::string& truth,
                            std::int64_t first_unsearched);

// What a range search hands on; it raises the stop flag after `stop_after` writes, or at
// the first point it takes, holds up its first write and its first catching up for
// `hold_up`, and marks calls that overlap.
struct Collector final : ChunkWriter {
    std::atomic<int> flag{0};
    std::atomic<bool> busy{false}, overlapped{false};
    int stop_after = -1;
    bool take_points = false;
    std::chrono::milliseconds hold_up{0};
    std::string console, file, calls;  // calls: 'w' a write, 'c' caught up
    std::optional<std::int64_t> stopped_at;
    std::int64_t searched_end = -1;  // the last reported
    std::optional<TrajectoryPoint> point;
    void write(std::string_view c, std::string_view f) override { call('w', c, f); }
    void caught_up() override { call('c', {}, {}); }
    void searched(std::int64_t end, const Tally&) override { searched_end = end; }
    bool point_due() override { return take_points; }
    void point_reached(const TrajectoryPoint& p) override {
        point = p;
        flag = SIGINT;
    }
    void stopped(std::int64_t n) override {
        calls += stopped_at ? "stopped twice" : "";
        stopped_at = n;
    }
    void call(char what, std::string_view c, std::string_view f);
    Tally run(const std::string& start, std::int32_t count, std::int32_t limit, RunOptions options);
};

// Every kernel the CPU runs, and the AVX-512 one on emulated intrinsics where it lacks them.
std::vector<const ReverseAddKernel*> kernels_to_check();

// Every kernel's limbs [begin, end) of `digits` plus its reversal with `carry` coming in
// (of a whole sum, teams of threads too, and the team given) against limbs worked out from
// the text; nothing else written, and the palindrome test of the digits right.
std::string check_kernels(const std::string& digits, std::size_t begin, std::size_t end,
                          unsigned carry, StepTeam* given = nullptr);

// The range searched with `options` against the reference: hits, text and tally.
std::string check_range(const std::string& start, std::int32_t count, std::int32_t limit,
                        RunOptions options);

}  // namespace revadd::tests
