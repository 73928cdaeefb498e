#include "octonion.hpp"

#include <algorithm>

#include "pool/worker_pool.hpp"

namespace zyl {

Octonion octonion_mul(const Octonion& a, const Octonion& b) {
    Octonion c{};
    // Fully unrolled, every table entry becomes a constant and c stays in
    // registers; the order of the additions is unchanged.
#pragma GCC unroll 8
    for (std::size_t i = 0; i < 8; ++i) {
        const double ai = a[i];
        if (ai == 0.0) continue;
        const auto& row = kOctonionTable[i];
#pragma GCC unroll 8
        for (std::size_t j = 0; j < 8; ++j) {
            const double bj = b[j];
            if (bj == 0.0) continue;
            const BasisProduct e = row[j];
            // The sign is applied as a factor, not as a subtraction, so a NaN
            // coefficient keeps the sign bit it would get from the product.
            c[e.index] = static_cast<double>(e.sign) * ai * bj + c[e.index];
        }
    }
    return c;
}

std::size_t octonion_mul_batch(std::span<const Octonion> a, std::span<const Octonion> b,
                               std::vector<Octonion>& out, const MapControl& control) {
    const std::size_t n = std::min(a.size(), b.size());
    out.resize(n);
    Octonion* dst = out.data();
    return parallel_for(n, [&](std::size_t k) { dst[k] = octonion_mul(a[k], b[k]); }, control);
}

}  // namespace zyl
