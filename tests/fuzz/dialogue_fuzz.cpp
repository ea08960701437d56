// Arbitrary bytes as standard input to the dialogue, in process. The outcome must be the
// one a separate re-parse of the same bytes predicts from the documented rules, a
// refusal must be one of the tool's own lines, the prompts shown must stop at the refused
// question, and accepted answers must carry on into the run's parsing of the start and
// the range end without reaching anything but a defined outcome.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "bignum/bignum.hpp"
#include "cli/dialogue.hpp"
#include "cli/text_sink.hpp"
#include "fuzz_check.hpp"

namespace {

using revadd::fuzz::check;
using revadd::fuzz::is_digit;

constexpr const char* no_start = "revadd: no answer for the starting number (end of input)\n";
constexpr const char* no_range = "revadd: no answer for the range (end of input)\n";
constexpr const char* no_iterations =
    "revadd: no answer for the number of iterations (end of input)\n";
constexpr const char* long_start = "revadd: the starting number is longer than 999 characters\n";
constexpr const char* bad_range =
    "revadd: the range must be a whole number from -2147483648 to 2147483647\n";
constexpr const char* bad_iterations =
    "revadd: the number of iterations must be a whole number from -2147483648 to 2147483647\n";

constexpr const char* start_prompt = "enter starting number:\n";
constexpr const char* range_prompt = "enter range:\n";
constexpr const char* iterations_prompt = "enter number of iterations:\n";

bool is_space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::vector<std::string_view> tokens(std::string_view input) {
    std::vector<std::string_view> out;
    std::size_t at = 0;
    while (out.size() < 3) {
        while (at < input.size() && is_space(input[at])) ++at;
        if (at == input.size()) break;
        const std::size_t from = at;
        while (at < input.size() && !is_space(input[at])) ++at;
        out.push_back(input.substr(from, at - from));
    }
    return out;
}

// Whole-token arithmetic on the text, not digit by digit as the dialogue does it.
std::optional<std::int32_t> whole_int32(std::string_view token) {
    bool negative = false;
    if (!token.empty() && (token[0] == '+' || token[0] == '-')) {
        negative = token[0] == '-';
        token.remove_prefix(1);
    }
    if (token.empty()) return std::nullopt;
    for (char c : token) {
        if (!is_digit(c)) return std::nullopt;
    }
    while (token.size() > 1 && token[0] == '0') token.remove_prefix(1);
    if (token.size() > 10) return std::nullopt;
    const std::int64_t magnitude = std::strtoll(std::string(token).c_str(), nullptr, 10);
    const std::int64_t value = negative ? -magnitude : magnitude;
    if (value < INT32_MIN || value > INT32_MAX) return std::nullopt;
    return static_cast<std::int32_t>(value);
}

struct Expected {
    std::variant<revadd::Answers, revadd::Refusal> outcome;
    std::string prompts;
};

Expected reference(std::string_view input) {
    const std::vector<std::string_view> t = tokens(input);
    std::string prompts = start_prompt;
    if (t.empty()) return {revadd::Refusal{no_start}, prompts};
    if (t[0].size() > revadd::max_start_length) return {revadd::Refusal{long_start}, prompts};
    prompts += range_prompt;
    if (t.size() < 2) return {revadd::Refusal{no_range}, prompts};
    const auto range = whole_int32(t[1]);
    if (!range) return {revadd::Refusal{bad_range}, prompts};
    prompts += iterations_prompt;
    if (t.size() < 3) return {revadd::Refusal{no_iterations}, prompts};
    const auto iterations = whole_int32(t[2]);
    if (!iterations) return {revadd::Refusal{bad_iterations}, prompts};
    return {revadd::Answers{std::string(t[0]), *range, *iterations}, prompts};
}

// What the run does with accepted answers before it searches: the start parsed, and the
// end of the range as the sum of its magnitude and the range's. A start that is not
// digits after an optional sign is the run's own refusal (str2big's message, which ends
// the process), so it is recognised here and not handed on.
void parse_like_the_run(const revadd::Answers& answers) {
    const std::string& text = answers.start_text;
    const bool signed_form = !text.empty() && (text[0] == '+' || text[0] == '-');
    const std::string_view digits = std::string_view(text).substr(signed_form ? 1 : 0);
    if (digits.empty()) return;
    for (char c : digits) {
        if (!is_digit(c)) return;
    }

    revadd::bignum start{}, range_end{}, range_num{};
    for (revadd::bignum* r : {&start, &range_end, &range_num}) revadd::bigInit(r);
    revadd::str2big(&start, text);
    revadd::str2big(&range_end, text);
    revadd::int2big(&range_num, answers.range);
    revadd::bigAdd(&range_end, range_end, range_num);

    check(start.sign == (text[0] == '-' ? 0 : 1), "sign of the parsed start");
    check(std::string_view(start.number) == digits, "digits of the parsed start");
    check(start.ndigits == static_cast<std::int32_t>(digits.size()), "length of the parsed start");
    const std::int64_t range = answers.range;
    const std::string range_magnitude = std::to_string(range < 0 ? -range : range);
    check(std::string_view(range_num.number) == range_magnitude, "digits of the range");
    check(range_num.sign == (answers.range < 0 ? 0 : 1), "sign of the range");
    const std::string end = revadd::fuzz::decimal_sum(digits, range_magnitude);
    check(std::string_view(range_end.number) == end, "end of the range");
    check(range_end.ndigits == static_cast<std::int32_t>(end.size()), "length of the range end");

    for (revadd::bignum* r : {&start, &range_end, &range_num}) revadd::bigFree(r);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    // fmemopen refuses an empty buffer on some C libraries; /dev/null is the same input.
    std::FILE* in = size > 0 ? fmemopen(const_cast<std::uint8_t*>(data), size, "r")
                             : std::fopen("/dev/null", "r");
    check(in != nullptr, "opening the input");
    char* shown = nullptr;
    std::size_t shown_size = 0;
    std::FILE* out = open_memstream(&shown, &shown_size);
    check(out != nullptr, "opening the prompt stream");

    std::variant<revadd::Answers, revadd::Refusal> outcome;
    {
        revadd::TextSink sink(out);
        outcome = revadd::ask(in, sink);
        check(sink.close(), "writing the prompts");
    }
    std::fclose(in);
    const std::string prompts(shown, shown_size);
    std::free(shown);

    const Expected expected = reference(input);
    // The whole input as one token: the same scanner without the tokenizer around it.
    check(revadd::parse_int32(input) == whole_int32(input), "parse_int32 of the whole input");
    check(prompts == expected.prompts, "prompts shown up to the answer that ends the dialogue");
    check(outcome.index() == expected.outcome.index(), "answers or refusal as the re-parse has it");

    if (const auto* refusal = std::get_if<revadd::Refusal>(&outcome)) {
        const std::string& m = refusal->message;
        check(m == no_start || m == no_range || m == no_iterations || m == long_start ||
                  m == bad_range || m == bad_iterations,
              "a refusal is one of the defined lines");
        check(m == std::get<revadd::Refusal>(expected.outcome).message, "the refusal the re-parse gives");
        return 0;
    }

    const auto& answers = std::get<revadd::Answers>(outcome);
    const auto& want = std::get<revadd::Answers>(expected.outcome);
    check(answers.start_text.size() <= revadd::max_start_length, "start within 999 characters");
    check(answers.start_text == want.start_text, "start as typed");
    check(answers.range == want.range, "range value");
    check(answers.iterations == want.iterations, "iterations value");
    parse_like_the_run(answers);
    return 0;
}
