// CPU quota of the control group this process runs in, so that a container
// limited to 2 CPUs on a 64-CPU host gets 2 workers rather than 64.
#include <cstddef>
#include <fstream>
#include <string>

namespace zyl {
namespace {

// cgroup v2 "cpu.max" holds "<quota> <period>" or "max <period>".
std::size_t quota_v2(const std::string& dir) {
    std::ifstream f(dir + "/cpu.max");
    std::string quota;
    double period = 0;
    if (!(f >> quota >> period) || quota == "max" || period <= 0) return 0;
    double cpus = std::stod(quota) / period;
    return cpus >= 1 ? static_cast<std::size_t>(cpus) : 1;
}

std::size_t quota_v1() {
    std::ifstream q("/sys/fs/cgroup/cpu/cpu.cfs_quota_us");
    std::ifstream p("/sys/fs/cgroup/cpu/cpu.cfs_period_us");
    double quota = 0, period = 0;
    if (!(q >> quota) || !(p >> period) || quota <= 0 || period <= 0) return 0;
    double cpus = quota / period;
    return cpus >= 1 ? static_cast<std::size_t>(cpus) : 1;
}

}  // namespace

// The tightest quota on the path from this process's group to the root, or
// 0 when there is none.
std::size_t cgroup_cpu_limit() {
    std::ifstream self("/proc/self/cgroup");
    std::string line, path;
    while (std::getline(self, line))
        if (line.rfind("0::", 0) == 0) path = line.substr(3);
    std::size_t best = 0;
    if (!path.empty()) {
        for (;;) {
            std::size_t q = quota_v2("/sys/fs/cgroup" + (path == "/" ? std::string() : path));
            if (q > 0 && (best == 0 || q < best)) best = q;
            if (path == "/" || path.empty()) break;
            std::size_t cut = path.rfind('/');
            path = cut == 0 ? "/" : path.substr(0, cut);
        }
    }
    if (best == 0) best = quota_v1();
    return best;
}

}  // namespace zyl
