// The engine: every kernel and teams of threads against limbs worked out from the text,
// the choice to share a step fed made-up times, the carry patch after a shared step,
// trajectories against the step-by-step search.
#include <gtest/gtest.h>

#include <numeric>
#include <random>
#include <thread>

#include "base/threads.hpp"
#include "engine/carry_patch.hpp"
#include "engine/engine_tuning.hpp"
#include "engine/share_policy.hpp"
#include "engine/step_team.hpp"
#include "engine/trajectory.hpp"
#include "reference.hpp"
#include "reference_search.hpp"

namespace {

using namespace revadd;
std::mt19937 rng(20261207);  // the failure messages name the numbers drawn

// n random digits; the first not 0 with `lead`.
std::string random_digits(std::size_t n, bool lead = false) {
    std::string s(n, '0');
    for (char& c : s) c = static_cast<char>('0' + rng() % 10);
    if (lead) s[0] = static_cast<char>('1' + rng() % 9);
    return s;
}

// Digit pairs d[k] + d[n-1-k] summing to 9 but a pair of 10 or more at `from` and one
// below 9 at `to`: a carry born at `from` runs through every limb up to `to`.
std::string carry_run(std::size_t n, std::size_t from, std::size_t to) {
    std::string digits(n, '0');
    for (std::size_t k = 0; 2 * k < n; ++k) {
        const int sum = k == from ? 10 + static_cast<int>(rng() % 9)
                        : k == to ? static_cast<int>(rng() % 9)
                                  : 9;
        const int low = std::max(sum - 9, 0),
                  d = 2 * k + 1 == n ? sum / 2
                                     : low + static_cast<int>(rng() % (std::min(sum, 9) - low + 1));
        digits[k] = static_cast<char>('0' + d);
        digits[n - 1 - k] = static_cast<char>('0' + sum - d);
    }
    return digits;
}

// Carries born at every place and stopped anywhere after; through every segment a team
// cuts a sum into, across the boundaries of a few, and into the later blocks a vector
// kernel checks for a lost carry.
std::vector<std::string> carry_runs() {
    std::vector<std::string> numbers;
    for (std::size_t n : {260, 261}) {
        for (std::size_t from = 0; from < n / 2; ++from)
            numbers.push_back(carry_run(n, from, from + 1 + rng() % (n / 2 - from)));
    }
    for (std::size_t from : {0, 374, 748, 749, 750, 1497})
        numbers.push_back(carry_run(3001, from, from == 0 ? 3001 : from + 5 + rng() % 200));
    for (std::size_t from : {0, 4090, 8180, 8192})
        numbers.push_back(carry_run(20001, from, from + 300 + rng() % 2000));
    return numbers;
}

TEST(Kernels, EverySegmentMatchesPlainLimbsAndEveryChangedDigitUndoesAPalindrome) {
    std::vector<std::string> numbers = carry_runs();
    for (const char* digits : {"0", "00", "012", "000100"}) numbers.emplace_back(digits);
    for (std::size_t n = 1; n <= 300; ++n) numbers.push_back(random_digits(n));
    for (int i = 0; i < 40; ++i) numbers.push_back(random_digits(301 + rng() % 4700));
    for (std::size_t n : {64, 127, 128, 129, 256, 257, 1000}) numbers.emplace_back(n, '9');
    for (const std::string& digits : numbers) {
        const std::size_t m = limbs_for(digits.size());
        ASSERT_EQ(tests::check_kernels(digits, 0, m, 0), "");
        for (int i = 0; i < 3; ++i) {
            const std::size_t a = rng() % (m + 1), b = rng() % (m + 1);
            ASSERT_EQ(tests::check_kernels(digits, std::min(a, b), std::max(a, b), rng() % 2), "");
        }
    }
    for (std::size_t n = 0; n <= 520; n += n < 300 ? 1 : 73) {
        std::string palindrome = random_digits(n);
        std::copy(palindrome.begin(), palindrome.begin() + static_cast<std::ptrdiff_t>(n / 2),
                  palindrome.rbegin());
        for (std::size_t k = 0; k <= n; ++k) {  // k == n leaves it a palindrome
            std::string digits = palindrome;
            if (k < n) digits[k] = static_cast<char>('0' + (digits[k] - '0' + 1 + rng() % 9) % 10);
            ASSERT_EQ(tests::check_kernels(digits, 0, 0, 0), "");
        }
    }
}

// Buffers for a run: `room` limbs with kernel_guard zeros below, `digits` at the start
// and bytes no number holds above it, and a guard after the room that may be written.
std::vector<std::uint8_t> run_buffer(const std::string& digits, std::size_t room) {
    std::vector<std::uint8_t> buffer(kernel_guard + room + 2 * kernel_guard, 0xA5);
    std::fill_n(buffer.begin(), kernel_guard, 0);
    const std::vector<std::uint8_t> limbs = tests::limbs_of(digits);
    std::copy(limbs.begin(), limbs.end(), buffer.begin() + kernel_guard);
    return buffer;
}

// A kernel's run of at most `most` steps of `digits` (no leading zero) with `room` limbs,
// against the schoolbook sum step by step: the steps, the palindrome found, the digits
// left and the buffer they are in; nothing written below the buffers or past the guard.
std::string check_run(const ReverseAddKernel& kernel, const std::string& digits, std::uint32_t most,
                      std::size_t room) {
    std::string want = digits;
    std::uint32_t steps = 0;
    bool palindrome = false;
    while (!palindrome && steps < most && limbs_for(want.size()) < room) {
        want = tests::reverse_and_add(want);
        ++steps;
        palindrome = std::equal(want.begin(), want.end(), want.rbegin());
    }
    const std::size_t n = want.size();
    std::vector<std::uint8_t> a = run_buffer(digits, room), b = a;
    StepRun run{a.data() + kernel_guard, b.data() + kernel_guard, digits.size(), room, !palindrome};
    const std::uint32_t taken = kernel.add_reversed_steps(run, most);
    const std::string where = std::string(kernel.name) + " on " + digits.substr(0, 40) + "... (" +
                              std::to_string(digits.size()) + " digits), " + std::to_string(most) +
                              " steps, room " + std::to_string(room) + ": ";
    if (taken != steps)
        return where + std::to_string(taken) + " steps, not " + std::to_string(steps);
    if (run.palindrome != palindrome) return where + "palindrome";
    if (run.number != (steps % 2 == 0 ? a : b).data() + kernel_guard ||
        run.spare != (steps % 2 == 0 ? b : a).data() + kernel_guard)
        return where + "buffers";
    if (run.digits != n ||
        std::vector<std::uint8_t>(run.number, run.number + limbs_for(n)) != tests::limbs_of(want))
        return where + "digits";
    for (const std::vector<std::uint8_t>* buffer : {&a, &b}) {
        if (std::any_of(buffer->begin(), buffer->begin() + kernel_guard,
                        [](auto x) { return x; }) ||
            std::any_of(buffer->end() - kernel_guard, buffer->end(),
                        [](auto x) { return x != 0xA5; }))
            return where + "wrote outside";
    }
    return "";
}

TEST(Kernels, RunsOfStepsMatchTheSchoolbookSumStepByStep) {
    const auto starts = [](std::size_t from, std::size_t to, bool grow) {
        std::vector<std::string> numbers;
        for (std::size_t n = from; n <= to; ++n) {
            numbers.push_back(random_digits(n, true));
            if (grow) numbers.back()[0] = numbers.back()[n - 1] = '9';  // a carry out at once
        }
        return numbers;
    };
    std::vector<std::string> long_numbers = {random_digits(16384, true),
                                             random_digits(20001, true)};
    for (int i = 0; i < 20; ++i) long_numbers.push_back(random_digits(301 + rng() % 4700, true));
    std::vector<std::string> runs = carry_runs();  // the long ones made starts that grow at once
    for (std::string& digits : runs) digits[0] = digits.size() > 261 ? '9' : digits[0];
    std::erase_if(runs, [](const std::string& digits) { return digits[0] == '0'; });
    const std::size_t plenty = 1 << 14;  // limbs beyond the number's: never the end of a run
    const struct {
        std::vector<std::string> numbers;
        std::uint32_t most;
        std::size_t room;  // limbs beyond the number's
    } cases[] = {{starts(1, 300, false), 40, plenty},
                 {starts(1, 300, true), 3, plenty},
                 {{"89", "10911", "1186060307891929990", "0", "5", "196"}, 300, plenty},
                 {{"89", "10911"}, 23, plenty},  // the steps asked, up to a palindrome's
                 {{"89", "10911"}, 24, plenty},
                 {{"89", "10911"}, 55, plenty},
                 {runs, 2, plenty},
                 {long_numbers, 4, plenty},
                 {starts(1, 140, false), 50, 0},  // no room, for a step or two, for a few
                 {starts(1, 140, true), 50, 1},
                 {starts(120, 300, false), 50, 3}};
    for (const ReverseAddKernel* kernel : tests::kernels_to_check()) {
        for (const auto& c : cases) {
            for (const std::string& digits : c.numbers) {
                ASSERT_EQ(check_run(*kernel, digits, c.most, limbs_for(digits.size()) + c.room), "")
                    << &c - cases;
            }
        }
    }
}

TEST(Trajectory, SearchesMatchTheStepByStepSearch) {
    std::vector<std::pair<std::string, std::int32_t>> starts = {
        {"89", 24}, {"89", 23},    {"0", 1},      {"00", 1},    {"012", 3},
        {"010", 3}, {"000100", 4}, {"10911", 55}, {"10911", 54}};
    starts.emplace_back("1186060307891929990", 261);
    starts.emplace_back(std::string(3000, '7'), 20);
    starts.emplace_back("", 2);  // after a long number
    for (int i = 0; i < 300; ++i)
        starts.emplace_back(random_digits(1 + rng() % 25), 1 + rng() % 120);
    for (const ReverseAddKernel* kernel : tests::kernels_to_check()) {
        Trajectory t(*kernel);  // one for all: what a number leaves must not matter to the next
        StepProgress progress;  // counted from each number's start
        t.report_steps(&progress);
        for (int i = 0; i < 2; ++i) {
            t.assign("89");
            EXPECT_EQ(t.search(30), 24);
        }
        EXPECT_TRUE(progress.steps == 24 && progress.digits == 13) << progress.steps.load();
        t.report_steps(nullptr);
        t.assign("196");
        EXPECT_EQ(t.search(10000), 0);
        EXPECT_EQ(t.size(), 4159u) << kernel->name;
        for (const auto& [digits, limit] : starts) {
            const SearchOutcome want = search_number(digits, limit);
            t.assign(digits.empty() ? "0" : digits);
            std::string text;
            const std::int32_t steps = t.search(limit);
            t.append_text(text);
            ASSERT_EQ(std::to_string(steps) + " " + (steps > 0 ? text : ""),
                      std::to_string(want.formed ? want.steps : 0) + " " + want.palindrome)
                << kernel->name << " " << digits << " within " << limit;
        }
    }
}

// The caller is a member: a team of four starts three threads, and where the second
// cannot start, sums every step with the caller and the one thread it has.
TEST(StepTeam, StartsAThreadForEachMemberButTheCallerAndSumsWithThoseItGets) {
    threads::fail_after(3);
    EXPECT_EQ(StepTeam(4).members(), 4u);
    EXPECT_TRUE(threads::start_fails());
    threads::fail_after(1);
    StepTeam team(4);
    threads::fail_after(-1);
    ASSERT_EQ(team.members(), 2u);
    team.share_always();
    for (const std::string& digits :
         {carry_run(3001, 0, 3001), carry_run(3001, 748, 760), random_digits(20001)})
        ASSERT_EQ(tests::check_kernels(digits, 0, limbs_for(digits.size()), 0, &team), "");
}

// The portable kernel held up a millisecond a call on the caller's thread and five on a
// member's: the caller is done with its share and has waited as long as that took while
// the member is still summing, and must sleep until it is done.
std::thread::id caller;
unsigned add_slowly(std::uint8_t* dst, const std::uint8_t* src, std::size_t n, std::size_t begin,
                    std::size_t end, unsigned carry) {
    std::this_thread::sleep_for(
        std::chrono::milliseconds(std::this_thread::get_id() == caller ? 1 : 5));
    return portable_kernel.add_reversed(dst, src, n, begin, end, carry);
}

TEST(StepTeam, TheCallerSleepsUntilAMemberSlowerThanItIsDone) {
    caller = std::this_thread::get_id();
    const ReverseAddKernel slow{"slow", add_slowly, portable_kernel.is_palindrome,
                                portable_kernel.add_reversed_steps};
    StepTeam team(2);
    team.share_always();
    Trajectory shared(slow), alone(portable_kernel);
    shared.share_steps(&team);
    const std::string start = random_digits(2 * team_split_limbs + 1);
    shared.assign(start);
    alone.assign(start);
    ASSERT_EQ(shared.search(8), alone.search(8));
    std::string got, want;
    shared.append_text(got);
    alone.append_text(want);
    EXPECT_EQ(got, want) << start;
}

// Steps of `limbs` limbs taking `alone` or `shared` nanoseconds a limb, held up a
// hundredfold where the pattern of that way, from the first step of its window on, says
// 'x'; or the number growing a twentieth a step. The median step must decide, over a
// probe of each way as short as allows both team_probe_steps counted after the first and
// team_probe_window; the faster way, if by team_share_gain, then runs for
// team_probe_every before the next probe.
TEST(SharePolicy, ChoosesTheFasterWayByTheMedianStepAndRunsItForItsTime) {
    const auto ns = [](auto d) { return std::chrono::duration<double, std::nano>(d).count(); };
    const double short_of_gain = 10 / team_share_gain * 1.03;
    const struct {
        double alone, shared;
        std::string_view alone_held, shared_held;
        bool grows;
        std::size_t limbs;
        bool want_shared;
    } cases[] = {{10, 12, "", "", false, 10000, false},
                 {10, 6, "", "", false, 10000, true},
                 {10, short_of_gain, "", "", false, 10000, false},
                 {6 * team_share_gain, 6, "", "", false, 1024, true},  // faster by the gain
                 {10, 6, "", ".x..", false, 10000, true},
                 {10, short_of_gain, ".x..", "", false, 10000, false},
                 {10, 6, "", "xxx.x.x.", false, 10000, false},  // held up more often than not
                 {10, 8, "", "", true, 10000, true},
                 {10, 6, "", "", false, 20, true}};  // steps too short to fill a window in time
    for (const auto& c : cases) {
        const std::string what = "case " + std::to_string(&c - cases);
        SharePolicy policy;
        std::size_t limbs = c.limbs, last_limbs = 0;
        std::vector<double> times[2];  // of the steps timed alone, and shared
        bool shared = policy.share_next();
        for (; policy.timing(); shared = policy.share_next()) {
            ASSERT_LT(times[0].size() + times[1].size(), 100000u) << what;
            const std::string_view held = shared ? c.shared_held : c.alone_held;
            double step = (shared ? c.shared : c.alone) * static_cast<double>(limbs);
            if (!held.empty() && held[times[shared].size() % held.size()] == 'x') step *= 100;
            policy.took(step, limbs);
            times[shared].push_back(step);
            last_limbs = limbs;
            if (c.grows) limbs += limbs / 20;
        }
        EXPECT_EQ(shared, c.want_shared) << what;
        for (const std::vector<double>& t : times) {
            const double counted = std::accumulate(t.begin() + 1, t.end(), 0.0);
            EXPECT_TRUE(t.size() > team_probe_steps && counted >= ns(team_probe_window)) << what;
            EXPECT_TRUE(t.size() == team_probe_steps + 1 ||
                        counted - t.back() < ns(team_probe_window))
                << what;
        }
        std::uint64_t run = 0;
        for (; !policy.timing() && run < 10000000; shared = policy.share_next(), ++run)
            ASSERT_EQ(shared, c.want_shared) << what << " at run step " << run;
        const double step = (c.want_shared ? c.shared : c.alone) * static_cast<double>(last_limbs);
        EXPECT_TRUE(run * step <= ns(team_probe_every) && ns(team_probe_every) < (run + 1) * step)
            << what << ": " << run << " steps";
        EXPECT_FALSE(shared) << what;  // the next probe begins alone
    }
    SharePolicy always;
    always.share_always();
    for (int step = 0; step < 1000; ++step) ASSERT_TRUE(always.share_next() && !always.timing());
}

TEST(CarryPatch, ACarryIntoASegmentRunsThroughThe99sAtItsFoot) {
    const struct {
        std::vector<std::uint8_t> limbs;
        std::vector<std::size_t> bounds;
        std::vector<unsigned> carry_outs;
        std::vector<std::uint8_t> want;
        unsigned carry_out;
    } cases[] = {
        {{99, 99, 5, 99}, {0, 2, 4}, {0, 1}, {99, 99, 5, 99}, 1},  // no carry into a segment
        {{7, 99, 99, 12, 99}, {0, 1, 5}, {1, 0}, {7, 0, 0, 13, 99}, 0},
        {{7, 40, 99}, {0, 1, 3}, {1, 0}, {7, 41, 99}, 0},
        {{2, 99, 5, 3}, {0, 1, 3, 4}, {1, 1, 0}, {2, 0, 6, 4}, 0},  // and its own carry out
        // A run of 99s filling a segment passes the carry on, into the next or out of the top.
        {{1, 99, 99, 99, 5}, {0, 1, 3, 5}, {1, 0, 0}, {1, 0, 0, 0, 6}, 0},
        {{1, 99, 99, 99}, {0, 1, 3}, {1, 0}, {1, 0, 0, 99}, 1},
    };
    for (const auto& c : cases) {
        std::vector<std::uint8_t> limbs = c.limbs;
        EXPECT_EQ(patch_carries(limbs.data(), c.bounds, c.carry_outs), c.carry_out) << &c - cases;
        EXPECT_EQ(limbs, c.want) << &c - cases;
    }
}
}  // namespace
