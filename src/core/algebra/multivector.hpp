#pragma once
// Geometric (Clifford) products of multivectors stored as flat coefficient
// arrays indexed by blade bitmask: bit p of an index means basis vector e_p is
// in the blade, so index 0 is the scalar, 1 is e0, 2 is e1, 3 is e0e1, ...
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "pool/worker_pool.hpp"

namespace zyl {

// Why a pair could not be multiplied. Each fault is found at the first term
// that would need the missing piece, before anything out of range is read.
enum class GeometricProductFault : std::uint8_t {
    none,
    b_too_short,          // index = len(b), limit = len(a)
    blade_out_of_range,   // index = i XOR j, limit = len(a)
    signature_too_short,  // index = shared basis vector p, limit = len(signature)
    cancelled,            // the enclosing map was cancelled; index = rows done
};

struct GeometricProductStatus {
    GeometricProductFault fault = GeometricProductFault::none;
    std::size_t index = 0;
    std::size_t limit = 0;

    bool ok() const { return fault == GeometricProductFault::none; }
};

// What is wrong, in words ("b has 2 coefficients but a has 4"); empty when ok.
std::string describe(const GeometricProductStatus& status);

// r = a * b with len(r) = len(a); signature[p] is the square of e_p. Terms
// with an exactly zero coefficient are never formed and so make no demand on
// b or the signature. On a fault r is incomplete and must be discarded.
// Inside a map, a long product stops early once the map is cancelled.
GeometricProductStatus geometric_product(std::span<const double> a, std::span<const double> b,
                                         std::span<const std::int8_t> signature,
                                         std::vector<double>& r);

// The geometric product for one coefficient count and one signature, every
// term's factor g (sign and metric) worked out once up front: many pairs under
// the same signature then cost one multiply-add per formed term. multiply()
// gives exactly what geometric_product gives for a and b of size() entries:
// the same terms, in the same order, with the same rounding and faults.
class GeometricProductPlan {
public:
    // Up to this many coefficients the finite fast path is used.
    static constexpr std::size_t kMaxFiniteLength = 1024;

    GeometricProductPlan(std::size_t len, std::span<const std::int8_t> signature);

    std::size_t size() const { return len_; }

    // r = a * b, each of size() contiguous coefficients (r must not overlap a
    // or b). On a fault r is incomplete and must be discarded.
    GeometricProductStatus multiply(const double* a, const double* b, double* r) const;

private:
    // With every coefficient finite, every factor g in [-1, 1] and no term
    // able to fault, all terms are formed, zeros included: a zero term is a
    // signed zero (g * a_i stays finite), added to a sum that starts at +0.0
    // and so is never -0.0, which changes nothing. Two result blades per SSE2
    // register, no branch per term.
    void multiply_finite(const double* a, const double* b, double* r) const;

    std::size_t len_;
    std::vector<double> factor_;                   // g of term (i, j) at i * len + j
    std::vector<double> factor_by_result_;         // g of term (i, i ^ k) at i * len + k
    std::vector<GeometricProductStatus> faults_;  // same layout; empty when no term can fault
};

struct GeometricProductError {
    std::size_t pair;
    GeometricProductStatus status;
    std::string message;  // "pair K: " followed by describe(status)
};

// out[k] = a_batch[k] * b_batch[k] for k < min of the lengths, on the worker
// pool. If any pair is faulty, the one with the lowest index is reported and
// out is left empty, so no partial result can escape; a cancelled map is
// reported as a fault `cancelled` of pair n.
std::optional<GeometricProductError> geometric_product_batch(
    std::span<const std::vector<double>> a_batch, std::span<const std::vector<double>> b_batch,
    std::span<const std::int8_t> signature, std::vector<std::vector<double>>& out,
    const MapControl& control = {});

// Estimated nanoseconds per pair of a batch, for its MapControl.
double geometric_product_cost(std::span<const std::vector<double>> a_batch,
                              std::span<const std::vector<double>> b_batch);

}  // namespace zyl
