// ZYLKnot: an immutable knot state. It holds a copy of its point's
// coordinates, never the Python point, so the `point` attribute hands out a
// new ZYLPoint on every access.
#include <cstdint>

#include "method_adapters.hpp"
#include "panic.hpp"
#include "registry.hpp"
#include "rows.hpp"
#include "tension_classes.hpp"

namespace zyl::py {
namespace {

constexpr const char* kNewParams[] = {"point", "n", "theta"};
constexpr Signature kNew{"ZYLKnot.__new__", kNewParams, 3, 1};

PyObject* new_knot(PyTypeObject*, PyObject* args, PyObject* kwargs) {
    Point point{};
    std::int64_t n = 0;
    double theta = 0.0;
    if (!parse_args(kNew, args, kwargs, point, n, theta)) return nullptr;
    return wrap(make_knot(point, n, theta));
}

Point point_of(const Knot& k) { return {k.x, k.y}; }
std::int64_t flip_count_of(const Knot& k) { return k.flip_count; }
double phase_of(const Knot& k) { return k.phase; }

// The point overload shares the name.
constexpr Knot (*kMirrorPulse)(const Knot&) = &mirror_pulse;

PyMethodDef methods[] = {
    {"mirror_pulse", Guard<&noargs_method<Knot, kMirrorPulse>>::call, METH_NOARGS, "mirror_pulse($self)\n--\n\n"},
    {"pulse", Guard<&noargs_method<Knot, kMirrorPulse>>::call, METH_NOARGS,
     "pulse($self)\n--\n\nAlias for mirror_pulse()."},
    {"three_one_flip", Guard<&noargs_method<Knot, &three_one_flip>>::call, METH_NOARGS,
     "three_one_flip($self)\n--\n\n"},
    {"flip", Guard<&noargs_method<Knot, &three_one_flip>>::call, METH_NOARGS,
     "flip($self)\n--\n\nAlias for three_one_flip()."},
    {"tread_yield", Guard<&noargs_method<Knot, &tread_yield>>::call, METH_NOARGS, "tread_yield($self)\n--\n\n"},
    {nullptr, nullptr, 0, nullptr},
};

// The computed property first, then the stored fields.
PyGetSetDef getset[] = {
    {"rho", Guard<&getter<Knot, &rho>>::call, nullptr, nullptr, nullptr},
    {"point", Guard<&getter<Knot, &point_of>>::call, nullptr, nullptr, nullptr},
    {"flip_count", Guard<&getter<Knot, &flip_count_of>>::call, nullptr, nullptr, nullptr},
    {"phase", Guard<&getter<Knot, &phase_of>>::call, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot slots[] = {
    {Py_tp_new, guarded_slot<&new_knot>()},
    {Py_tp_repr, guarded_slot<&of_self<Knot, &knot_repr>>()},
    {Py_tp_methods, methods},
    {Py_tp_getset, getset},
    {Py_tp_doc, const_cast<char*>("ZYLKnot(point, n=0, theta=0.0)\n--\n\n")},
    {0, nullptr},
};

PyType_Spec type_spec = {"zyl_core.ZYLKnot", sizeof(Instance<Knot>), 0, Py_TPFLAGS_DEFAULT, slots};

PyTypeObject* g_type = nullptr;

}  // namespace

PyTypeObject* knot_type() { return type_once(g_type, type_spec); }

PyTypeObject* ClassOf<Knot>::type() { return knot_type(); }

}  // namespace zyl::py
