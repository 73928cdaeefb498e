#pragma once
#include <cstddef>
#include <string>

namespace zyl {

// The CPU quota (whole CPUs, at least 1) of this process's control group,
// the tightest on the path up to the root; 0 when no quota applies.
std::size_t cgroup_cpu_limit();

// The same from a membership file in the format of /proc/self/cgroup
// ("<id>:<controllers>:<path>", "0::<path>" for cgroup v2) and the mount
// point of the hierarchies.
std::size_t cgroup_cpu_limit(const std::string& membership, const std::string& root);

}  // namespace zyl
