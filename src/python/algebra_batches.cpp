// Batch products in larger algebras: octonions, geometric products under a
// metric signature, and Schwarzschild Christoffel symbols.
#include "algebra/christoffel.hpp"
#include "algebra/multivector.hpp"
#include "algebra/octonion.hpp"
#include "convert.hpp"
#include "interrupt.hpp"
#include "kernels/element_costs.hpp"
#include "panic.hpp"
#include "rows.hpp"

namespace zyl::py {
namespace {

constexpr const char* kOctonionParams[] = {"a_batch", "b_batch"};
constexpr Signature kOctonionSig = required("octonion_mul_n", kOctonionParams);

PyObject* octonion_mul_n(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    std::vector<Octet> a, b;
    if (!parse_args(kOctonionSig, args, nargs, kwnames, a, b)) return nullptr;
    std::vector<Octonion> out;
    std::size_t n = std::min(a.size(), b.size());
    if (!map_complete(octonion_mul_batch(a, b, out, interruptible(cost::kOctonionMul)), n)) return nullptr;
    return to_python(std::span<const Octet>(out));
}

constexpr const char* kGeometricParams[] = {"a_batch", "b_batch", "signature"};
constexpr Signature kGeometricSig = required("geometric_product_n", kGeometricParams);

PyObject* geometric_product_n(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    std::vector<std::vector<double>> a, b;
    std::vector<std::int8_t> signature;
    if (!parse_args(kGeometricSig, args, nargs, kwnames, a, b, signature)) return nullptr;
    std::vector<std::vector<double>> out;
    if (auto error = geometric_product_batch(a, b, signature, out, interruptible(geometric_product_cost(a, b)))) {
        // A cancelled map left the poll's exception set.
        if (error->status.fault != GeometricProductFault::cancelled)
            PyErr_SetString(PyExc_ValueError, error->message.c_str());
        else if (!PyErr_Occurred())
            raise_incomplete_map();
        return nullptr;
    }
    if (out.size() != std::min(a.size(), b.size())) return raise_incomplete_map();
    return to_python(std::span<const std::vector<double>>(out));
}

constexpr const char* kChristoffelParams[] = {"points", "lam", "mu", "nu", "rs"};
constexpr Signature kChristoffelSig = required("christoffel_batch_n", kChristoffelParams);

PyObject* christoffel_batch_n(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    std::vector<Couple> points;
    std::size_t lam = 0, mu = 0, nu = 0;
    double rs = 0.0;
    if (!parse_args(kChristoffelSig, args, nargs, kwnames, points, lam, mu, nu, rs)) return nullptr;
    std::vector<double> out;
    const std::size_t written = christoffel_batch(points, lam, mu, nu, rs, out, interruptible(cost::kChristoffel));
    if (!map_complete(written, points.size())) return nullptr;
    return to_python(std::span<const double>(out));
}

}  // namespace

PyMethodDef christoffel_batch_n_def = {
    "christoffel_batch_n", fastcall<&christoffel_batch_n>(), METH_FASTCALL | METH_KEYWORDS,
    "christoffel_batch_n(points, lam, mu, nu, rs)\n--\n\nBatch Schwarzschild Christoffel evaluation.\npoints: "
    "Vec of (x, _) where r = exp(x).\nReturns Vec of Γ^lam_{mu nu} values for each point."};

PyMethodDef octonion_mul_n_def = {
    "octonion_mul_n", fastcall<&octonion_mul_n>(), METH_FASTCALL | METH_KEYWORDS,
    "octonion_mul_n(a_batch, b_batch)\n--\n\nBatch octonion multiplication (Rayon parallel).\na_batch, b_batch: "
    "each is a Vec of 8-element float lists.\nReturns Vec of 8-element results."};

PyMethodDef geometric_product_n_def = {
    "geometric_product_n", fastcall<&geometric_product_n>(), METH_FASTCALL | METH_KEYWORDS,
    "geometric_product_n(a_batch, b_batch, signature)\n--\n\nBatch geometric product (Rayon parallel).\na_batch, "
    "b_batch: each is a Vec of flat coefficient arrays.\nsignature: +1/-1 per basis vector (length n, algebra "
    "dimension = 2^n).\nReturns Vec of result coefficient arrays."};

}  // namespace zyl::py
