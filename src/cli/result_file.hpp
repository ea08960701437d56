// palin.txt: a copy of every hit and of the summary, kept beside the console report.
// The file is optional: a run that cannot create it goes on with the console alone.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "search/report_format.hpp"
#include "text_sink.hpp"

namespace revadd {

class ResultFile {
public:
    static constexpr const char* path = "palin.txt";

    // Creates the file, or truncates it; false when that is not possible.
    bool open();

    // Records made by append_hit, any number of them in one write. Each record shows
    // the bare digits of the number tested, never a sign.
    void record_hits(std::string_view records);

    // Writes the summary block and closes the file; false when any write or the close
    // failed, with the reason in error().
    bool finish(const Summary& summary);
    // Closes the file without a summary (a run cut short); false as finish() is.
    bool close();
    int error() const { return sink_ ? sink_->error() : 0; }

private:
    std::optional<TextSink> sink_;
    std::string text_;
};

}  // namespace revadd
