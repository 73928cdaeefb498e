// ZYLPoint: an immutable point of the tension plane. Every entry below maps
// onto one function of the native point; aliases share one C function.
#include "method_adapters.hpp"
#include "panic.hpp"
#include "registry.hpp"
#include "rows.hpp"
#include "tension_classes.hpp"

namespace zyl::py {
namespace {

Point make_point(double x, double y) { return {x, y}; }
double x_of(Point p) { return p.x; }
double y_of(Point p) { return p.y; }
double point_tension(Point p) { return tension(p.x, p.y); }

// The knot overloads share these names.
constexpr Point (*kMirrorPulse)(Point) = &mirror_pulse;
constexpr Point (*kBoost)(Point, double, double) = &boost;

constexpr const char* kNewParams[] = {"x", "y"};
constexpr Signature kNew = required("ZYLPoint.__new__", kNewParams);
constexpr const char* kConservesParams[] = {"next", "tol"};
constexpr Signature kConserves = required("ZYLPoint.conserves_tension", kConservesParams);
constexpr const char* kMinkowskiParams[] = {"plus_signature", "c"};
constexpr Signature kMinkowski = required("ZYLPoint.minkowski_delta", kMinkowskiParams);
constexpr const char* kBoostParams[] = {"phi", "c"};
constexpr Signature kBoostSig = required("ZYLPoint.boost", kBoostParams);

constexpr int kFastcall = METH_FASTCALL | METH_KEYWORDS;

PyMethodDef methods[] = {
    {"tension", Guard<&noargs_method<Point, &point_tension>>::call, METH_NOARGS, "tension($self)\n--\n\n"},
    {"zyl", Guard<&noargs_method<Point, &point_tension>>::call, METH_NOARGS,
     "zyl($self)\n--\n\nAlias for tension() — zyl(x, y) = exp(x) - ln(y)."},
    {"mirror_pulse", Guard<&noargs_method<Point, kMirrorPulse>>::call, METH_NOARGS, "mirror_pulse($self)\n--\n\n"},
    {"pulse", Guard<&noargs_method<Point, kMirrorPulse>>::call, METH_NOARGS,
     "pulse($self)\n--\n\nAlias for mirror_pulse()."},
    {"frame_shift", Guard<&noargs_method<Point, &frame_shift>>::call, METH_NOARGS, "frame_shift($self)\n--\n\n"},
    {"is_slipping", Guard<&noargs_method<Point, &is_slipping>>::call, METH_NOARGS, "is_slipping($self)\n--\n\n"},
    {"conserves_tension", fastcall<&method<Point, kConserves, &conserves_tension>>(), kFastcall,
     "conserves_tension($self, next, tol)\n--\n\n"},
    {"pair", Guard<&noargs_method<Point, &to_pair>>::call, METH_NOARGS,
     "pair($self)\n--\n\nReturns (exp(x), ln(|y|)) as an ZYLPair — canonical frame coordinates."},
    {"euclidean_delta", Guard<&noargs_method<Point, &euclidean_delta>>::call, METH_NOARGS,
     "euclidean_delta($self)\n--\n\nEuclidean delta: sqrt(exp(2x) + (ln y)^2)."},
    {"minkowski_delta", fastcall<&method<Point, kMinkowski, &minkowski_delta>>(), kFastcall,
     "minkowski_delta($self, plus_signature, c)\n--\n\nMinkowski interval sqrt(|exp(2x) - (c*ln y)^2|).\n"
     "plus_signature=true means (+---): time-like when exp(2x) > (c*ln y)^2."},
    {"boost", fastcall<&method<Point, kBoostSig, kBoost>>(), kFastcall,
     "boost($self, phi, c)\n--\n\nLorentz boost by rapidity phi. Returns new ZYLPoint with identical Δ_M.\n"
     "Boost: t' = t*cosh(phi) - (x/c)*sinh(phi), x' = x*cosh(phi) - t*c*sinh(phi)\n"
     "where t = exp(x_coord), x = ln(y_coord)."},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef getset[] = {
    {"x", Guard<&getter<Point, &x_of>>::call, nullptr, nullptr, nullptr},
    {"y", Guard<&getter<Point, &y_of>>::call, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot slots[] = {
    {Py_tp_new, guarded_slot<&constructor<kNew, &make_point>>()},
    {Py_tp_repr, guarded_slot<&of_self<Point, &point_repr>>()},
    {Py_tp_methods, methods},
    {Py_tp_getset, getset},
    {Py_tp_doc, const_cast<char*>("ZYLPoint(x, y)\n--\n\n")},
    {0, nullptr},
};

PyType_Spec type_spec = {"zyl_core.ZYLPoint", sizeof(Instance<Point>), 0, Py_TPFLAGS_DEFAULT, slots};

PyTypeObject* g_type = nullptr;

}  // namespace

PyTypeObject* point_type() { return type_once(g_type, type_spec); }

PyTypeObject* ClassOf<Point>::type() { return point_type(); }

}  // namespace zyl::py
