#pragma once
// How many worker threads the pool starts.
#include <cstddef>

namespace zyl {

// Upper bound on the worker count, whatever the environment asks for: far
// more threads than any machine has processors only costs memory and
// wake-ups, and a count such as 99999999999 could not be started at all.
inline constexpr std::size_t kMaxWorkerThreads = 1024;

// Processors this process may run on (its affinity mask and any container
// quota), at least 1.
std::size_t usable_cpus();

}  // namespace zyl
