// A small range searched on one thread without the memo, then with the memo and, when
// the input asks for more threads or set chunks, without it, under thread counts, chunk
// sizes and memo budgets taken from the input. All must write the same console and file
// text and the same tally; the text must list hits of numbers of the range in range
// order and agree with the tally; and a few of the numbers are searched again with the
// step-by-step reference.
//
// Input: byte 0 holds the options, bytes 1-2 the count (1-300), byte 3 the limit (1-150),
// bytes 4-7 which numbers are searched again, every further byte one digit of the start
// (at most 40), mapped so that the ASCII digits read as themselves.
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "search/reference_search.hpp"
#include "search/range_search.hpp"
#include "search/search_tuning.hpp"
#include "fuzz_check.hpp"

namespace {

using revadd::fuzz::check;

constexpr std::size_t max_start_digits = 40;
constexpr std::int32_t max_count = 300;
constexpr std::int32_t max_limit = 150;

class Collect final : public revadd::ChunkWriter {
public:
    void write(std::string_view console, std::string_view file) override {
        this->console.append(console);
        this->file.append(file);
    }
    std::string console;
    std::string file;
};

struct Run {
    std::string console;
    std::string file;
    revadd::Tally tally;
};

Run run(const revadd::RangeJob& job, const revadd::RunOptions& options) {
    Collect writer;
    const revadd::Tally tally = revadd::search_range(job, options, writer);
    return {std::move(writer.console), std::move(writer.file), tally};
}

struct Hit {
    std::string number;  // as the console shows it
    std::string palindrome;
    std::int32_t steps = 0;
};

std::string_view next_line(std::string_view& text) {
    const std::size_t end = text.find('\n');
    check(end != std::string_view::npos, "every line of a hit ends with a newline");
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(end + 1);
    return line;
}

std::int32_t steps_of(std::string_view line) {
    constexpr std::string_view suffix = " iterations";
    check(line.size() > suffix.size() && line.ends_with(suffix), "steps line ends in iterations");
    line.remove_suffix(suffix.size());
    check(line.size() <= 3, "steps within the limit's digits");
    std::int32_t v = 0;
    for (char c : line) {
        check(revadd::fuzz::is_digit(c), "steps are digits");
        v = v * 10 + (c - '0');
    }
    return v;
}

std::vector<Hit> hits_of(std::string_view text) {
    std::vector<Hit> hits;
    while (!text.empty()) {
        Hit h;
        h.number = next_line(text);
        h.palindrome = next_line(text);
        h.steps = steps_of(next_line(text));
        check(next_line(text).empty(), "a hit ends with an empty line");
        hits.push_back(std::move(h));
    }
    return hits;
}

std::string hit_text(const Hit& h) {
    return h.number + "\n" + h.palindrome + "\n" + std::to_string(h.steps) + " iterations\n\n";
}

void same_runs(const Run& a, const Run& b, const char* what) {
    check(a.console == b.console, what);
    check(a.file == b.file, what);
    check(a.tally.count() == b.tally.count() && a.tally.high() == b.tally.high() &&
              a.tally.low() == b.tally.low(),
          what);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 9) return 0;
    const std::uint8_t flags = data[0];
    const std::int32_t count = 1 + (data[1] | data[2] << 8) % max_count;
    const std::int32_t limit = 1 + data[3] % max_limit;
    std::string start;
    for (std::size_t k = 8; k < size && start.size() < max_start_digits; ++k) {
        start.push_back(static_cast<char>('0' + (data[k] + 2) % 10));
    }

    revadd::RangeJob job;
    job.first_digits = start;
    job.count = count;
    job.iterations = limit;
    job.negative = (flags & 0x01) != 0;
    job.file_records = (flags & 0x02) == 0;

    revadd::RunOptions plain;
    plain.threads = 1;
    plain.use_memo = false;
    const Run reference = run(job, plain);

    revadd::RunOptions varied;
    varied.threads = (flags & 0x04) != 0 ? 2 : 1;
    varied.chunk_numbers = (flags & 0x08) != 0 ? 1 + (flags >> 5) : 0;
    if ((flags & 0x10) != 0) {
        // Room for a handful of entries: the memo fills up within the range.
        varied.memo_budget_bytes = (flags >> 5) * (revadd::tuning::memo_entry_overhead_bytes + 40);
    }
    varied.use_memo = true;
    same_runs(run(job, varied), reference, "with the memo as without it");
    if (varied.threads != plain.threads || varied.chunk_numbers != plain.chunk_numbers) {
        varied.use_memo = false;
        same_runs(run(job, varied), reference, "threads and chunks change nothing");
    }

    // The console lists hits of numbers of the range, in range order: walk the numbers
    // along with the hits. Only the first number keeps its leading zeros.
    const std::string sign = job.negative ? "-" : "";
    const std::vector<Hit> hits = hits_of(reference.console);
    std::vector<std::string> numbers;
    numbers.reserve(static_cast<std::size_t>(count));
    std::size_t next_hit = 0;
    std::string file;
    for (std::int32_t i = 0; i < count; ++i) {
        numbers.push_back(i == 0 ? start : revadd::fuzz::decimal_sum(start, std::to_string(i)));
        if (next_hit < hits.size() && hits[next_hit].number == sign + numbers.back()) {
            Hit plain_hit = hits[next_hit];
            plain_hit.number = numbers.back();
            file += hit_text(plain_hit);
            ++next_hit;
        }
    }
    check(next_hit == hits.size(), "every hit is a number of the range, in range order");
    check(reference.file == (job.file_records ? file : ""), "file records are the hits without a sign");

    std::int32_t high = 0, low = revadd::low_without_hits;
    for (const Hit& h : hits) {
        check(h.steps >= 1 && h.steps <= limit, "steps within the limit");
        high = std::max(high, h.steps);
        low = std::min(low, h.steps);
    }
    check(reference.tally.count() == static_cast<std::int32_t>(hits.size()), "tally counts the hits");
    check(reference.tally.high() == high && reference.tally.low() == low, "tally high and low");

    // A few numbers through the step-by-step reference: formed exactly when listed, with
    // the same palindrome and steps.
    for (int k = 4; k < 8; ++k) {
        const std::size_t i = data[k] % static_cast<std::size_t>(count);
        const revadd::SearchOutcome want = revadd::search_number(numbers[i], limit);
        const auto listed = std::find_if(hits.begin(), hits.end(),
                                         [&](const Hit& h) { return h.number == sign + numbers[i]; });
        check(want.formed == (listed != hits.end()), "listed exactly when it forms a palindrome");
        if (want.formed) {
            check(listed->palindrome == want.palindrome && listed->steps == want.steps,
                  "palindrome and steps as the reference has them");
        }
    }
    return 0;
}
