// The three questions: which answers are taken, which are refused and with what words,
// and which prompts have been shown by the time the dialogue stops.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "cli/dialogue.hpp"
#include "cli/text_sink.hpp"

namespace {

using revadd::Answers;
using revadd::Refusal;

TEST(ParseInt32, AcceptsWholeSignedDecimalsThatFit32Bits) {
    struct Case {
        std::string token;
        std::int32_t value;
    };
    const std::vector<Case> cases = {
        {"0", 0},
        {"-0", 0},
        {"+0", 0},
        {"+5", 5},
        {"5", 5},
        {"-5", -5},
        {"007", 7},
        {"-007", -7},
        {"-2147483648", INT32_MIN},
        {"2147483647", INT32_MAX},
        {"+2147483647", INT32_MAX},
        {"-2147483647", -INT32_MAX},
        {"0000000000000000000000000000042", 42},
        {"-00000000000000000002147483648", INT32_MIN},
        {"000000000000000000002147483647", INT32_MAX},
        {"1000000000", 1000000000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.token));
        const auto v = revadd::parse_int32(c.token);
        ASSERT_TRUE(v.has_value());
        EXPECT_EQ(*v, c.value);
    }
}

TEST(ParseInt32, RefusesAnythingElse) {
    const std::vector<std::string> tokens = {
        "", "-", "+", "abc", "5x", "x5", "1e3", "99999999999", "2147483648", "-2147483649",
        "4294967296", "4294967295", "9223372036854775808", "18446744073709551616",
        "21474836470", "--1", "+-1", "-+1", "++1", "1-", "1+", " 5", "5 ", "5\n", "\t5",
        "0x10", "5.0", "5,0", "1_000", "/", ":", "5:", "/5", std::string("5\0", 2),
        "\xEF\xBC\x95",  // a digit outside ASCII
    };
    for (const auto& token : tokens) {
        SCOPED_TRACE(testing::PrintToString(token));
        const auto v = revadd::parse_int32(token);
        EXPECT_FALSE(v.has_value()) << "parsed as " << v.value_or(0);
    }
}

// Runs the dialogue on `input` and collects everything it wrote.
struct Dialogue {
    std::variant<Answers, Refusal> result;
    std::string prompts;
};

Dialogue run_dialogue(std::string input) {
    std::FILE* in = fmemopen(input.data(), input.size(), "r");
    if (in == nullptr) throw std::runtime_error("fmemopen failed");
    char* text = nullptr;
    std::size_t size = 0;
    std::FILE* out = open_memstream(&text, &size);
    if (out == nullptr) {
        std::fclose(in);
        throw std::runtime_error("open_memstream failed");
    }
    revadd::TextSink sink(out);
    Dialogue d{revadd::ask(in, sink), {}};
    const bool written = sink.close();
    std::fclose(in);
    d.prompts.assign(text, size);
    std::free(text);
    if (!written) throw std::runtime_error("writing the prompts failed");
    return d;
}

constexpr const char* kStart = "enter starting number:\n";
constexpr const char* kRange = "enter range:\n";
constexpr const char* kIterations = "enter number of iterations:\n";
const std::string kAllPrompts = std::string(kStart) + kRange + kIterations;

