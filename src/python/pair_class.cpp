// ZYLPair: an immutable complex-like pair. The four operators accept pairs
// only; anything else is left to the interpreter through NotImplemented.
// Equality is tolerant and therefore has no consistent hash: pairs are
// unhashable.
#include <functional>

#include "method_adapters.hpp"
#include "panic.hpp"
#include "registry.hpp"
#include "rows.hpp"
#include "tension_classes.hpp"

namespace zyl::py {
namespace {

Pair from_values(double real, double imag) { return {real, imag}; }
Pair one() { return {1.0, 0.0}; }
Pair zero() { return {0.0, 0.0}; }
Pair unit_i() { return {0.0, 1.0}; }
double real_of(Pair p) { return p.real; }
double imag_of(Pair p) { return p.imag; }
Pair rotated(Pair p, double angle) { return rotate_phase(p.real, p.imag, angle); }

// Only called from the type's own slots, which run on an instance: the type
// exists by then.
bool is_pair(PyObject* obj) { return PyObject_TypeCheck(obj, pair_type()); }

template <auto Op>
PyObject* arithmetic(PyObject* a, PyObject* b) {
    if (!is_pair(a) || !is_pair(b)) Py_RETURN_NOTIMPLEMENTED;
    return wrap(Op(native_value<Pair>(a), native_value<Pair>(b)));
}

// `!=` asks the interpreter for `==` rather than negating the tolerant test
// itself, so a pair against another type gets the interpreter's fallback and
// no identity shortcut applies (a pair with a NaN part is != itself).
PyObject* compare(PyObject* self, PyObject* other, int op) {
    if (op == Py_NE) {
        PyObject* equal = PyObject_RichCompare(self, other, Py_EQ);
        if (equal == nullptr) return nullptr;
        int truth = PyObject_IsTrue(equal);
        Py_DECREF(equal);
        if (truth < 0) return nullptr;
        return to_python(truth == 0);
    }
    if (op != Py_EQ || !is_pair(other)) Py_RETURN_NOTIMPLEMENTED;
    return to_python(tolerant_equal(native_value<Pair>(self), native_value<Pair>(other)));
}

constexpr const char* kValueParams[] = {"real", "imag"};
constexpr Signature kNew = required("ZYLPair.__new__", kValueParams);
constexpr Signature kFromValues = required("ZYLPair.from_values", kValueParams);
constexpr const char* kPolarParams[] = {"r", "theta"};
constexpr Signature kFromPolar = required("ZYLPair.from_polar", kPolarParams);
constexpr const char* kRotateParams[] = {"angle"};
constexpr Signature kRotate = required("ZYLPair.rotate_phase", kRotateParams);

constexpr int kFastcall = METH_FASTCALL | METH_KEYWORDS;

PyMethodDef methods[] = {
    {"from_values", fastcall<&function<kFromValues, &from_values>>(), kFastcall | METH_STATIC,
     "from_values(real, imag)\n--\n\n"},
    {"from_polar", fastcall<&function<kFromPolar, &from_polar>>(), kFastcall | METH_STATIC,
     "from_polar(r, theta)\n--\n\n"},
    {"unit_i", Guard<&noargs_static<&unit_i>>::call, METH_NOARGS | METH_STATIC, "unit_i()\n--\n\n"},
    {"one", Guard<&noargs_static<&one>>::call, METH_NOARGS | METH_STATIC, "one()\n--\n\n"},
    {"zero", Guard<&noargs_static<&zero>>::call, METH_NOARGS | METH_STATIC, "zero()\n--\n\n"},
    {"rotate_phase", fastcall<&method<Pair, kRotate, &rotated>>(), kFastcall, "rotate_phase($self, angle)\n--\n\n"},
    {"conjugate", Guard<&noargs_method<Pair, &conjugate>>::call, METH_NOARGS, "conjugate($self)\n--\n\n"},
    {nullptr, nullptr, 0, nullptr},
};

// The computed properties in member order, then the stored parts.
PyGetSetDef getset[] = {
    {"real_tension", Guard<&getter<Pair, &real_of>>::call, nullptr, nullptr, nullptr},
    {"imag_tension", Guard<&getter<Pair, &imag_of>>::call, nullptr, nullptr, nullptr},
    {"modulus", Guard<&getter<Pair, &modulus>>::call, nullptr, nullptr, nullptr},
    {"argument", Guard<&getter<Pair, &argument>>::call, nullptr, nullptr, nullptr},
    {"real", Guard<&getter<Pair, &real_of>>::call, nullptr, nullptr, nullptr},
    {"imag", Guard<&getter<Pair, &imag_of>>::call, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot slots[] = {
    {Py_tp_new, guarded_slot<&constructor<kNew, &from_values>>()},
    {Py_nb_absolute, guarded_slot<&of_self<Pair, &modulus>>()},
    {Py_tp_repr, guarded_slot<&of_self<Pair, &pair_repr>>()},
    {Py_nb_add, guarded_slot<&arithmetic<std::plus<>{}>>()},
    {Py_nb_subtract, guarded_slot<&arithmetic<std::minus<>{}>>()},
    {Py_nb_multiply, guarded_slot<&arithmetic<std::multiplies<>{}>>()},
    {Py_nb_true_divide, guarded_slot<&arithmetic<std::divides<>{}>>()},
    {Py_tp_richcompare, guarded_slot<&compare>()},
    {Py_tp_hash, reinterpret_cast<void*>(PyObject_HashNotImplemented)},
    {Py_tp_methods, methods},
    {Py_tp_getset, getset},
    {Py_tp_doc, const_cast<char*>("ZYLPair(real, imag)\n--\n\n")},
    {0, nullptr},
};

PyType_Spec type_spec = {"zyl_core.ZYLPair", sizeof(Instance<Pair>), 0, Py_TPFLAGS_DEFAULT, slots};

PyTypeObject* g_type = nullptr;

}  // namespace

PyTypeObject* pair_type() { return type_once(g_type, type_spec); }

PyTypeObject* ClassOf<Pair>::type() { return pair_type(); }

}  // namespace zyl::py
