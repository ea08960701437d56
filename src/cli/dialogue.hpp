// The three questions of a run and the checks on their answers.
//
// Answers are whitespace-separated tokens, so they may come one per line or all on one
// line. Each answer is checked as soon as it is read; the starting number is only
// measured here (its digits are checked when it is parsed as a number).
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "text_sink.hpp"

namespace revadd {

// Longest starting number accepted, in characters (sign included).
inline constexpr std::size_t max_start_length = 999;

struct Answers {
    std::string start_text;  // exactly as typed
    std::int32_t range = 0;
    std::int32_t iterations = 0;
};

// Why an answer was refused: one line for standard error.
struct Refusal {
    std::string message;
};

// Writes each prompt to `out` (flushed, so that it shows before input is awaited) and
// reads its answer from `in`.
std::variant<Answers, Refusal> ask(std::FILE* in, TextSink& out);

}  // namespace revadd
