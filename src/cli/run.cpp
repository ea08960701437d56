// The run: parse the start, work out the end of the range, search the range on all
// cores, report the hits on the console and in the file as they come in range order,
// then close with the summary.
#include "run.hpp"

#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "base/fatal.hpp"
#include "base/stop_signal.hpp"
#include "base/terminal.hpp"
#include "bignum/bignum.hpp"
#include "result_file.hpp"
#include "resuming.hpp"
#include "search/range_search.hpp"
#include "search/report_format.hpp"
#include "status_line.hpp"

namespace revadd {
namespace {

struct Records {
    bignum start{}, range_end{}, range_num{};
    Records() {
        for (bignum* r : {&start, &range_end, &range_num}) bigInit(r);
    }
    ~Records() {
        for (bignum* r : {&start, &range_end, &range_num}) bigFree(r);
    }
    Records(const Records&) = delete;
    Records& operator=(const Records&) = delete;
};

// Each chunk in one write per stream; the console is pushed out whenever the search is
// ahead of it, so that a long run shows its hits as they are found. Writes hold the
// output lock: a fatal error on a searching thread waits for them, so that neither the
// console nor the file is left with a record cut in two. When the console is the
// terminal of a status line, the line is off the screen while the console's text goes out.
// The point a later run would take up goes to the resume keeper as the search gets on.
class ReportWriter final : public ChunkWriter {
public:
    ReportWriter(TextSink& console, ResultFile& file, ResumeKeeper& keeper,
                 bool console_shares_line)
        : console_(console),
          file_(file),
          keeper_(keeper),
          console_shares_line_(console_shares_line) {}
    void write(std::string_view console, std::string_view file) override {
        const auto hold = output_lock();
        if (!console.empty()) {
            if (console_shares_line_) {
                const auto line_off = terminal::line_kept_off();
                console_.write(console);
                console_.flush();
            } else {
                console_.write(console);
            }
        }
        if (!file.empty()) file_.record_hits(file);
    }
    void caught_up() override {
        const auto hold = output_lock();
        console_.flush();
    }
    void searched(std::int64_t end, const Tally& tally) override {
        const auto hold = output_lock();
        keeper_.searched(end, tally);
    }
    bool point_due() override { return keeper_.point_due(); }
    void point_reached(const TrajectoryPoint& point) override {
        const auto hold = output_lock();
        keeper_.point_reached(point);
    }
    void stopped(std::int64_t searched) override { searched_ = searched; }
    // Numbers searched without a gap when the search was stopped; none when it was not.
    std::optional<std::int64_t> stopped_after() const { return searched_; }

private:
    TextSink& console_;
    ResultFile& file_;
    ResumeKeeper& keeper_;
    const bool console_shares_line_;
    std::optional<std::int64_t> searched_;
};

void report_failure(const char* what, int error) {
    std::fprintf(stderr, "revadd: could not write %s: %s\n", what, std::strerror(error));
}

// The closing words on standard error: the notice of a file that could not be created
// and every write that failed. True when something was not written.
// Where a stopped run left its point, and how to take it up.
void report_saved() {
    std::fprintf(stderr,
                 "revadd: %s keeps where it stopped: the same answers given again in this "
                 "directory carry on from there\n",
                 resume_path);
}

bool report_outputs(TextSink& console, const ResultFile& file, bool file_opened,
                    bool file_written) {
    const bool console_failed = report_console_failure(console);
    if (!file_opened)
        std::fputs("\noutput file could not be opened\noutput to console only\n", stderr);
    if (!file_written) report_failure(ResultFile::path, file.error());
    return console_failed || !file_written;
}

}  // namespace

bool report_console_failure(TextSink& console) {
    if (console.flush()) return false;
    report_failure("standard output", console.error());
    return true;
}

int run_search(const Answers& answers, TextSink& console, const RunOptions& options,
               bool status_line, std::chrono::milliseconds save_interval) {
    Records r;
    str2big(&r.start, answers.start_text);
    str2big(&r.range_end, answers.start_text);
    int2big(&r.range_num, answers.range);
    bigAdd(&r.range_end, r.range_end, r.range_num);
    const bool negative = r.start.sign == 0;
    RangeJob job;
    job.first_digits = std::string_view(r.start.number, static_cast<std::size_t>(r.start.ndigits));
    job.count = answers.range;
    job.iterations = answers.iterations;
    job.negative = negative;

    ResultFile file;
    const ResultFile::Opened opened = file.open();
    const bool file_opened = opened == ResultFile::Opened::yes;
    const ResumePoint start = take_up(answers, job, file, opened);
    console.write("\n");
    if (start.file_bytes > 0) show_kept_hits(file, negative, console);
    ResumeKeeper keeper(start, file, file_opened, save_interval);

    Tally tally = start.tally;
    // Without a step allowed no number can form a palindrome: nothing to search.
    if (answers.iterations >= 1 && start.searched < answers.range) {
        job.first_index = start.searched;
        if (start.trajectory.steps > 0) job.resume_point = &start.trajectory;
        RunProgress progress;
        progress.numbers = start.searched;
        progress.hits = start.tally.count();
        RunOptions search_options = options;
        std::optional<StatusLine> line;
        if (status_line) {
            search_options.progress = &progress;
            line.emplace(progress, answers.range, answers.iterations);
        }
        ReportWriter writer(console, file, keeper, line && terminal::stdout_is_terminal());
        tally.add(search_range(job, search_options, writer));
        // Gone before anything else is written: the screen then reads as without it.
        line.reset();
        // Stopped: every hit found is with the console and the file already; a summary
        // would count numbers never searched, so there is none.
        if (const auto searched = writer.stopped_after()) {
            const bool saved = keeper.save();
            const bool lost = report_outputs(console, file, file_opened, file.close());
            const int signal_number = options.stop->load();
            std::fprintf(
                stderr,
                "revadd: stopped by %s: every number before %s was searched%s; no summary\n",
                signal_name(signal_number), number_at(job, *searched).c_str(),
                lost ? "" : " and every hit found is written");
            if (saved) report_saved();
            return 128 + signal_number;
        }
    }

    std::string range_end = negative ? "-" : "";
    range_end.append(r.range_end.number);
    const Summary summary{tally, answers.range, answers.start_text, range_end, answers.iterations};

    const bool file_written = file.finish(summary);
    // A file that lacks its ending is made whole by resuming from the last point saved.
    if (file_opened && file_written) keeper.remove();
    std::string text;
    append_summary(text, summary);
    console.write(text);
    return report_outputs(console, file, file_opened, file_written) ? 1 : 0;
}

}  // namespace revadd
