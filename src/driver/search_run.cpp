// The run: parse the start, work out the end of the range, search each number in turn,
// report each hit on the console and in the file, then close with the summary.
#include "search_run.hpp"

#include <cstdio>
#include <cstring>
#include <string>

#include "../bignum/bignum.hpp"
#include "number_search.hpp"
#include "report_format.hpp"
#include "result_file.hpp"

namespace revadd {
namespace {

struct Records {
    bignum one{}, start{}, range_end{}, range_num{};
    Records() {
        for (bignum* r : {&one, &start, &range_end, &range_num}) bigInit(r);
    }
    ~Records() {
        for (bignum* r : {&one, &start, &range_end, &range_num}) bigFree(r);
    }
    Records(const Records&) = delete;
    Records& operator=(const Records&) = delete;
};

void report_failure(const char* what, int error) {
    std::fprintf(stderr, "revadd: could not write %s: %s\n", what, std::strerror(error));
}

}  // namespace

bool report_console_failure(TextSink& console) {
    if (console.flush()) return false;
    report_failure("standard output", console.error());
    return true;
}

int run_search(const Answers& answers, TextSink& console) {
    Records r;
    str2big(&r.one, "1");
    str2big(&r.start, answers.start_text);
    str2big(&r.range_end, answers.start_text);
    int2big(&r.range_num, answers.range);
    bigAdd(&r.range_end, r.range_end, r.range_num);
    const bool negative = r.start.sign == 0;

    ResultFile file;
    const bool file_opened = file.open();
    console.write("\n");

    Summary summary;
    std::string text;
    // Without a step allowed no number can form a palindrome: nothing to search.
    if (answers.iterations >= 1) {
        for (std::int32_t i = 0; i < answers.range; ++i) {
            const std::string_view digits(r.start.number, static_cast<std::size_t>(r.start.ndigits));
            const SearchOutcome outcome = search_number(digits, answers.iterations);
            if (outcome.formed) {
                summary.tally.add(outcome.steps);
                text.clear();
                append_hit(text, negative, digits, outcome.palindrome, outcome.steps);
                console.write(text);
                file.record_hit(digits, outcome.palindrome, outcome.steps);
            }
            bigAdd(&r.start, r.start, r.one);
        }
    }

    summary.range = answers.range;
    summary.start_text = answers.start_text;
    if (negative) summary.range_end.push_back('-');
    summary.range_end.append(r.range_end.number);
    summary.iterations = answers.iterations;

    const bool file_written = file.finish(summary);
    text.clear();
    append_summary(text, summary);
    console.write(text);
    const bool console_failed = report_console_failure(console);

    if (!file_opened) std::fputs("\noutput file could not be opened\noutput to console only\n", stderr);
    if (!file_written) report_failure(ResultFile::path, file.error());
    return console_failed || !file_written ? 1 : 0;
}

}  // namespace revadd
