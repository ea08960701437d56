// A whole run after the dialogue: the search over the range, the console report, the
// result file and the closing summary.
#pragma once

#include <chrono>

#include "dialogue.hpp"
#include "resuming.hpp"
#include "search/range_search.hpp"
#include "text_sink.hpp"

namespace revadd {

// Returns the exit status: 0 when everything was written, 1 when a write failed.
// `status_line`: show how far the search has got on standard error while it runs (for
// a terminal, see status_line.hpp). `save_interval`: how often the point a stopped run
// would resume from is saved (see resuming.hpp).
int run_search(const Answers& answers, TextSink& console, const RunOptions& options,
               bool status_line = false,
               std::chrono::milliseconds save_interval = default_save_interval);

// Reports a failed console on standard error; true when there was one.
bool report_console_failure(TextSink& console);

}  // namespace revadd