TEST(Ask, TakesThreeWhitespaceSeparatedAnswers) {
    const std::string digits999(999, '7');
    const std::string signed999 = std::string("-").append(998, '1');
    struct Case {
        std::string name;
        std::string input;
        std::string start;
        std::int32_t range;
        std::int32_t iterations;
    };
    const std::vector<Case> cases = {
        {"all on one line", "10 5 10\n", "10", 5, 10},
        {"one per line", "10\n5\n10\n", "10", 5, 10},
        {"no final newline", "10 5 10", "10", 5, 10},
        {"extra spaces, tabs and CRLF", "  \t 10 \t\r\n\r\n  5\t\t\r\n\v\f 10 \r\n", "10", 5, 10},
        {"later lines left unread", "1 2 3\n4 5 6\n", "1", 2, 3},
        {"signs and leading zeros", "-0012 +0007 -0003\n", "-0012", 7, -3},
        {"extreme ranges", "89 -2147483648 2147483647\n", "89", INT32_MIN, INT32_MAX},
        {"start kept as typed, unchecked", "12abc 1 1\n", "12abc", 1, 1},
        {"999-character start", digits999 + " 1 30\n", digits999, 1, 30},
        {"999-character start with sign", signed999 + " 1 30\n", signed999, 1, 30},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Dialogue d = run_dialogue(c.input);
        EXPECT_EQ(d.prompts, kAllPrompts);
        const auto* answers = std::get_if<Answers>(&d.result);
        ASSERT_NE(answers, nullptr) << "refused: " << std::get<Refusal>(d.result).message;
        EXPECT_EQ(answers->start_text, c.start);
        EXPECT_EQ(answers->range, c.range);
        EXPECT_EQ(answers->iterations, c.iterations);
    }
}

TEST(Ask, RefusesWithOneLineAndStopsAskingAtFirstBadAnswer) {
    const std::string start_and_prompt = kStart;
    const std::string two_prompts = std::string(kStart) + kRange;
    const std::string too_long = "revadd: the starting number is longer than 999 characters\n";
    const std::string bad_range =
        "revadd: the range must be a whole number from -2147483648 to 2147483647\n";
    const std::string bad_iterations =
        "revadd: the number of iterations must be a whole number from -2147483648 to "
        "2147483647\n";
    struct Case {
        std::string name;
        std::string input;
        std::string message;
        std::string prompts;
    };
    const std::vector<Case> cases = {
        {"empty input", "", "revadd: no answer for the starting number (end of input)\n",
         start_and_prompt},
        {"only white space", " \n\t\r\n", "revadd: no answer for the starting number (end of input)\n",
         start_and_prompt},
        {"1000-character start", std::string(1000, '7') + " 1 30\n", too_long, start_and_prompt},
        {"1000-character start with sign", std::string("-").append(999, '1').append(" 1 30\n"), too_long,
         start_and_prompt},
        {"1 MiB start", std::string(1 << 20, '9') + " 1 30\n", too_long, start_and_prompt},
        {"missing range", "10\n", "revadd: no answer for the range (end of input)\n", two_prompts},
        {"missing range, trailing space", "10 \n \n", "revadd: no answer for the range (end of input)\n",
         two_prompts},
        {"missing iterations", "10 5",
         "revadd: no answer for the number of iterations (end of input)\n", kAllPrompts},
        {"missing iterations, trailing newline", "10\n5\n",
         "revadd: no answer for the number of iterations (end of input)\n", kAllPrompts},
        {"range not a number", "10 abc 10\n", bad_range, two_prompts},
        {"range too large", "10 2147483648 10\n", bad_range, two_prompts},
        {"range too small", "10 -2147483649 10\n", bad_range, two_prompts},
        {"range with a fraction", "10 5.0 10\n", bad_range, two_prompts},
        {"range a lone sign", "10 - 10\n", bad_range, two_prompts},
        {"range far too long", std::string("10 ").append(5000, '1').append(" 10\n"), bad_range, two_prompts},
        {"iterations not a number", "10 5 x\n", bad_iterations, kAllPrompts},
        {"iterations too large", "10 5 99999999999\n", bad_iterations, kAllPrompts},
        {"iterations in hex", "10 5 0x10\n", bad_iterations, kAllPrompts},
        {"iterations with a double sign", "10 5 --1\n", bad_iterations, kAllPrompts},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Dialogue d = run_dialogue(c.input);
        EXPECT_EQ(d.prompts, c.prompts);
        const auto* refusal = std::get_if<Refusal>(&d.result);
        ASSERT_NE(refusal, nullptr) << "accepted an answer that should be refused";
        EXPECT_EQ(refusal->message, c.message);
    }
}

}  // namespace
