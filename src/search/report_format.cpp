#include "report_format.hpp"

#include <charconv>

namespace revadd {
namespace {

void append_int(std::string& out, std::int32_t value) {
    char text[12];
    auto [end, ec] = std::to_chars(text, text + sizeof text, value);
    (void)ec;
    out.append(text, end);
}

}  // namespace

void append_hit(std::string& out, bool negative, std::string_view digits,
                std::string_view palindrome, std::int32_t steps) {
    if (negative) out += '-';
    out.append(digits);
    out += '\n';
    out.append(palindrome);
    out += '\n';
    append_int(out, steps);
    out.append(" iterations\n\n");
}

void append_summary(std::string& out, const Summary& s) {
    append_int(out, s.tally.count());
    out.append(" of ");
    append_int(out, s.range);
    out.append(" numbers in the range\n");
    out.append(s.start_text);
    out.append(" to ");
    out.append(s.range_end);
    out.append("\nformed palindromes in ");
    append_int(out, s.iterations);
    out.append(" or fewer iterations\nhigh iterations: ");
    append_int(out, s.tally.high());
    out.append("\nlow iterations: ");
    append_int(out, s.tally.low());
    out += '\n';
}

}  // namespace revadd
