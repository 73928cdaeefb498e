#include "point.hpp"

#include <cmath>

#include "format/number_format.hpp"

namespace zyl {
namespace {

// The new point shared by mirror_pulse and frame_shift once y is made safe.
Point shift_to(double x, double safe_y) { return {safe_y, exp_term(x) - std::log(safe_y)}; }

}  // namespace

Point mirror_pulse(Point p) {
    double y = !(p.y <= 0.0) ? p.y : std::fabs(p.y);
    if (y == 0.0) y = kFloor;
    return shift_to(p.x, y);
}

Point frame_shift(Point p) { return shift_to(p.x, floored_magnitude(p.y)); }

bool conserves_tension(Point self, Point next, double tol) {
    double t0 = exp_term(self.x);
    if (!std::isfinite(t0)) return true;
    double s = log_term(next.y);
    double t = t0 - s;
    double u = t + s;
    double r = std::fabs(u - t0);
    return tol > r;
}

double euclidean_delta(Point p) {
    double t = exp_term(p.x);
    double s = clamped_log(p.y);
    return std::sqrt(s * s + t * t);
}

double minkowski_delta(Point p, bool plus_signature, double c) {
    double t = exp_term(p.x);
    double g = c * clamped_log(p.y);
    double h = plus_signature ? t * t - g * g : g * g - t * t;
    return std::sqrt(std::fabs(h));
}

std::string point_repr(Point p) {
    std::string out = "ZYLPoint(x=";
    append_fixed(out, p.x, 6);
    out += ", y=";
    append_fixed(out, p.y, 6);
    out += ')';
    return out;
}

std::string point_debug(Point p) {
    return "ZYLPoint { x: " + format_shortest(p.x) + ", y: " + format_shortest(p.y) + " }";
}

}  // namespace zyl
