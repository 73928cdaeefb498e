// Generalized ufuncs of the algebra batches: octonion products over the last
// axis (8), geometric products over the last axis (n) under an integer
// signature (m), and Christoffel symbols at (x, _) pairs.
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "algebra/christoffel.hpp"
#include "algebra/multivector.hpp"
#include "algebra/octonion.hpp"
#include "catalog.hpp"
#include "inner_loop.hpp"
#include "kernels/element_costs.hpp"
#include "strided.hpp"

namespace zyl::py::arrays {
namespace {

// Sets an exception from inside a loop, which may run without the lock.
int raise_in_loop(PyObject* type, const char* message) {
    PyGILState_STATE state = PyGILState_Ensure();
    PyErr_SetString(type, message);
    PyGILState_Release(state);
    return -1;
}

Octonion product(const Octonion& a, const Octonion& b) {
    Octonion c;
    if (!octonion_mul_finite(a, b, c)) c = octonion_mul(a, b);
    return c;
}

int octonion_loop(PyArrayMethod_Context*, char* const* data, const npy_intp* dims, const npy_intp* steps,
                  NpyAuxData*) {
    const auto n = static_cast<std::size_t>(dims[0]);
    const npy_intp sa = steps[3], sb = steps[4], so = steps[5];
    if (all_contiguous(steps + 3, 3)) {
        // Products two at a time (the second of the last pair may not exist).
        auto load = [=](int operand, std::size_t i) {
            Octonion v;
            std::memcpy(v.data(), data[operand] + static_cast<npy_intp>(i) * steps[operand], sizeof v);
            return v;
        };
        auto store = [=](std::size_t i, const Octonion& c) {
            std::memcpy(data[2] + static_cast<npy_intp>(i) * steps[2], c.data(), sizeof c);
        };
        return run_elements((n + 1) / 2, 2 * 25.0, true, [=](std::size_t pair) {
            const std::size_t i = 2 * pair;
            const Octonion a0 = load(0, i), b0 = load(1, i);
            if (i + 1 < n) {
                const Octonion a1 = load(0, i + 1), b1 = load(1, i + 1);
                Octonion c0, c1;
                if (octonion_mul_finite_pair(a0, b0, a1, b1, c0, c1)) {
                    store(i, c0);
                    store(i + 1, c1);
                    return;
                }
                store(i + 1, product(a1, b1));
            }
            store(i, product(a0, b0));
        });
    }
    return run_elements(n, 25.0, true, [=](std::size_t i) {
        char* pa = data[0] + static_cast<npy_intp>(i) * steps[0];
        char* pb = data[1] + static_cast<npy_intp>(i) * steps[1];
        Octonion a, b;
        for (std::size_t k = 0; k < 8; ++k) {
            a[k] = at(pa, k, sa);
            b[k] = at(pb, k, sb);
        }
        const Octonion c = product(a, b);
        char* po = data[2] + static_cast<npy_intp>(i) * steps[2];
        for (std::size_t k = 0; k < 8; ++k) at(po, k, so) = c[k];
    });
}

// ---- Geometric products ----------------------------------------------------

// Above this many coefficients a table of every term's factor would be too
// large (len * len entries); such products are formed term by term instead.
constexpr std::size_t kMaxPlannedLength = 1024;

// The signature of one element as the small integers the list API takes;
// false with the list API's OverflowError for an entry outside -128 .. 127.
bool read_signature(char* base, npy_intp len, npy_intp step, bool is_unsigned, std::vector<std::int8_t>& out) {
    out.resize(static_cast<std::size_t>(len));
    for (npy_intp p = 0; p < len; ++p) {
        const std::int64_t v = at<std::int64_t>(base, static_cast<std::size_t>(p), step);
        if (is_unsigned ? static_cast<std::uint64_t>(v) > 127 : v < -128 || v > 127) return false;
        out[static_cast<std::size_t>(p)] = static_cast<std::int8_t>(v);
    }
    return true;
}

// Operands of the loop (n),(n),(m)->(n): a, b, signature, r.
struct GeometricOperands {
    char* const* data;
    const npy_intp* steps;
    std::size_t len;
    bool unsigned_signature;

