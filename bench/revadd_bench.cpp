// revadd_bench: the deep and the wide workload through every way of stepping them, in
// one process, as digit-steps per nanosecond (the digit counts of all the numbers
// stepped, summed, over the time) and as ratios to the slower paths, with the peak
// resident memory of each run on its own.
//
//   deep: 196, one number, 10,000 / 100,000 / 300,000 steps
//   wide: 1 to 1,000,000, at most 1,000 steps each
//   wide and deep: 2,000 numbers from 10,000,700,000, at most 10,000 steps each
//
// Paths: the record arithmetic step by step (deep only up to 10,000 steps; for the wide
// workload only its first numbers), the portable kernel, each vector kernel, the best
// kernel with steps shared between all cores (deep), and the whole search with the memo
// on all cores (wide). The kernels run as the tool runs them, many steps a call; on the
// wide and deep workload also one call a step, as before the many-step entry, for the
// ratio. `--quick` runs small versions of the same, to check it works.
#ifdef _WIN32
#define NOMINMAX
#include <windows.h>
// After windows.h, which it needs.
#include <psapi.h>
#else
#include <sys/resource.h>
#endif
#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "base/machine.hpp"
#include "engine/reverse_add_kernel.hpp"
#include "engine/step_team.hpp"
#include "engine/trajectory.hpp"
#include "reference_search.hpp"
#include "search/range_search.hpp"

namespace {

using Clock = std::chrono::steady_clock;

// Peak resident memory of one measured run, in MiB. The kernel's high-water mark is
// reset before each run, so a run does not show the peak of the runs before it; where
// it cannot be reset, the figure is the process's peak so far, and the header says so.
class PeakMemory {
public:
    // Starts a new peak at the memory resident now.
    void restart() {
#ifdef __GLIBC__
        // Heap that earlier runs freed would otherwise stay resident and count here.
        malloc_trim(0);
#endif
        resettable_ = false;
        if (std::FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
            resettable_ = std::fputs("5", f) >= 0;
            resettable_ = std::fclose(f) == 0 && resettable_;
        }
    }

    bool resettable() const { return resettable_; }

    double mib() const {
        if (resettable_) {
            if (const long kib = status_kib("VmHWM:"); kib >= 0)
                return static_cast<double>(kib) / 1024.0;
        }
#ifdef _WIN32
        PROCESS_MEMORY_COUNTERS counters{};
        GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
        return static_cast<double>(counters.PeakWorkingSetSize) / 1048576.0;
#else
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
#ifdef __APPLE__  // in bytes there, in KiB elsewhere
        return static_cast<double>(usage.ru_maxrss) / 1048576.0;
#else
        return static_cast<double>(usage.ru_maxrss) / 1024.0;
#endif
#endif
    }

private:
    // A "<field> <n> kB" line of /proc/self/status, -1 if there is none.
    static long status_kib(const char* field) {
        std::FILE* f = std::fopen("/proc/self/status", "r");
        if (f == nullptr) return -1;
        long kib = -1;
        char line[256];
        const std::size_t length = std::strlen(field);
        while (std::fgets(line, sizeof line, f) != nullptr) {
            if (std::strncmp(line, field, length) == 0) {
                kib = std::strtol(line + length, nullptr, 10);
                break;
            }
        }
        std::fclose(f);
        return kib;
    }

    bool resettable_ = false;
};

PeakMemory peak;

// CPU time of all the process's threads so far, in seconds.
double cpu_seconds() {
#ifdef _WIN32
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    const auto seconds = [](const FILETIME& t) {  // in 100 ns
        return static_cast<double>(std::uint64_t{t.dwHighDateTime} << 32 | t.dwLowDateTime) / 1e7;
    };
    return seconds(kernel) + seconds(user);
#else
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
#endif
}

double last_cpu = 0;  // CPU time of the last run measured, every thread's

double seconds_of(const std::function<void()>& work) {
    peak.restart();
    const double cpu = cpu_seconds();
    const auto start = Clock::now();
    work();
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    last_cpu = cpu_seconds() - cpu;
    return wall;
}

// Digit-steps of one number: the digit count of every number that is reversed and
// added, summed over its steps. Also the steps taken, to check every path agrees.
struct Work {
    double digit_steps = 0;
    std::int64_t steps = 0;
    std::int64_t hits = 0;
};

Work measure_work(const std::vector<std::string>& numbers, std::int32_t limit) {
    Work w;
    revadd::Trajectory t;
    for (const std::string& digits : numbers) {
        t.assign(digits);
        for (std::int32_t s = 1; s <= limit; ++s) {
            w.digit_steps += static_cast<double>(t.size());
            t.step();
            ++w.steps;
            if (t.is_palindrome()) {
                ++w.hits;
                break;
            }
        }
    }
    return w;
}

struct Row {
    std::string workload, path;
    double seconds, rate;
};

std::vector<Row> rows;

void report(const std::string& workload, const std::string& path, double seconds,
            double digit_steps) {
    const double rate = digit_steps / (seconds * 1e9);
    rows.push_back({workload, path, seconds, rate});
    std::printf("%-34s %-26s %9.3f s (CPU %8.3f s) %9.2f digit-steps/ns   peak RSS %7.1f MiB\n",
                workload.c_str(), path.c_str(), seconds, last_cpu, rate, peak.mib());
    std::fflush(stdout);
}

void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "revadd_bench: %s: paths disagree\n", what);
        std::exit(1);
    }
}

