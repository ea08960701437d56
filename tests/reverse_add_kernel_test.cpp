// The reverse-and-add kernels and the trajectory engine built on them: every kernel the
// CPU can run against the portable one and against the record arithmetic, carries run
// across every vector boundary, palindromes, known trajectories, and steps shared
// between threads.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "bignum/bignum.hpp"
#include "bignum/heap.hpp"
#include "engine/reverse_add_kernel.hpp"
#include "engine/step_team.hpp"
#include "engine/trajectory.hpp"
#include "search/reference_search.hpp"

namespace {

using revadd::kernel_guard;
using revadd::limbs_for;
using revadd::ReverseAddKernel;

constexpr std::uint32_t seed = 20261206;

// Limbs laid out as the engine keeps them, but with junk wherever a kernel may read
// and must not depend: the guard before the limbs (except the limb below the first,
// which reads as 0) and everything after them.
class LimbBuffer {
public:
    LimbBuffer(const std::string& digits, std::mt19937& rng) : n_(digits.size()) {
        bytes_.resize(limbs_for(n_) + 2 * kernel_guard + 1);
        for (auto& b : bytes_) b = static_cast<std::uint8_t>(rng());
        bytes_[kernel_guard - 1] = 0;
        auto digit = [&](std::size_t k) { return k < n_ ? digits[n_ - 1 - k] - '0' : 0; };
        for (std::size_t j = 0; j < limbs_for(n_); ++j) {
            data()[j] = static_cast<std::uint8_t>(digit(2 * j) + 10 * digit(2 * j + 1));
        }
    }
    std::uint8_t* data() { return bytes_.data() + kernel_guard; }
    std::size_t digits() const { return n_; }

private:
    std::size_t n_;
    std::vector<std::uint8_t> bytes_;
};

std::string random_digits(std::size_t n, std::mt19937& rng) {
    std::string s(n, '0');
    for (char& c : s) c = static_cast<char>('0' + rng() % 10);
    return s;
}

// The limbs of a full sum and its carry, as text without leading zeros.
std::string sum_text(const std::vector<std::uint8_t>& limbs, unsigned carry) {
    std::string text;
    if (carry != 0) text.push_back('1');
    for (std::size_t j = limbs.size(); j-- > 0;) {
        text.push_back(static_cast<char>('0' + limbs[j] / 10));
        text.push_back(static_cast<char>('0' + limbs[j] % 10));
    }
    const std::size_t first = text.find_first_not_of('0');
    return first == std::string::npos ? "0" : text.substr(first);
}

// digits + reverse(digits) by the record arithmetic.
std::string record_sum(const std::string& digits) {
    revadd::bignum x{}, r{}, sum{};
    revadd::bigInit(&x);
    revadd::bigInit(&r);
    revadd::bigInit(&sum);
    revadd::str2big(&x, digits);
    revadd::str2big(&r, std::string(digits.rbegin(), digits.rend()));
    revadd::bigAdd(&sum, x, r);
    std::string text(sum.number);
    for (revadd::bignum* b : {&x, &r, &sum}) revadd::bigFree(b);
    return text;
}

struct Sum {
    std::vector<std::uint8_t> limbs;
    unsigned carry;
};

// Limbs [begin, end) of a kernel's sum; dst limbs outside them must stay untouched.
Sum kernel_sum(const ReverseAddKernel& kernel, LimbBuffer& src, std::size_t begin,
               std::size_t end, unsigned carry) {
    const std::size_t m = limbs_for(src.digits());
    std::vector<std::uint8_t> dst(m + 3 * kernel_guard, 0xA5);
    const unsigned out =
        kernel.add_reversed(dst.data() + kernel_guard, src.data(), src.digits(), begin, end, carry);
    for (std::size_t j = 0; j < dst.size(); ++j) {
        // A call ending at the top limb may also write the guard above it.
        const std::size_t last = end == m ? end + kernel_guard : end;
        const bool inside = j >= kernel_guard + begin && j < kernel_guard + last;
        if (!inside) {
            EXPECT_EQ(dst[j], 0xA5) << kernel.name << " wrote outside its limbs at " << j;
        }
    }
    return {std::vector<std::uint8_t>(dst.begin() + static_cast<std::ptrdiff_t>(kernel_guard + begin),
                                      dst.begin() + static_cast<std::ptrdiff_t>(kernel_guard + end)),
            out};
}

std::vector<std::size_t> test_lengths(std::mt19937& rng) {
    std::vector<std::size_t> lengths;
    for (std::size_t n = 0; n <= 300; ++n) lengths.push_back(n);
    for (int i = 0; i < 60; ++i) lengths.push_back(301 + rng() % 4700);
    lengths.push_back(5000);
    return lengths;
}

TEST(ReverseAddKernels, PortableIsAlwaysUsableAndFirst) {
    ASSERT_FALSE(revadd::usable_kernels().empty());
    EXPECT_EQ(revadd::usable_kernels().front(), &revadd::portable_kernel);
    EXPECT_EQ(&revadd::best_kernel(), revadd::usable_kernels().back());
}

TEST(ReverseAddKernels, EveryKernelMatchesPortableOnWholeNumbersAndSegments) {
    SCOPED_TRACE("random seed " + std::to_string(seed));
    std::mt19937 rng(seed);
    for (std::size_t n : test_lengths(rng)) {
        LimbBuffer src(random_digits(n, rng), rng);
        const std::size_t m = limbs_for(n);
        std::vector<std::array<std::size_t, 3>> parts = {{0, m, 0}};
        for (int i = 0; i < 4; ++i) {
            std::size_t a = rng() % (m + 1), b = rng() % (m + 1);
            parts.push_back({std::min(a, b), std::max(a, b), rng() % 2});
        }
        for (const auto& [begin, end, carry] : parts) {
            const Sum want = kernel_sum(revadd::portable_kernel, src, begin, end, static_cast<unsigned>(carry));
            for (const ReverseAddKernel* kernel : revadd::usable_kernels()) {
                const Sum got = kernel_sum(*kernel, src, begin, end, static_cast<unsigned>(carry));
                ASSERT_EQ(got.limbs, want.limbs) << kernel->name << " n=" << n << " [" << begin << ", " << end << ")";
                ASSERT_EQ(got.carry, want.carry) << kernel->name << " n=" << n << " [" << begin << ", " << end << ")";
            }
        }
    }
}

TEST(ReverseAddKernels, WholeSumsMatchRecordArithmetic) {
    SCOPED_TRACE("random seed " + std::to_string(seed));
    std::mt19937 rng(seed + 1);
    std::vector<std::string> numbers = {"0", "00", "012", "0012", "000100", "9", "99", "10", "5"};
    for (std::size_t n : {1, 2, 63, 64, 65, 127, 128, 129, 255, 256, 257, 1000, 4999, 5000}) {
        numbers.push_back(std::string(n, '9'));       // every limb sum generates a carry
        numbers.push_back(std::string(n, '0'));
        numbers.back().front() = '1';  // trailing zeros reverse to leading ones
    }
    for (int i = 0; i < 150; ++i) {
        std::string digits = random_digits(1 + rng() % 5000, rng);
        if (i % 5 == 0) digits.insert(0, std::string(1 + rng() % 3, '0'));  // typed leading zeros
        numbers.push_back(digits);
    }
    for (const std::string& digits : numbers) {
        const std::string want = record_sum(digits);
        for (const ReverseAddKernel* kernel : revadd::usable_kernels()) {
            LimbBuffer src(digits, rng);
            const Sum got = kernel_sum(*kernel, src, 0, limbs_for(digits.size()), 0);
            ASSERT_EQ(sum_text(got.limbs, got.carry), want)
                << kernel->name << " on " << digits.size() << " digits " << digits.substr(0, 30);
        }
    }
}

// Numbers whose digit pairs d[k] + d[n-1-k] sum to 9 everywhere except a generating pair
// (sum 10 or more) at `from` and a stopping pair (sum 8 or less) at `to`: the carry
// born at `from` runs through every limb between them, across vector boundaries at
// every offset as `from` and `to` move.
std::string carry_run(std::size_t n, std::size_t from, std::size_t to, std::mt19937& rng) {
    std::vector<int> pair_sum(n, 9);
    auto set_pair = [&](std::size_t k, int value) { pair_sum[k] = pair_sum[n - 1 - k] = value; };
    set_pair(from, 10 + static_cast<int>(rng() % 9));
    if (to < n / 2) set_pair(to, static_cast<int>(rng() % 9));
    std::string digits(n, '0');
    for (std::size_t k = 0; k < n; ++k) {
        const std::size_t mirror = n - 1 - k;
        if (mirror < k) break;
        const int sum = pair_sum[k];
        if (mirror == k) {
            digits[n - 1 - k] = static_cast<char>('0' + sum / 2);
            continue;
        }
        const int low = std::max(0, sum - 9), high = std::min(9, sum);
        const int d = low + static_cast<int>(rng() % static_cast<unsigned>(high - low + 1));
        digits[n - 1 - k] = static_cast<char>('0' + d);
        digits[n - 1 - mirror] = static_cast<char>('0' + sum - d);
    }
    return digits;
}

TEST(ReverseAddKernels, CarriesRunAcrossEveryVectorBoundaryAndOffset) {
    SCOPED_TRACE("random seed " + std::to_string(seed));
    std::mt19937 rng(seed + 2);
    for (std::size_t n : {260, 261}) {
        for (std::size_t from = 0; from < n / 2; ++from) {
            for (std::size_t to = from + 1; to <= n / 2; to += 1 + rng() % 7) {
                const std::string digits = carry_run(n, from, to, rng);
                LimbBuffer src(digits, rng);
                const Sum want = kernel_sum(revadd::portable_kernel, src, 0, limbs_for(n), 0);
                for (const ReverseAddKernel* kernel : revadd::usable_kernels()) {
                    const Sum got = kernel_sum(*kernel, src, 0, limbs_for(n), 0);
                    ASSERT_EQ(got.limbs, want.limbs) << kernel->name << " n=" << n << " run " << from << ".." << to;
                    ASSERT_EQ(got.carry, want.carry) << kernel->name << " n=" << n << " run " << from << ".." << to;
                }
            }
        }
    }
    // The portable kernel itself, on a sample of the same shapes.
    for (int i = 0; i < 200; ++i) {
        const std::size_t n = 2 + rng() % 600;
        const std::size_t from = rng() % (n / 2), to = from + 1 + rng() % (n / 2 - from);
        const std::string digits = carry_run(n, from, to, rng);
        LimbBuffer src(digits, rng);
        const Sum got = kernel_sum(revadd::portable_kernel, src, 0, limbs_for(n), 0);
        ASSERT_EQ(sum_text(got.limbs, got.carry), record_sum(digits)) << digits;
    }
}

TEST(ReverseAddKernels, PalindromeTestStopsAtAnyDifference) {
    SCOPED_TRACE("random seed " + std::to_string(seed));
    std::mt19937 rng(seed + 3);
    std::vector<std::size_t> lengths;
    for (std::size_t n = 0; n <= 300; ++n) lengths.push_back(n);
    for (std::size_t n : {511, 512, 513, 4999, 5000}) lengths.push_back(n);
    for (std::size_t n : lengths) {
        std::string palindrome = random_digits(n, rng);
        std::copy(palindrome.begin(), palindrome.begin() + static_cast<std::ptrdiff_t>(n / 2), palindrome.rbegin());
        std::vector<std::pair<std::string, bool>> cases = {{palindrome, true}};
        // One digit changed, at every position of short numbers and some of long ones.
        for (std::size_t k = 0; k < n; k += n <= 300 ? 1 : 1 + rng() % 50) {
            std::string near = palindrome;
            near[k] = static_cast<char>('0' + (near[k] - '0' + 1 + rng() % 9) % 10);
            cases.emplace_back(near, 2 * k + 1 == n);  // the middle digit may change freely
        }
        for (const auto& [digits, expected] : cases) {
            for (const ReverseAddKernel* kernel : revadd::usable_kernels()) {
                LimbBuffer limbs(digits, rng);
                ASSERT_EQ(kernel->is_palindrome(limbs.data(), n), expected)
                    << kernel->name << " n=" << n << " " << digits.substr(0, 40);
            }
        }
    }
}

// --- the trajectory engine -----------------------------------------------------------

std::string text_of(const revadd::Trajectory& t) {
    std::string s;
    t.append_text(s);
    return s;
}

TEST(Trajectory, KnownTrajectoriesOnEveryKernel) {
    const std::string palindrome_261 =
        "4456266587897643762243784897665387038888478366259842585596343695585248952663874888"
        "8307835667984873422673467987856626544";
    for (const ReverseAddKernel* kernel : revadd::usable_kernels()) {
        SCOPED_TRACE(kernel->name);
        revadd::Trajectory t(*kernel);
        t.assign("196");
        EXPECT_EQ(t.search(10000), 0);
        EXPECT_EQ(t.size(), 4159u);

        t.assign("89");
        EXPECT_EQ(t.search(30), 24);
        EXPECT_EQ(text_of(t), "8813200023188");

        t.assign("1186060307891929990");
        EXPECT_EQ(t.search(300), 261);
        EXPECT_EQ(t.size(), 119u);
        EXPECT_EQ(text_of(t), palindrome_261);
    }
}

TEST(Trajectory, SearchAgreesWithStepwiseRecordArithmetic) {
    SCOPED_TRACE("random seed " + std::to_string(seed));
    std::mt19937 rng(seed + 4);
    struct Start {
        std::string digits;
        std::int32_t limit;
    };
    std::vector<Start> starts = {
        {"89", 24}, {"89", 23},  // formed at the last allowed step, and one step short
        {"13", 1},  {"10", 1},   {"0", 1},    {"00", 1},  {"012", 3}, {"010", 3},
        {"000100", 4}, {"99", 6}, {"99", 5}, {"196", 300}, {"10911", 55}, {"10911", 54},
    };
    for (int i = 0; i < 300; ++i) {
        std::string digits = random_digits(1 + rng() % 25, rng);
        if (i % 4 == 0) digits.insert(0, std::string(1 + rng() % 2, '0'));
        starts.push_back({digits, static_cast<std::int32_t>(1 + rng() % 120)});
    }
    for (const Start& start : starts) {
        const revadd::SearchOutcome want = revadd::search_number(start.digits, start.limit);
        for (const ReverseAddKernel* kernel : revadd::usable_kernels()) {
            revadd::Trajectory t(*kernel);
            t.assign(start.digits);
            const std::int32_t steps = t.search(start.limit);
            ASSERT_EQ(steps != 0, want.formed) << kernel->name << " " << start.digits << " limit " << start.limit;
            if (want.formed) {
                EXPECT_EQ(steps, want.steps) << kernel->name << " " << start.digits;
                EXPECT_EQ(text_of(t), want.palindrome) << kernel->name << " " << start.digits;
            }
        }
    }
}

TEST(Trajectory, ReusedBuffersDoNotLeakDigitsIntoTheNextNumber) {
    revadd::Trajectory t;
    t.assign(std::string(3000, '7'));
    t.search(50);
    for (const auto& [digits, want] : std::vector<std::pair<std::string, std::string>>{
             {"12", "33"}, {"5", "10"}, {"01", "11"}, {"", "0"}, {"4", "8"}}) {
        t.assign(digits);
        t.step();
        EXPECT_EQ(text_of(t), want) << digits;
    }
}

// --- steps shared between threads -----------------------------------------------------

TEST(StepTeam, SharedStepsMatchOneKernelCall) {
    SCOPED_TRACE("random seed " + std::to_string(seed));
    std::mt19937 rng(seed + 5);
    std::vector<std::string> numbers;
    for (std::size_t n : {0, 1, 2, 3, 7, 64, 129, 1000, 1001, 20000, 20001}) numbers.push_back(random_digits(n, rng));
    // A carry born at the foot runs through every segment and out of the top.
    for (std::size_t n : {999, 1000, 6001}) numbers.push_back(carry_run(n, 0, n, rng));
    for (std::size_t n : {3000, 3001}) {
        for (std::size_t from : {n / 8 - 1, n / 4 - 2, n / 4 - 1, n / 4, n / 2 - 3}) {
            numbers.push_back(carry_run(n, from, std::min(n / 2, from + 5 + rng() % 200), rng));
        }
    }
    for (unsigned threads : {1u, 2u, 3u, 4u}) {
        revadd::StepTeam team(threads);
        for (const std::string& digits : numbers) {
            for (const ReverseAddKernel* kernel : revadd::usable_kernels()) {
                LimbBuffer src(digits, rng);
                const std::size_t m = limbs_for(digits.size());
                const Sum want = kernel_sum(*kernel, src, 0, m, 0);
                std::vector<std::uint8_t> dst(m + 2 * kernel_guard, 0xA5);
                const unsigned carry = team.add_reversed(*kernel, dst.data() + kernel_guard, src.data(), digits.size());
                const std::vector<std::uint8_t> got(dst.begin() + kernel_guard, dst.begin() + static_cast<std::ptrdiff_t>(kernel_guard + m));
                ASSERT_EQ(got, want.limbs) << threads << " threads, " << kernel->name << ", n=" << digits.size();
                ASSERT_EQ(carry, want.carry) << threads << " threads, " << kernel->name << ", n=" << digits.size();
            }
        }
    }
}

TEST(StepTeam, LongTrajectorySharedOrNotReachesTheSameNumber) {
    std::mt19937 rng(seed + 6);
    // Long enough that every step is shared.
    const std::string start = random_digits(2 * 33000, rng);
    revadd::Trajectory alone;
    alone.assign(start);
    alone.search(40);
    for (unsigned threads : {2u, 3u}) {
        revadd::StepTeam team(threads);
        revadd::Trajectory shared;
        shared.share_steps(&team);
        shared.assign(start);
        shared.search(40);
        EXPECT_EQ(text_of(shared), text_of(alone)) << threads << " threads";
    }
}

}  // namespace