    bool read_signature_of(std::size_t i, npy_intp sig_len, std::vector<std::int8_t>& out) const {
        return read_signature(data[2] + static_cast<npy_intp>(i) * steps[2], sig_len, steps[6], unsigned_signature,
                              out);
    }

    // Reads element i's a and b in place when their axis is contiguous, from
    // a contiguous copy otherwise; r is formed apart (the output may be one
    // of the inputs) and written back along its own stride.
    GeometricProductStatus multiply(std::size_t i, const GeometricProductPlan& plan) const {
        double scratch[3 * kMaxPlannedLength];
        const double* a = contiguous_row(0, 4, i, scratch);
        const double* b = contiguous_row(1, 5, i, scratch + len);
        double* r = scratch + 2 * len;
        const GeometricProductStatus status = plan.multiply(a, b, r);
        char* pr = data[3] + static_cast<npy_intp>(i) * steps[3];
        for (std::size_t k = 0; k < len; ++k) at(pr, k, steps[7]) = r[k];
        return status;
    }

    const double* contiguous_row(int operand, int axis_step, std::size_t i, double* copy) const {
        char* row = data[operand] + static_cast<npy_intp>(i) * steps[operand];
        if (steps[axis_step] == static_cast<npy_intp>(sizeof(double))) return reinterpret_cast<const double*>(row);
        for (std::size_t k = 0; k < len; ++k) copy[k] = at(row, k, steps[axis_step]);
        return copy;
    }
};

int raise_fault(const GeometricProductStatus& status) {
    return raise_in_loop(PyExc_ValueError, describe(status).c_str());
}

// Lowers `first` to i; the fault of the lowest element wins, whatever the
// split of the range.
void note_fault(std::atomic<std::size_t>& first, std::size_t i) {
    std::size_t seen = first.load();
    while (i < seen && !first.compare_exchange_weak(seen, i)) {
    }
}

// Elements that share one signature (the usual case: a single signature
// broadcast against every pair) run on the pool with one plan.
int geometric_shared_signature(const GeometricOperands& ops, std::size_t n, const std::vector<std::int8_t>& sig) {
    const GeometricProductPlan plan(ops.len, sig);
    std::atomic<std::size_t> first_fault{n};
    const double cost_ns = 1.0 * static_cast<double>(ops.len * ops.len) + 5.0;
    const int rc = run_elements(n, cost_ns, true, [&](std::size_t i) {
        if (!ops.multiply(i, plan).ok()) note_fault(first_fault, i);
    });
    if (rc != 0) return rc;
    if (first_fault.load() == n) return 0;
    return raise_fault(ops.multiply(first_fault.load(), plan));
}

// Element i multiplied term by term under its own signature, or the fault
// that stopped it (r is then left alone).
GeometricProductStatus multiply_term_by_term(const GeometricOperands& ops, npy_intp sig_len, std::size_t i) {
    std::vector<std::int8_t> sig;
    ops.read_signature_of(i, sig_len, sig);
    std::vector<double> a(ops.len), b(ops.len), r;
    for (std::size_t k = 0; k < ops.len; ++k) {
        a[k] = at(ops.data[0] + static_cast<npy_intp>(i) * ops.steps[0], k, ops.steps[4]);
        b[k] = at(ops.data[1] + static_cast<npy_intp>(i) * ops.steps[1], k, ops.steps[5]);
    }
    const GeometricProductStatus status = geometric_product(a, b, sig, r);
    if (!status.ok()) return status;
    for (std::size_t k = 0; k < ops.len; ++k)
        at(ops.data[3] + static_cast<npy_intp>(i) * ops.steps[3], k, ops.steps[7]) = r[k];
    return status;
}

// Signatures that differ from element to element, or algebras too large to
// tabulate: each element is multiplied on its own, on the pool. A long
// product looks for cancellation row by row, so even a single one stops
// on Ctrl-C.
int geometric_term_by_term(const GeometricOperands& ops, std::size_t n, npy_intp sig_len) {
    std::atomic<std::size_t> first_fault{n};
    const double cost_ns = cost::kGeometricTerm * static_cast<double>(ops.len * ops.len) + 50.0;
    const int rc = run_elements(n, cost_ns, true, [&](std::size_t i) {
        const GeometricProductStatus status = multiply_term_by_term(ops, sig_len, i);
        if (!status.ok() && status.fault != GeometricProductFault::cancelled) note_fault(first_fault, i);
    });
    if (rc != 0) return rc;
    if (first_fault.load() == n) return 0;
    return raise_fault(multiply_term_by_term(ops, sig_len, first_fault.load()));
}

int geometric_loop(PyArrayMethod_Context* context, char* const* data, const npy_intp* dims, const npy_intp* steps,
                   NpyAuxData*) {
    const auto n = static_cast<std::size_t>(dims[0]);
    if (n == 0) return 0;
    const GeometricOperands ops{data, steps, static_cast<std::size_t>(dims[1]), integers_unsigned(context, 2)};
    const npy_intp sig_len = dims[2];
    std::vector<std::int8_t> first, sig;
    bool shared = true;
    for (std::size_t i = 0; i < n; ++i) {
        if (!ops.read_signature_of(i, sig_len, i == 0 ? first : sig))
            return raise_in_loop(PyExc_OverflowError, "out of range integral type conversion attempted");
        if (i > 0 && sig != first) shared = false;
        if (steps[2] == 0) break;
    }
    if (shared && ops.len <= kMaxPlannedLength) return geometric_shared_signature(ops, n, first);
    return geometric_term_by_term(ops, n, sig_len);
}

// ---- Christoffel symbols ---------------------------------------------------

// Operands (2),(),(),(),()->(): points, lam, mu, nu, rs, value. The indices
// are counts in the list API: a negative one is refused with its message,
// and any uint64 is taken as it is.
int christoffel_loop(PyArrayMethod_Context* context, char* const* data, const npy_intp* dims,
                     const npy_intp* steps, NpyAuxData*) {
    const auto n = static_cast<std::size_t>(dims[0]);
    for (int k = 1; k <= 3 && !integers_unsigned(context, k); ++k)
        for (std::size_t i = 0; i < (steps[k] == 0 ? std::min<std::size_t>(n, 1) : n); ++i)
            if (at<std::int64_t>(data[k], i, steps[k]) < 0)
                return raise_in_loop(PyExc_OverflowError, "can't convert negative int to unsigned");
    return run_elements(n, 12.0, true, [=](std::size_t i) {
        const ChristoffelSymbol symbol = christoffel_symbol(static_cast<std::size_t>(at<std::int64_t>(data[1], i, steps[1])),
                                                            static_cast<std::size_t>(at<std::int64_t>(data[2], i, steps[2])),
                                                            static_cast<std::size_t>(at<std::int64_t>(data[3], i, steps[3])));
        at(data[5], i, steps[5]) = christoffel_value(symbol, at(data[0], i, steps[0]), at(data[4], i, steps[4]));
    });
}

const UfuncRecipe kSpecs[] = {
    {"octonion_mul_n", "Octonion products a * b over the last axis (8); as zyl_core.octonion_mul_n.", 2, 1,
     "(8),(8)->(8)", "ddd", &guarded<octonion_loop>},
    {"geometric_product_n",
     "Geometric products a * b of multivectors over the last axis (n, blades by bitmask) under the integer "
     "signature (m), the square of each basis vector; as zyl_core.geometric_product_n.",
     3, 1, "(n),(n),(m)->(n)", "ddqd", &guarded<geometric_loop>},
    {"christoffel_batch_n",
     "Schwarzschild Christoffel symbol Gamma^lam_{mu nu} at radius r = exp(x) of points (..., 2) = (x, _), "
     "Schwarzschild radius rs; as zyl_core.christoffel_batch_n.",
     5, 1, "(2),(),(),(),()->()", "dqqqdd", &guarded<christoffel_loop>},
};

}  // namespace

std::span<const UfuncRecipe> algebra_ufuncs() { return kSpecs; }

}  // namespace zyl::py::arrays
