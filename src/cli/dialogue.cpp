// Tokens are read one byte at a time and never held beyond what a check needs, so an
// answer of any length (a megabyte on one line) costs no more memory than a short one.
#include "dialogue.hpp"

#include <limits>

namespace revadd {
namespace {

// The white space of formatted input in the C locale.
bool is_space(int c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Feeds each byte of the next token to `take`; false when input ends before a token.
template <class Take>
bool read_token(std::FILE* in, Take&& take) {
    int c = std::getc(in);
    while (c != EOF && is_space(c)) c = std::getc(in);
    if (c == EOF) return false;
    while (c != EOF && !is_space(c)) {
        take(static_cast<char>(c));
        c = std::getc(in);
    }
    if (c != EOF) std::ungetc(c, in);
    return true;
}

// Accumulates a 32-bit integer one character at a time; leading zeros cost nothing.
class Int32Scanner {
public:
    void take(char c) {
        if (!started_ && !signed_ && (c == '+' || c == '-')) {
            signed_ = true;
            negative_ = c == '-';
            return;
        }
        started_ = true;
        if (c < '0' || c > '9') {
            bad_ = true;
            return;
        }
        digits_ = true;
        // The magnitude may reach 2^31 for the most negative value; past that it is out.
        magnitude_ = magnitude_ * 10 + (c - '0');
        if (magnitude_ > limit) {
            bad_ = true;
            magnitude_ = limit + 1;
        }
    }

    std::optional<std::int32_t> value() const {
        if (bad_ || !digits_) return std::nullopt;
        const std::int64_t v = negative_ ? -magnitude_ : magnitude_;
        if (v < std::numeric_limits<std::int32_t>::min() ||
            v > std::numeric_limits<std::int32_t>::max()) {
            return std::nullopt;
        }
        return static_cast<std::int32_t>(v);
    }

private:
    static constexpr std::int64_t limit = std::int64_t{1} << 31;
    std::int64_t magnitude_ = 0;
    bool signed_ = false;
    bool negative_ = false;
    bool started_ = false;
    bool digits_ = false;
    bool bad_ = false;
};

void prompt(TextSink& out, const char* text) {
    out.write(text);
    out.flush();
}

std::variant<std::int32_t, Refusal> ask_int32(std::FILE* in, TextSink& out, const char* text,
                                              const char* what) {
    prompt(out, text);
    Int32Scanner scanner;
    if (!read_token(in, [&](char c) { scanner.take(c); })) {
        return Refusal{std::string("revadd: no answer for the ") + what + " (end of input)\n"};
    }
    if (auto v = scanner.value()) return *v;
    return Refusal{std::string("revadd: the ") + what +
                   " must be a whole number from -2147483648 to 2147483647\n"};
}

}  // namespace

std::variant<Answers, Refusal> ask(std::FILE* in, TextSink& out) {
    Answers answers;

    prompt(out, "enter starting number:\n");
    std::size_t length = 0;
    const bool got_start = read_token(in, [&](char c) {
        if (++length <= max_start_length) answers.start_text.push_back(c);
    });
    if (!got_start) return Refusal{"revadd: no answer for the starting number (end of input)\n"};
    if (length > max_start_length) {
        return Refusal{"revadd: the starting number is longer than " +
                       std::to_string(max_start_length) + " characters\n"};
    }

    auto range = ask_int32(in, out, "enter range:\n", "range");
    if (auto* refusal = std::get_if<Refusal>(&range)) return *refusal;
    answers.range = std::get<std::int32_t>(range);

    auto iterations = ask_int32(in, out, "enter number of iterations:\n", "number of iterations");
    if (auto* refusal = std::get_if<Refusal>(&iterations)) return *refusal;
    answers.iterations = std::get<std::int32_t>(iterations);

    return answers;
}

}  // namespace revadd
