// The hit records of a report taken apart, and the check that a run cut short kept what
// it must: every hit before the point it reached, and beyond it only true hits, in order.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace revadd::testing {

struct HitRecord {
    std::int64_t number;  // the number tested, as the file shows it: no sign
    std::string text;     // the whole record, its empty line included
};

// The records of `text`, which must hold records only; numbers must fit 64 bits.
inline std::vector<HitRecord> records_of(const std::string& text) {
    static const std::string end_of_record = " iterations\n\n";
    std::vector<HitRecord> records;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = text.find(end_of_record, at);
        if (end == std::string::npos) {
            ADD_FAILURE() << "a torn record: " << text.substr(at, 200);
            break;
        }
        const std::size_t after = end + end_of_record.size();
        records.push_back({std::stoll(text.substr(at, text.find('\n', at) - at)),
                           text.substr(at, after - at)});
        at = after;
    }
    return records;
}

// `got` against `truth`, the records of a complete search over the same numbers: below
// `first_unsearched` nothing may be missing; every record must be true and in order.
inline ::testing::AssertionResult keeps_every_hit_before(const std::vector<HitRecord>& got,
                                                         const std::vector<HitRecord>& truth,
                                                         std::int64_t first_unsearched) {
    std::size_t t = 0;
    const auto lost_before = [&](std::int64_t number) -> const HitRecord* {
        for (; t < truth.size() && truth[t].number < number; ++t) {
            if (truth[t].number < first_unsearched) return &truth[t];
        }
        return nullptr;
    };
    for (const HitRecord& record : got) {
        if (const HitRecord* lost = lost_before(record.number)) {
            return ::testing::AssertionFailure() << "the hit of " << lost->number << " is lost";
        }
        if (t == truth.size() || truth[t].text != record.text) {
            return ::testing::AssertionFailure() << "not a hit, or out of order: " << record.text;
        }
        ++t;
    }
    if (const HitRecord* lost = lost_before(first_unsearched)) {
        return ::testing::AssertionFailure() << "the hit of " << lost->number << " is lost";
    }
    return ::testing::AssertionSuccess();
}

}  // namespace revadd::testing
