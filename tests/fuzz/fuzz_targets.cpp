// The libFuzzer targets, one per build of this file (REVADD_FUZZ_TARGET 1, 2 or 3): the
// dialogue against a re-parse of its rules; each kernel's segment against plain limbs and
// the trajectory against the step-by-step search; a range against the step-by-step
// search. A failed check aborts, which libFuzzer records with the input.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <variant>

#include "bignum/bignum.hpp"
#include "cli/dialogue.hpp"
#include "engine/trajectory.hpp"
#include "reference.hpp"
#include "reference_search.hpp"
#include "search/range_search.hpp"

namespace {

using namespace revadd;

void check(bool ok, const char* what) {
    if (ok) return;
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

[[maybe_unused]] std::string digits_of(const std::uint8_t* data, std::size_t n) {
    std::string s(n, '0');
    for (std::size_t k = 0; k < n; ++k) s[k] = static_cast<char>('0' + (data[k] + 2) % 10);
    return s;
}

#if REVADD_FUZZ_TARGET == 1
void fuzz(const std::uint8_t* data, std::size_t size) {
    std::FILE* in = size > 0 ? fmemopen(const_cast<std::uint8_t*>(data), size, "r")
                             : std::fopen("/dev/null", "r");
    char* shown = nullptr;
    std::size_t shown_size = 0;
    std::FILE* out = open_memstream(&shown, &shown_size);
    std::variant<Answers, Refusal> outcome;
    {
        TextSink sink(out);
        outcome = ask(in, sink);
        check(sink.close(), "writing the prompts");
    }
    std::fclose(in);
    const std::string shown_text(shown, shown_size);
    std::free(shown);
    // The answers again, by whole-token arithmetic: a token, then its value as strtoll reads it.
    std::vector<std::string> t;
    std::string refusal;
    std::istringstream words(std::string(reinterpret_cast<const char*>(data), size));
    for (std::string word; t.size() < 3 && words >> word;) t.push_back(word);
    const auto value = [&](std::size_t i) {
        char* end = nullptr;
        errno = 0;
        const long long v = std::strtoll(t[i].c_str(), &end, 10);
        return end == t[i].c_str() + t[i].size() && errno == 0 && v >= INT32_MIN && v <= INT32_MAX
                   ? std::optional<std::int32_t>(static_cast<std::int32_t>(v))
                   : std::nullopt;
    };
    const char* what[] = {"starting number", "range", "number of iterations"};
    std::size_t asked = 1;
    if (t.empty()) refusal = "revadd: no answer for the starting number (end of input)\n";
    if (!t.empty() && t[0].size() > 999)
        refusal = "revadd: the starting number is longer than 999 characters\n";
    for (std::size_t i = 1; i < 3 && refusal.empty(); ++i, ++asked) {
        if (t.size() <= i)
            refusal = std::string("revadd: no answer for the ") + what[i] + " (end of input)\n";
        else if (!value(i))
            refusal = std::string("revadd: the ") + what[i] +
                      " must be a whole number from -2147483648 to 2147483647\n";
    }
    check(shown_text == tests::prompts(asked), "prompts up to the answer that ends the dialogue");
    const auto* r = std::get_if<Refusal>(&outcome);
    const auto* a = std::get_if<Answers>(&outcome);
    check(r != nullptr ? r->message == refusal
                       : refusal.empty() && a->start_text == t[0] && a->range == *value(1) &&
                             a->iterations == *value(2),
          "the outcome the re-parse gives");
}
#elif REVADD_FUZZ_TARGET == 2
void fuzz(const std::uint8_t* data, std::size_t size) {
    if (size < 4) return;
    std::string digits = digits_of(data + 4, std::min<std::size_t>(size - 4, 5000));
    const std::size_t n = digits.size(), m = limbs_for(n);
    // Shapes random bytes seldom make: digit pairs summing to 9 pass carries on, equal
    // pairs make palindromes; a byte of 240 or more breaks the pattern.
    for (std::size_t k = 0; k < n / 2 && (data[0] & 24) != 0; ++k) {
        if (data[4 + n - 1 - k] < 240)
            digits[n - 1 - k] =
                static_cast<char>((data[0] & 8) ? '9' - digits[k] + '0' : digits[k]);
    }
    std::size_t begin = (data[1] | data[2] << 8) % (m + 1),
                end = (data[2] | data[3] << 8) % (m + 1);
    if (begin > end) std::swap(begin, end);
    check(tests::check_kernels(digits, begin, end, data[3] >> 7).empty(), "kernels");
    Trajectory t;
    t.assign(digits.empty() ? "0" : digits);
    const std::int32_t limit = 1 + (data[0] & 7), steps = t.search(limit);
    const SearchOutcome want = search_number(digits, limit);
    std::string text;
    t.append_text(text);
    check(steps == (want.formed ? want.steps : 0) && (steps == 0 || text == want.palindrome),
          "trajectory");
}
#else
void fuzz(const std::uint8_t* data, std::size_t size) {
    if (size < 5) return;
    const std::string start =
        (data[0] & 1 ? "-" : "") + digits_of(data + 4, std::min<std::size_t>(size - 4, 40));
    RunOptions o;
    o.threads = 1 + (data[0] >> 1 & 1);
    o.use_memo = data[0] & 4;
    o.chunk_numbers = data[0] >> 5;
    if (data[0] & 8)
        o.memo_budget_bytes = (data[0] >> 5) * (tuning::memo_entry_overhead_bytes + 40);
    const std::string wrong =
        tests::check_range(start, 1 + (data[1] | data[2] << 8) % 100, 1 + data[3] % 150, o);
    if (!wrong.empty()) std::fprintf(stderr, "%s\n", wrong.c_str());
    check(wrong.empty(), "range");
}
#endif

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz(data, size);
    return 0;
}
