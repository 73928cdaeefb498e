#include "multivector.hpp"

#include <emmintrin.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <bit>

#include "kernels/element_costs.hpp"

namespace zyl {

namespace {

std::string counted(std::size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

// Bit p of the result is the parity of the number of bits of i above p, that
// is of the transpositions needed to carry e_p of the right factor past the
// left blade i.
std::size_t reorder_parities(std::size_t i) {
    std::size_t m = i >> 1;
    for (unsigned shift = 1; shift < 8 * sizeof m; shift <<= 1) m ^= m >> shift;
    return m;
}

// n even: two coefficients per compare of the magnitude with infinity (false
// for infinities and NaN).
bool all_finite(const double* v, std::size_t n) {
    const __m128d inf = _mm_set1_pd(std::numeric_limits<double>::infinity());
    const __m128d sign = _mm_set1_pd(-0.0);
    __m128d finite = _mm_castsi128_pd(_mm_set1_epi64x(-1));
    for (std::size_t k = 0; k < n; k += 2)
        finite = _mm_and_pd(finite, _mm_cmplt_pd(_mm_andnot_pd(sign, _mm_loadu_pd(v + k)), inf));
    return _mm_movemask_pd(finite) == 3;
}

// The factor g of term (i, j): (-1)^(transpositions to sort e_i e_j) times
// the squares of the shared vectors, multiplied in ascending p. A sign flip
// commutes exactly with each rounded product, so all flips can be taken first.
// `flips` is reorder_parities(i). Fails when the term would need a missing
// signature entry or land outside a multivector of `len` coefficients.
GeometricProductStatus term_factor(std::size_t i, std::size_t flips, std::size_t j, std::size_t len,
                                   std::span<const std::int8_t> signature, double& g) {
    g = (std::popcount(j & flips) & 1) ? -1.0 : 1.0;
    for (std::size_t shared = i & j; shared != 0; shared &= shared - 1) {
        const auto p = static_cast<std::size_t>(std::countr_zero(shared));
        if (p >= signature.size()) return {GeometricProductFault::signature_too_short, p, signature.size()};
        g *= static_cast<double>(signature[p]);
    }
    const std::size_t k = i ^ j;
    if (k >= len) return {GeometricProductFault::blade_out_of_range, k, len};
    return {};
}

}  // namespace

std::string describe(const GeometricProductStatus& s) {
    switch (s.fault) {
        case GeometricProductFault::none:
            return {};
        case GeometricProductFault::b_too_short:
            return "b has " + counted(s.index, "coefficient", "coefficients") + " but a has " +
                   std::to_string(s.limit);
        case GeometricProductFault::blade_out_of_range:
            return "blade index " + std::to_string(s.index) + " is outside a multivector of " +
                   counted(s.limit, "coefficient", "coefficients") +
                   " (the length must be a power of two)";
        case GeometricProductFault::signature_too_short:
            return "basis vector e" + std::to_string(s.index) +
                   " is shared but the signature has only " +
                   counted(s.limit, "entry", "entries");
        case GeometricProductFault::cancelled:
            return "cancelled";
    }
    return {};
}

GeometricProductStatus geometric_product(std::span<const double> a, std::span<const double> b,
                                         std::span<const std::int8_t> signature,
                                         std::vector<double>& r) {
    const std::size_t len = a.size();
    r.assign(len, 0.0);
    // Columns from here on would need coefficients that b does not have.
    const std::size_t b_len = std::min(len, b.size());
    // A row is len terms; from this length on, a product is long enough that
    // a cancelled map should not wait for it to finish.
    constexpr std::size_t kRowsCheckedFrom = 1024;
    for (std::size_t i = 0; i < len; ++i) {
        if (len >= kRowsCheckedFrom && job_cancelled()) return {GeometricProductFault::cancelled, i, len};
        const double ai = a[i];
        if (ai == 0.0) continue;
        const std::size_t flips = reorder_parities(i);
        for (std::size_t j = 0; j < b_len; ++j) {
            const double bj = b[j];
            if (bj == 0.0) continue;
            double g;
            const GeometricProductStatus status = term_factor(i, flips, j, len, signature, g);
            if (!status.ok()) return status;
            r[i ^ j] = bj * (g * ai) + r[i ^ j];
        }
        if (b_len < len) return {GeometricProductFault::b_too_short, b.size(), len};
    }
    return {};
}

GeometricProductPlan::GeometricProductPlan(std::size_t len, std::span<const std::int8_t> signature)
    : len_(len), factor_(len * len) {
    for (std::size_t i = 0; i < len; ++i) {
        const std::size_t flips = reorder_parities(i);
        for (std::size_t j = 0; j < len; ++j) {
            const GeometricProductStatus status = term_factor(i, flips, j, len, signature, factor_[i * len + j]);
            if (status.ok()) continue;
            if (faults_.empty()) faults_.resize(len * len);
            faults_[i * len + j] = status;
        }
    }
    // Without faults the length is a power of two, so i ^ k stays in range.
    // Factors of magnitude above 1 (signature entries other than 0 and +-1)
    // could make g * a_i overflow and meet a zero b_j, a term that must not
    // be formed: such plans keep to the term-by-term path.
    const bool unit_factors =
        std::all_of(factor_.begin(), factor_.end(), [](double g) { return std::fabs(g) <= 1.0; });
    if (faults_.empty() && unit_factors && len >= 2 && len <= kMaxFiniteLength) {
        factor_by_result_.resize(len * len);
        for (std::size_t i = 0; i < len; ++i)
            for (std::size_t k = 0; k < len; ++k) factor_by_result_[i * len + k] = factor_[i * len + (i ^ k)];
    }
}

namespace {

// Result pair (2q, 2q + 1) takes, from row i, the b pair q ^ (i >> 1),
// swapped when i is odd. `Pairs` fixed at compile time lets the common
// algebras unroll completely; 0 means len / 2 read at run time.
template <std::size_t Pairs>
void multiply_pairs(const double* factors, std::size_t len, const double* a, const double* b, double* r) {
    constexpr std::size_t kMaxPairs = GeometricProductPlan::kMaxFiniteLength / 2;
    const std::size_t pairs = Pairs != 0 ? Pairs : len / 2;
    __m128d b_pairs[2][Pairs != 0 ? Pairs : kMaxPairs], acc[Pairs != 0 ? Pairs : kMaxPairs];
    for (std::size_t m = 0; m < pairs; ++m) {
        b_pairs[0][m] = _mm_loadu_pd(b + 2 * m);
        b_pairs[1][m] = _mm_shuffle_pd(b_pairs[0][m], b_pairs[0][m], 1);
        acc[m] = _mm_setzero_pd();
    }
#pragma GCC unroll 32
    for (std::size_t i = 0; i < 2 * pairs; ++i) {
        const __m128d ai = _mm_set1_pd(a[i]);
        const double* g = factors + i * 2 * pairs;
        const __m128d* bi = b_pairs[i & 1];
        const std::size_t shift = i >> 1;
#pragma GCC unroll 16
        for (std::size_t q = 0; q < pairs; ++q)
            acc[q] = _mm_add_pd(_mm_mul_pd(_mm_mul_pd(_mm_loadu_pd(g + 2 * q), ai), bi[q ^ shift]), acc[q]);
    }
    for (std::size_t q = 0; q < pairs; ++q) _mm_storeu_pd(r + 2 * q, acc[q]);
}

}  // namespace

void GeometricProductPlan::multiply_finite(const double* a, const double* b, double* r) const {
    const double* factors = factor_by_result_.data();
    switch (len_) {
        case 4: return multiply_pairs<2>(factors, len_, a, b, r);
        case 8: return multiply_pairs<4>(factors, len_, a, b, r);
        case 16: return multiply_pairs<8>(factors, len_, a, b, r);
        case 32: return multiply_pairs<16>(factors, len_, a, b, r);
        default: return multiply_pairs<0>(factors, len_, a, b, r);
    }
}

GeometricProductStatus GeometricProductPlan::multiply(const double* a, const double* b, double* r) const {
    const std::size_t len = len_;
    // factor_by_result_ exists only for even lengths.
    if (!factor_by_result_.empty() && all_finite(a, len) && all_finite(b, len)) {
        multiply_finite(a, b, r);
        return {};
    }
    std::fill(r, r + len, 0.0);
    for (std::size_t i = 0; i < len; ++i) {
        const double ai = a[i];
        if (ai == 0.0) continue;
        const double* g = factor_.data() + i * len;
        for (std::size_t j = 0; j < len; ++j) {
            const double bj = b[j];
            if (bj == 0.0) continue;
            if (!faults_.empty() && !faults_[i * len + j].ok()) return faults_[i * len + j];
            r[i ^ j] = bj * (g[j] * ai) + r[i ^ j];
        }
    }
    return {};
}

std::optional<GeometricProductError> geometric_product_batch(
    std::span<const std::vector<double>> a_batch, std::span<const std::vector<double>> b_batch,
    std::span<const std::int8_t> signature, std::vector<std::vector<double>>& out,
    const MapControl& control) {
    const std::size_t n = std::min(a_batch.size(), b_batch.size());
    out.clear();
    out.resize(n);
    // One status slot per pair: workers share nothing but the read-only
    // inputs, and the lowest faulty index is chosen afterwards, so the report
    // does not depend on how the range was split.
    std::vector<GeometricProductStatus> status(n);
    const std::size_t done = parallel_for(n, [&](std::size_t k) {
        status[k] = geometric_product(a_batch[k], b_batch[k], signature, out[k]);
    }, control);
    if (done == kCancelled) {
        out.clear();
        return GeometricProductError{n, {GeometricProductFault::cancelled, 0, n}, "cancelled"};
    }
    const auto bad = std::find_if(status.begin(), status.end(),
                                  [](const GeometricProductStatus& s) { return !s.ok(); });
    if (bad == status.end()) return std::nullopt;
    const auto pair = static_cast<std::size_t>(bad - status.begin());
    out.clear();
    return GeometricProductError{pair, *bad, "pair " + std::to_string(pair) + ": " + describe(*bad)};
}

double geometric_product_cost(std::span<const std::vector<double>> a_batch,
                              std::span<const std::vector<double>> b_batch) {
    const std::size_t n = std::min(a_batch.size(), b_batch.size());
    if (n == 0) return 0.0;
    double terms = 0.0;
    for (std::size_t k = 0; k < n; ++k) {
        const double len = static_cast<double>(a_batch[k].size());
        terms += len * len;
    }
    return cost::kGeometricTerm * terms / static_cast<double>(n);
}

}  // namespace zyl
