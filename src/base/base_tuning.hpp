// Tuning constants of the process as a whole, each with the reason for its value.
#pragma once

#include <cstddef>

namespace revadd::tuning {

// A searching thread uses a few KiB of stack; the default 8 MiB may not fit a limited process.
inline constexpr std::size_t thread_stack_bytes = std::size_t{256} << 10;

}  // namespace revadd::tuning