// What a path made of a workload: the hits, and a digest of the number every search
// ended on, so that kernels are checked against each other digit for digit.
struct Outcome {
    std::int64_t hits = 0;
    std::size_t digest = 0;
    bool operator==(const Outcome&) const = default;
};

// All numbers through one kernel, one thread.
Outcome run_kernel(const std::vector<std::string>& numbers, std::int32_t limit,
                   const revadd::ReverseAddKernel& kernel, revadd::StepTeam* team) {
    revadd::Trajectory t(kernel);
    t.share_steps(team);
    Outcome out;
    for (const std::string& digits : numbers) {
        t.assign(digits);
        out.hits += t.search(limit) != 0;
        const std::string_view limbs(reinterpret_cast<const char*>(t.limbs()),
                                     revadd::limbs_for(t.size()));
        out.digest = out.digest * 31 + std::hash<std::string_view>{}(limbs);
    }
    return out;
}

// The same, one kernel call a step and the palindrome test after it: the trajectory's
// search before the many-step entry.
Outcome run_stepwise(const std::vector<std::string>& numbers, std::int32_t limit,
                     const revadd::ReverseAddKernel& kernel) {
    revadd::Trajectory t(kernel);
    Outcome out;
    for (const std::string& digits : numbers) {
        t.assign(digits);
        for (std::int32_t s = 1; s <= limit; ++s) {
            t.step();
            if (t.is_palindrome()) {
                ++out.hits;
                break;
            }
        }
        const std::string_view limbs(reinterpret_cast<const char*>(t.limbs()),
                                     revadd::limbs_for(t.size()));
        out.digest = out.digest * 31 + std::hash<std::string_view>{}(limbs);
    }
    return out;
}

std::int64_t run_records(const std::vector<std::string>& numbers, std::int32_t limit) {
    std::int64_t hits = 0;
    for (const std::string& digits : numbers) hits += revadd::search_number(digits, limit).formed;
    return hits;
}

// Every path over one workload; `stepwise`: the kernels one call a step too.
void bench(const std::string& workload, const std::vector<std::string>& numbers, std::int32_t limit,
           std::size_t record_numbers, bool deep, bool stepwise = false) {
    const Work work = measure_work(numbers, limit);
    const unsigned cores = revadd::usable_cpus();

    if (record_numbers > 0) {
        const std::vector<std::string> part(
            numbers.begin(), numbers.begin() + static_cast<std::ptrdiff_t>(record_numbers));
        const Work part_work = record_numbers == numbers.size() ? work : measure_work(part, limit);
        std::int64_t hits = 0;
        const double s = seconds_of([&] { hits = run_records(part, limit); });
        check(hits == part_work.hits, "record arithmetic");
        const std::string label = record_numbers == numbers.size()
                                      ? std::string("records, step by step")
                                      : "records, first " + std::to_string(record_numbers);
        report(workload, label, s, part_work.digit_steps);
    }
    // The portable kernel runs first: every other path must end on the same numbers.
    Outcome portable;
    for (const revadd::ReverseAddKernel* kernel : revadd::usable_kernels()) {
        Outcome out;
        const double s = seconds_of([&] { out = run_kernel(numbers, limit, *kernel, nullptr); });
        if (kernel == &revadd::portable_kernel) portable = out;
        check(out.hits == work.hits && out == portable, kernel->name);
        report(workload, std::string(kernel->name) + " kernel", s, work.digit_steps);
        if (stepwise) {
            const double t = seconds_of([&] { out = run_stepwise(numbers, limit, *kernel); });
            check(out == portable, kernel->name);
            report(workload, std::string(kernel->name) + ", a call a step", t, work.digit_steps);
        }
    }
    const revadd::ReverseAddKernel& best = revadd::best_kernel();
    // Steps shared between the cores always, and as the tool does it: when measured faster.
    for (const bool always : {true, false}) {
        if (!deep || cores == 1) break;
        revadd::StepTeam team(cores);
        if (always) team.share_always();
        Outcome out;
        const double s = seconds_of([&] { out = run_kernel(numbers, limit, best, &team); });
        check(out == portable, "shared steps");
        report(workload,
               std::string(best.name) + (always ? ", shared, " : ", team, ") +
                   std::to_string(cores) + " CPUs",
               s, work.digit_steps);
    }
    if (!deep) {
        // The whole search as the tool runs it, report text included, output discarded.
        struct Discard : revadd::ChunkWriter {
            std::size_t bytes = 0;
            void write(std::string_view console, std::string_view file) override {
                bytes += console.size() + file.size();
            }
        } sink;
        revadd::RangeJob job;
        job.first_digits = numbers.front();
        job.count = static_cast<std::int32_t>(numbers.size());
        job.iterations = limit;
        revadd::RunOptions options;
        options.threads = cores;
        options.room = revadd::usable_memory();
        revadd::Tally tally;
        const double s = seconds_of([&] { tally = revadd::search_range(job, options, sink); });
        check(tally.count() == work.hits, "whole search");
        report(workload, "search: memo, " + std::to_string(cores) + " threads", s,
               work.digit_steps);
    }
}

