#include "thread_count.hpp"

#include "cgroup_quota.hpp"
#include "worker_pool.hpp"

#include <sched.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <thread>

namespace zyl {
namespace {

// Unsigned decimal with an optional leading '+'; false for anything else.
bool parse_count(const char* text, std::size_t& out) {
    if (text == nullptr) return false;
    if (*text == '+') ++text;
    if (*text == '\0') return false;
    std::size_t v = 0;
    for (; *text; ++text) {
        if (*text < '0' || *text > '9') return false;
        std::size_t d = static_cast<std::size_t>(*text - '0');
        if (v > (SIZE_MAX - d) / 10) return false;
        v = v * 10 + d;
    }
    out = v;
    return true;
}

std::size_t affinity_cpus() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0) {
        int c = CPU_COUNT(&set);
        if (c > 0) return static_cast<std::size_t>(c);
    }
    unsigned hc = std::thread::hardware_concurrency();
    return hc > 0 ? hc : 1;
}

}  // namespace

std::size_t usable_cpus() {
    std::size_t cpus = affinity_cpus();
    std::size_t quota = cgroup_cpu_limit();
    return quota > 0 ? std::min(cpus, quota) : cpus;
}

std::size_t configured_thread_count() {
    std::size_t v = 0;
    bool use_default = false;
    if (parse_count(std::getenv("RAYON_NUM_THREADS"), v)) {
        if (v > 0) return std::min(v, kMaxWorkerThreads);
        use_default = true;
    }
    if (!use_default && parse_count(std::getenv("RAYON_RS_NUM_CPUS"), v) && v > 0)
        return std::min(v, kMaxWorkerThreads);
    return std::min(usable_cpus(), kMaxWorkerThreads);
}

}  // namespace zyl
