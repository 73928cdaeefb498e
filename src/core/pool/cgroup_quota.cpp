// CPU quota of the control group this process runs in, so that a container
// limited to 2 CPUs on a 64-CPU host gets 2 workers rather than 64.
#include <cstddef>
#include <fstream>
#include <sstream>
#include <string>

#include "cgroup_quota.hpp"

namespace zyl {
namespace {

std::size_t cpus_from(double quota, double period) {
    if (quota <= 0 || period <= 0) return 0;
    double cpus = quota / period;
    return cpus >= 1 ? static_cast<std::size_t>(cpus) : 1;
}

// cgroup v2: "cpu.max" holds "<quota> <period>" or "max <period>".
std::size_t quota_v2(const std::string& dir) {
    std::ifstream f(dir + "/cpu.max");
    std::string quota;
    double period = 0;
    if (!(f >> quota >> period) || quota == "max") return 0;
    return cpus_from(std::stod(quota), period);
}

// cgroup v1: the quota is -1 when unlimited.
std::size_t quota_v1(const std::string& dir) {
    std::ifstream q(dir + "/cpu.cfs_quota_us");
    std::ifstream p(dir + "/cpu.cfs_period_us");
    double quota = 0, period = 0;
    if (!(q >> quota) || !(p >> period)) return 0;
    return cpus_from(quota, period);
}

// The tightest quota on the path from `group` up to the hierarchy's root.
template <class Quota>
std::size_t tightest_on_path(const std::string& mount, std::string group, Quota quota) {
    std::size_t best = 0;
    for (;;) {
        std::size_t q = quota(mount + (group == "/" ? std::string() : group));
        if (q > 0 && (best == 0 || q < best)) best = q;
        if (group.empty() || group == "/") return best;
        std::size_t cut = group.rfind('/');
        group = cut == 0 || cut == std::string::npos ? "/" : group.substr(0, cut);
    }
}

}  // namespace

std::size_t cgroup_cpu_limit(const std::string& membership, const std::string& root) {
    std::ifstream self(membership);
    std::string line;
    while (std::getline(self, line)) {
        std::size_t first = line.find(':');
        std::size_t second = line.find(':', first + 1);
        if (first == std::string::npos || second == std::string::npos) continue;
        std::string controllers = line.substr(first + 1, second - first - 1);
        std::string group = line.substr(second + 1);
        if (controllers.empty()) {
            if (std::size_t q = tightest_on_path(root, group, quota_v2)) return q;
            continue;
        }
        std::stringstream names(controllers);
        std::string name;
        while (std::getline(names, name, ','))
            if (name == "cpu")
                return tightest_on_path(root + "/" + controllers, group, quota_v1);
    }
    return 0;
}

std::size_t cgroup_cpu_limit() { return cgroup_cpu_limit("/proc/self/cgroup", "/sys/fs/cgroup"); }

}  // namespace zyl