void print_ratios() {
    std::printf("\nratios (time of the path named first over time of the row)\n");
    for (const Row& row : rows) {
        const Row* records = nullptr;
        const Row* portable = nullptr;
        const Row* stepwise = nullptr;
        const std::string kernel = row.path.substr(0, row.path.find(' '));
        for (const Row& other : rows) {
            if (other.workload != row.workload) continue;
            if (other.path.rfind("records", 0) == 0) records = &other;
            if (other.path == "portable kernel") portable = &other;
            if (other.path == kernel + ", a call a step") stepwise = &other;
        }
        std::printf("%-34s %-26s", row.workload.c_str(), row.path.c_str());
        // Rates compare paths that ran different parts of a workload fairly.
        if (records != nullptr) std::printf("  x%8.1f vs records", row.rate / records->rate);
        if (portable != nullptr) std::printf("  x%7.1f vs portable", row.rate / portable->rate);
        if (stepwise != nullptr && stepwise != &row)
            std::printf("  x%5.2f vs a call a step", row.rate / stepwise->rate);
        std::printf("\n");
    }
}

std::vector<std::string> numbers_from(std::int64_t first, int count) {
    std::vector<std::string> numbers;
    for (int i = 0; i < count; ++i) numbers.push_back(std::to_string(first + i));
    return numbers;
}

}  // namespace

int main(int argc, char** argv) {
    const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
    if (argc > 1 && !quick) {
        std::fprintf(stderr, "usage: revadd_bench [--quick]\n");
        return 2;
    }
    std::printf("kernels usable here:");
    for (const revadd::ReverseAddKernel* k : revadd::usable_kernels()) std::printf(" %s", k->name);
    std::printf("; best: %s; hardware threads: %u\n", revadd::best_kernel().name,
                std::thread::hardware_concurrency());
    peak.restart();
    if (!peak.resettable()) {
        std::printf(
            "peak RSS: /proc/self/clear_refs cannot be written here, so each figure is "
            "the process's peak so far\n");
    }
    std::printf("\n");

    const std::vector<std::string> deep = {"196"};
    if (quick) {
        bench("deep 196 x2000", deep, 2000, 1, true);
        std::vector<std::string> wide;
        for (int i = 1; i <= 2000; ++i) wide.push_back(std::to_string(i));
        bench("wide 1..2000 x100", wide, 100, 200, false);
        bench("wide+deep 10000700000+40 x500", numbers_from(10000700000, 40), 500, 0, false, true);
    } else {
        bench("deep 196 x10000", deep, 10000, 1, true);
        bench("deep 196 x100000", deep, 100000, 0, true);
        bench("deep 196 x300000", deep, 300000, 0, true);
        std::vector<std::string> wide;
        for (int i = 1; i <= 1000000; ++i) wide.push_back(std::to_string(i));
        bench("wide 1..1000000 x1000", wide, 1000, 10000, false);
        bench("wide+deep 10000700000+2000 x10000", numbers_from(10000700000, 2000), 10000, 0, false,
              true);
    }
    print_ratios();
    return 0;
}
