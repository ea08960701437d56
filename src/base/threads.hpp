// Threads a run can do without: a searching thread, a member of a step team, the
// status line's. Starting one may fail (the system has no thread left, or no memory for
// one); the caller then goes on with fewer. A seam lets tests make a chosen start fail,
// as the heap's does for allocations.
#pragma once

#include <exception>
#include <optional>
#include <thread>
#include <utility>

#include "heap.hpp"

namespace revadd {

namespace threads {
// Counts a start; true when the tests asked for this one to fail.
bool start_fails() noexcept;
// Makes the start that comes after `skip` successful ones fail once. Only tests call this.
void fail_after(long skip) noexcept;
}  // namespace threads

// A thread running `body`, or none when one cannot be had.
template <class Body>
std::optional<std::thread> try_start_thread(Body&& body) {
    if (threads::start_fails()) return std::nullopt;
    try {
        const AllocationMayFail optional;
        return std::thread(std::forward<Body>(body));
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

}  // namespace revadd
