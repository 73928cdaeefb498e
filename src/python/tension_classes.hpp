#pragma once
// The tension-plane classes as class-instance kinds: a ZYLPoint argument
// converts into a zyl::Point, and wrap(Point) makes a new ZYLPoint. Each type
// is defined in its own binding file; the point's pair() and the knot's point
// attribute need the other classes, hence one shared declaration.
#include "convert.hpp"
#include "tension/knot.hpp"
#include "tension/pair.hpp"
#include "tension/point.hpp"

namespace zyl::py {

template <>
struct ClassOf<Point> {
    static PyTypeObject* type();
    static constexpr const char* name = "ZYLPoint";
};

template <>
struct ClassOf<Pair> {
    static PyTypeObject* type();
    static constexpr const char* name = "ZYLPair";
};

template <>
struct ClassOf<Knot> {
    static PyTypeObject* type();
    static constexpr const char* name = "ZYLKnot";
};

}  // namespace zyl::py
