// Taking up a stopped run where it stopped, and keeping, while a run goes on, the point a
// later run would take up: in revadd.resume beside palin.txt, saved at a stop and every
// so often, and removed once the run completes.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "dialogue.hpp"
#include "result_file.hpp"
#include "resume_file.hpp"
#include "search/range_search.hpp"
#include "text_sink.hpp"

namespace revadd {

// The number `index` places after the first of the job, as the report shows it.
std::string number_at(const RangeJob& job, std::int64_t index);

// At the start of a run, with palin.txt opened as `opened` says: the point to go on from.
// A usable resume file for these answers gives its point, with palin.txt cut to the
// bytes it recorded; otherwise the run starts over (palin.txt emptied) from a point with
// nothing searched. One line on standard error says which, whenever a resume file was
// there or palin.txt is held by another run.
ResumePoint take_up(const Answers& answers, const RangeJob& job, ResultFile& file,
                    ResultFile::Opened opened);

// Shows on `console` the hits palin.txt kept, as the console shows them.
void show_kept_hits(ResultFile& file, bool negative, TextSink& console);

// How long a run goes before its point is first saved, and then between saves: a save
// writes and flushes a few hundred bytes, or the digits of a long trajectory (half a
// megabyte at a million), which is nothing once a minute, and a crash loses at most a
// minute of work.
inline constexpr std::chrono::milliseconds default_save_interval{60000};

class ResumeKeeper {
public:
    // From `start` (take_up's point) on; saves only when `enabled` (palin.txt is this
    // run's), at a stop and every `interval`.
    ResumeKeeper(ResumePoint start, ResultFile& file, bool enabled,
                 std::chrono::milliseconds interval);

    // Every number before the `end`-th has been searched, with `tally` the hits since
    // the start point; saves when a save is due.
    void searched(std::int64_t end, const Tally& tally);
    // Whether a save is due: the number searched alone then hands over its point.
    bool point_due() const;
    void point_reached(const TrajectoryPoint& point);

    // Saves the point reached, at a stop; false when it could not be.
    bool save();
    // The run is complete: the file is no longer of any use.
    void remove();

private:
    const ResumePoint start_;
    ResumePoint now_;
    ResultFile& file_;
    const bool enabled_;
    const std::chrono::milliseconds interval_;
    std::chrono::steady_clock::time_point next_save_;
    bool said_failure_ = false;
};

}  // namespace revadd
