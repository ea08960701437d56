// A sum made in segments at once, each as if no carry came in (carry-select), is made
// whole by putting in the carries at the segment boundaries afterwards: a carry into a
// segment turns the run of 99 limbs at its foot to 0 and adds 1 to the limb above, which
// touches only that run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace revadd {

// Segment s of `limbs` is [bounds[s], bounds[s + 1]), summed with no carry coming in and
// giving carry_outs[s]: puts in the carry each segment after the first should have had
// and returns the carry out of the last. Requires bounds.size() == carry_outs.size() + 1.
unsigned patch_carries(std::uint8_t* limbs, std::span<const std::size_t> bounds,
                       std::span<const unsigned> carry_outs);

}  // namespace revadd
