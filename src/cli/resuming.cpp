#include "resuming.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <variant>

#include "base/durable_file.hpp"
#include "search/decimal_counter.hpp"

namespace revadd {
namespace {

// The resume file's bytes; none when there is no such file, and why they are not to be
// used when it cannot be read.
std::optional<std::string> read_resume_file(std::string& why_not) {
    std::FILE* f = std::fopen(resume_path, "rb");
    if (f == nullptr && errno == ENOENT) return std::nullopt;
    if (f == nullptr) {
        why_not = std::string("it cannot be read: ") + std::strerror(errno);
        return "";
    }
    std::string bytes;
    char piece[65536];
    for (std::size_t n; (n = std::fread(piece, 1, sizeof piece, f)) > 0;) bytes.append(piece, n);
    if (std::ferror(f) != 0) why_not = "it cannot be read";
    std::fclose(f);
    return bytes;
}

// Why the point cannot be taken up for these answers and this palin.txt; none when it can,
// and palin.txt is then cut to the bytes it recorded.
std::optional<std::string> refusal(const std::variant<ResumePoint, std::string>& decoded,
                                   const Answers& answers, ResultFile& file,
                                   ResultFile::Opened opened) {
    if (const auto* why = std::get_if<std::string>(&decoded)) return *why;
    const ResumePoint& p = std::get<ResumePoint>(decoded);
    if (p.start_text != answers.start_text || p.range != answers.range ||
        p.iterations != answers.iterations) {
        return "it was made for other answers";
    }
    if (opened != ResultFile::Opened::yes) return "palin.txt cannot be opened";
    if (!file.keep_first(p.file_bytes, p.file_checksum)) {
        return "palin.txt is not as that run left it";
    }
    return std::nullopt;
}

ResumePoint fresh(const Answers& answers) {
    ResumePoint p;
    p.start_text = answers.start_text;
    p.range = answers.range;
    p.iterations = answers.iterations;
    return p;
}

}  // namespace

std::string number_at(const RangeJob& job, std::int64_t index) {
    std::string magnitude(job.first_digits);
    if (index > 0) add_to_decimal(magnitude, static_cast<std::uint64_t>(index));
    return job.negative ? "-" + magnitude : magnitude;
}

ResumePoint take_up(const Answers& answers, const RangeJob& job, ResultFile& file,
                    ResultFile::Opened opened) {
    if (opened == ResultFile::Opened::in_use) {
        std::fputs(
            "revadd: palin.txt is in use by another revadd in this directory: this run leaves "
            "it and revadd.resume alone\n",
            stderr);
        return fresh(answers);
    }
    std::string why_not;
    const std::optional<std::string> bytes = read_resume_file(why_not);
    if (bytes && why_not.empty()) {
        const auto decoded = decode_resume(*bytes);
        if (const auto why = refusal(decoded, answers, file, opened)) {
            why_not = *why;
        } else {
            const ResumePoint& p = std::get<ResumePoint>(decoded);
            const std::string number = number_at(job, p.searched);
            const std::string where = p.trajectory.steps > 0
                                          ? "step " + std::to_string(p.trajectory.steps) + " of " +
                                                number + " (" +
                                                std::to_string(p.trajectory.digits) + " digits, "
                                          : number + " (";
            std::fprintf(stderr,
                         "revadd: resuming from revadd.resume at %s%d hits before it); delete "
                         "revadd.resume to start over\n",
                         where.c_str(), static_cast<int>(p.tally.count()));
            return p;
        }
    }
    if (!why_not.empty()) {
        std::fprintf(stderr, "revadd: revadd.resume not used: %s; starting over\n",
                     why_not.c_str());
    }
    if (opened == ResultFile::Opened::yes && !file.start_over()) {
        std::fputs("revadd: palin.txt could not be emptied\n", stderr);
    }
    return fresh(answers);
}

void show_kept_hits(ResultFile& file, bool negative, TextSink& console) {
    // The file shows each number without its sign: the console puts it back, on the
    // first of each record's four lines.
    std::size_t line = 0;
    std::string text;
    file.read_kept([&](std::string_view piece) {
        if (!negative) return console.write(piece);
        text.clear();
        for (std::size_t from = 0; from < piece.size();) {
            if (line % 4 == 0) text.push_back('-');
            const std::size_t end = piece.find('\n', from);
            const std::size_t next = end == std::string_view::npos ? piece.size() : end + 1;
            text.append(piece.substr(from, next - from));
            if (end != std::string_view::npos) ++line;
            from = next;
        }
        console.write(text);
    });
}

ResumeKeeper::ResumeKeeper(ResumePoint start, ResultFile& file, bool enabled,
                           std::chrono::milliseconds interval)
    : start_(start),
      now_(std::move(start)),
      file_(file),
      enabled_(enabled),
      interval_(interval),
      next_save_(std::chrono::steady_clock::now() + interval) {}

void ResumeKeeper::searched(std::int64_t end, const Tally& tally) {
    if (end > now_.searched) now_.trajectory = TrajectoryPoint();
    now_.searched = end;
    now_.tally = start_.tally;
    now_.tally.add(tally);
    now_.file_bytes = file_.written().bytes();
    now_.file_checksum = file_.written().value();
    if (point_due()) save();
}

bool ResumeKeeper::point_due() const {
    return enabled_ && std::chrono::steady_clock::now() >= next_save_;
}

void ResumeKeeper::point_reached(const TrajectoryPoint& point) {
    now_.trajectory = point;
    if (point_due()) save();
}

bool ResumeKeeper::save() {
    if (!enabled_) return false;
    next_save_ = std::chrono::steady_clock::now() + interval_;
    // The hits it counts are on the disk before the file that counts them.
    std::optional<std::string> error;
    if (!file_.sync()) error = "palin.txt could not be flushed to the disk";
    if (!error) error = files::replace(resume_path, encode_resume(now_));
    if (error && !said_failure_) {
        std::fprintf(stderr, "revadd: could not write %s: %s\n", resume_path, error->c_str());
        said_failure_ = true;
    }
    return !error;
}

void ResumeKeeper::remove() {
    if (enabled_) std::remove(resume_path);
}

}  // namespace revadd
