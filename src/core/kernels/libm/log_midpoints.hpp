#pragma once
// Inputs of every log table entry, four in each of two binades, whose log
// lies within 1/256 ulp of a midpoint between doubles by the kernels' own
// sum: found at build time (src/build_tools/make_log_midpoints.cpp), probed
// by the log self-test.
#include <cstddef>

#include "kernels/libm/tables.hpp"

namespace zyl::kernels::libm {

inline constexpr std::size_t kLogMidpointProbeCount = std::size_t{kTableSize} * 2 * 4;
extern const double kLogMidpointProbes[kLogMidpointProbeCount];

}  // namespace zyl::kernels::libm
