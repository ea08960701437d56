#include "reference.hpp"

#include <algorithm>
#include <csignal>
#include <map>
#include <thread>

#include "base/threads.hpp"
#include "engine/step_team.hpp"
#include "search/chunk_plan.hpp"

#ifdef REVADD_AVX512_EMULATED
namespace revadd {
extern const ReverseAddKernel avx512_emulated_kernel;  // the AVX-512 kernel on emulated intrinsics
}
#endif

namespace revadd::tests {
namespace {

// a + b for digit strings (leading zeros allowed, empty meaning 0); zero is "0".
std::string decimal_sum(const std::string& a, const std::string& b) {
    std::string out;
    unsigned carry = 0;
    for (std::size_t k = 0; k < a.size() || k < b.size() || carry != 0; ++k) {
        unsigned d = carry + (k < a.size() ? a[a.size() - 1 - k] - '0' : 0) +
                     (k < b.size() ? b[b.size() - 1 - k] - '0' : 0);
        out.push_back(static_cast<char>('0' + d % 10));
        carry = d / 10;
    }
    while (out.size() > 1 && out.back() == '0') out.pop_back();
    return out.empty() ? "0" : std::string(out.rbegin(), out.rend());
}

// The steps to a palindrome within `limit` (0: none), and the palindrome.
std::pair<std::int32_t, std::string> palindrome_of(std::string digits, std::int32_t limit) {
    for (std::int32_t step = 1; step <= limit; ++step) {
        digits = reverse_and_add(digits);
        if (std::equal(digits.begin(), digits.end(), digits.rbegin())) return {step, digits};
    }
    return {0, ""};
}

// The limbs of `digits` from index kernel_guard on, with junk wherever a kernel may read
// and must not depend, but the zero limb below the first.
std::vector<std::uint8_t> guarded_limbs(const std::string& digits) {
    const std::vector<std::uint8_t> number = limbs_of(digits);
    std::vector<std::uint8_t> limbs(number.size() + 2 * kernel_guard + 1);
    for (std::size_t i = 0; i < limbs.size(); ++i)
        limbs[i] = static_cast<std::uint8_t>(i * 2654435761u >> 13);
    limbs[kernel_guard - 1] = 0;
    std::copy(number.begin(), number.end(), limbs.begin() + kernel_guard);
    return limbs;
}

}  // namespace

std::string prompts(std::size_t asked) {
    const std::size_t ends[] = {0, 23, 36, 64};
    return std::string("enter starting number:\nenter range:\nenter number of iterations:\n")
        .substr(0, ends[asked]);
}

std::string reverse_and_add(const std::string& digits) {
    return decimal_sum(digits, std::string(digits.rbegin(), digits.rend()));
}

std::vector<std::uint8_t> limbs_of(const std::string& digits) {
    const std::size_t n = digits.size();
    std::vector<std::uint8_t> limbs(limbs_for(n));
    for (std::size_t k = 0; k < n; ++k)
        limbs[k / 2] += static_cast<std::uint8_t>((digits[n - 1 - k] - '0') * (k % 2 ? 10 : 1));
    return limbs;
}

Report reference_report(const std::string& start, std::int32_t range, std::int32_t iterations) {
    const std::string sign = start[0] == '-' ? "-" : "";
    std::string number = start.substr(start[0] == '-' || start[0] == '+' ? 1 : 0);
    const std::string end = decimal_sum(number, std::to_string(std::abs(std::int64_t{range})));
    Report r{"\n", "", ""};
    for (std::int32_t i = 0; i < range && iterations > 0; ++i, number = decimal_sum(number, "1")) {
        const auto [steps, palindrome] = palindrome_of(number, iterations);
        if (steps == 0) continue;
        const std::string record =
            number + "\n" + palindrome + "\n" + std::to_string(steps) + " iterations\n\n";
        r.console += sign + record;
        r.hits += record;
        r.low = r.count++ == 0 ? steps : std::min(r.low, steps);
        r.high = std::max(r.high, steps);
    }
    const std::string summary = std::to_string(r.count) + " of " + std::to_string(range) +
                                " numbers in the range\n" + start + " to " + sign + end +
                                "\nformed palindromes in " + std::to_string(iterations) +
                                " or fewer iterations\nhigh iterations: " + std::to_string(r.high) +
                                "\nlow iterations: " + std::to_string(r.low) + "\n";
    r.console += summary;
    r.file = r.hits + summary;
    return r;
}

bool keeps_every_hit_before(const std::string& got, const std::string& truth,
                            std::int64_t first_unsearched) {
    std::size_t g = 0;
    for (std::size_t t = 0, end; t < truth.size(); t = end) {
        end = truth.find(" iterations\n\n", t) + 13;
        if (got.compare(g, end - t, truth, t, end - t) == 0) {
            g += end - t;
        } else if (std::stoll(truth.substr(t)) < first_unsearched) {
            return false;
        }
    }
    return g == got.size();
}

std::vector<const ReverseAddKernel*> kernels_to_check() {
    std::vector<const ReverseAddKernel*> kernels(usable_kernels().begin(), usable_kernels().end());
#ifdef REVADD_AVX512_EMULATED
    if (std::string(kernels.back()->name) != "avx512vbmi")
        kernels.push_back(&avx512_emulated_kernel);
#endif
    return kernels;
}

std::string check_kernels(const std::string& digits, std::size_t begin, std::size_t end,
                          unsigned carry, StepTeam* given) {
    const std::size_t n = digits.size(), m = limbs_for(n);
    const std::string backwards(digits.rbegin(), digits.rend());
    const std::vector<std::uint8_t> forth = limbs_of(digits), back = limbs_of(backwards);
    std::vector<std::uint8_t> src = guarded_limbs(digits), want;
    unsigned out = carry;
    for (std::size_t j = begin; j < end; ++j, out /= 100) {
        out += forth[j] + back[j];
        want.push_back(static_cast<std::uint8_t>(out % 100));
    }
    // Every kernel, and for a whole sum, teams of one (never sharing) to four threads, and
    // the one given.
    static StepTeam teams[] = {StepTeam(1), StepTeam(2), StepTeam(3), StepTeam(4)};
    std::vector<std::pair<const ReverseAddKernel*, StepTeam*>> ways;
    for (const ReverseAddKernel* kernel : kernels_to_check()) ways.emplace_back(kernel, nullptr);
    const bool whole = begin == 0 && end == m && carry == 0;
    for (StepTeam& each : teams) {
        if (whole) ways.emplace_back(&best_kernel(), &each);
        each.share_always();
    }
    if (given && whole) ways.emplace_back(&best_kernel(), given);
    for (const auto& [kernel, team] : ways) {
        std::vector<std::uint8_t> dst(m + 3 * kernel_guard, 0xA5);
        std::uint8_t* to = dst.data() + kernel_guard;
        const std::uint8_t* from = src.data() + kernel_guard;
        const std::string where = std::string(kernel->name) + (team ? " in a team" : "") + " on " +
                                  std::to_string(n) + " digits, [" + std::to_string(begin) + ", " +
                                  std::to_string(end) + "): ";
        if ((team ? team->add_reversed(*kernel, to, from, n)
                  : kernel->add_reversed(to, from, n, begin, end, carry)) != out)
            return where + "carry out";
        if (!std::equal(want.begin(), want.end(), to + begin)) return where + "limbs";
        // A sum up to the top may write the guard above.
        for (std::size_t j = 0; j < dst.size(); ++j) {
            if ((j < kernel_guard + begin || j >= kernel_guard + end + (end == m) * kernel_guard) &&
                dst[j] != 0xA5)
                return where + "wrote outside at " + std::to_string(j);
        }
        if (kernel->is_palindrome(from, n) != (digits == backwards))
            return where + "palindrome test";
    }
    return "";
}

void Collector::call(char what, std::string_view c, std::string_view f) {
    if (busy.exchange(true)) overlapped = true;
    if (stopped_at) calls += "after the stop";
    if (calls.find(what) == std::string::npos) std::this_thread::sleep_for(hold_up);
    calls += what;
    console.append(c);
    file.append(f);
    if (what == 'w' && std::count(calls.begin(), calls.end(), 'w') == stop_after)
        flag.store(SIGINT);
    busy = false;
}

Tally Collector::run(const std::string& start, std::int32_t count, std::int32_t limit,
                     RunOptions options) {
    options.stop = &flag;
    const bool sign = start[0] == '-' || start[0] == '+';
    return search_range(
        {std::string_view(start).substr(sign ? 1 : 0), count, limit, start[0] == '-'}, options,
        *this);
}

std::string check_range(const std::string& start, std::int32_t count, std::int32_t limit,
                        RunOptions options) {
    // As many threads as asked for, the caller's included, but not more than chunks: a
    // start beyond them fails. One number has a team of threads instead.
    const ChunkPlan plan(count, limit, options.threads, options.chunk_numbers);
    if (count > 1) threads::fail_after(std::min<std::int64_t>(plan.chunks(), options.threads) - 1);
    RunProgress progress;
    options.progress = &progress;
    Collector got;
    const Tally tally = got.run(start, count, limit, options);
    const bool helped = count == 1 || threads::start_fails();
    threads::fail_after(-1);
    static std::map<std::string, Report> known;  // every way of running a range is asked
    const std::string key = start + " " + std::to_string(count) + " " + std::to_string(limit);
    if (!known.count(key)) known[key] = reference_report(start, count, limit);
    const Report& want = known[key];
    const std::string where = key + " on " + std::to_string(options.threads) + " threads, chunk " +
                              std::to_string(options.chunk_numbers) + ", memo " +
                              std::to_string(options.use_memo ? options.memo_budget_bytes : 0) +
                              ": ";
    const std::size_t summary = want.file.size() - want.hits.size();
    // Every number and hit counted, and every step of a number alone; caught up only
    // between writes, once.
    const std::string& calls = got.calls;
    for (const auto& [wrong, what] : std::vector<std::pair<bool, std::string>>{
             {got.file != want.hits, "file records\n" + got.file.substr(0, 300)},
             {got.console != want.console.substr(1, want.console.size() - 1 - summary),
              "console records"},
             {tally.count() != want.count || tally.high() != want.high || tally.low() != want.low,
              "tally"},
             {got.overlapped, "a write or catching up while another was under way"},
             {!helped, "helper threads"},
             {progress.numbers != count || progress.hits != want.count ||
                  (count == 1 && progress.steps.steps != (want.count > 0 ? want.high : limit)),
              "progress"},
             {calls.find_first_not_of("wc") != std::string::npos ||
                  calls.find("cc") != std::string::npos || !calls.ends_with('w'),
              calls}}) {
        if (wrong) return where + what;
    }
    return "";
}

}  // namespace revadd::tests
