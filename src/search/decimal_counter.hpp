// Stepping the number under test along the range on its digit text, in place: the run
// moves from one number to the next without a record or an allocation per number.
#pragma once

#include <cstdint>
#include <string>

namespace revadd {

// Replaces `digits` (decimal, most significant first, leading zeros allowed, empty
// meaning 0) by its value plus one, without leading zeros: "012" becomes "13", "00"
// becomes "1", "999" becomes "1000". The same text as bigAdd with the record 1.
void increment_decimal(std::string& digits);

// Replaces `digits` by its value plus `amount`, without leading zeros (a zero value is
// "0"): where a chunk of the range starts, without stepping there one number at a time.
void add_to_decimal(std::string& digits, std::uint64_t amount);

}  // namespace revadd
