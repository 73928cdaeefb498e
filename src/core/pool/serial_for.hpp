#pragma once
// Loops that must run in order on the calling thread (each step depends on
// the previous one, or the caller wants no threads) but may still be stopped.
#include <cstddef>

#include "pool/worker_pool.hpp"

namespace zyl {

// Elements between two polls: about a millisecond of estimated work.
inline std::size_t elements_per_poll(double element_cost_ns) {
    constexpr double kPollEveryNs = 1e6;
    if (!(element_cost_ns > 0.0)) return 4096;
    const double per = kPollEveryNs / element_cost_ns;
    return per < 1.0 ? 1 : static_cast<std::size_t>(per);
}

// body(i) for i = 0, 1, ..., n - 1 in order, asking control.poll between
// blocks of about a millisecond of work. Returns n, or kCancelled when the
// poll asked to stop (the elements not reached are not computed).
template <class F>
std::size_t serial_for(std::size_t n, F&& body, const MapControl& control = {}) {
    const std::size_t block = elements_per_poll(control.element_cost_ns);
    for (std::size_t begin = 0; begin < n;) {
        const std::size_t end = n - begin > block ? begin + block : n;
        for (std::size_t i = begin; i < end; ++i) body(i);
        begin = end;
        if (begin < n && control.poll != nullptr && control.poll(control.poll_ctx)) return kCancelled;
    }
    return n;
}

}  // namespace zyl
