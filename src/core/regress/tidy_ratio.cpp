#include "tidy_ratio.hpp"

#include <cmath>
#include <limits>

namespace zyl::regress::tidy {
namespace {

using Wide = __int128;

Wide magnitude(Wide v) { return v < 0 ? -v : v; }

Wide gcd(Wide a, Wide b) {
    a = magnitude(a);
    b = magnitude(b);
    while (b != 0) {
        const Wide r = a % b;
        a = b;
        b = r;
    }
    return a;
}

bool fits(Wide v) {
    // INT64_MIN is left out so that negation never overflows.
    return v <= std::numeric_limits<std::int64_t>::max() && v >= -std::numeric_limits<std::int64_t>::max();
}

std::optional<std::int64_t> integer_root(std::int64_t v) {
    if (v < 0) return std::nullopt;
    auto r = static_cast<std::int64_t>(std::sqrt(static_cast<double>(v)));
    // The double root may be one off for large v.
    while (r > 0 && static_cast<Wide>(r) * r > v) --r;
    while (static_cast<Wide>(r + 1) * (r + 1) <= v) ++r;
    if (static_cast<Wide>(r) * r != v) return std::nullopt;
    return r;
}

}  // namespace

std::optional<Ratio> ratio(Wide p, Wide q) {
    if (q == 0) return std::nullopt;
    if (q < 0) {
        p = -p;
        q = -q;
    }
    const Wide g = p == 0 ? q : gcd(p, q);
    p /= g;
    q /= g;
    if (!fits(p) || !fits(q)) return std::nullopt;
    return Ratio{static_cast<std::int64_t>(p), static_cast<std::int64_t>(q)};
}

std::optional<Ratio> product(const Ratio& a, const Ratio& b) {
    // Cross-reducing first keeps the intermediate products within 128 bits.
    const Wide g1 = a.p == 0 ? 1 : gcd(a.p, b.q);
    const Wide g2 = b.p == 0 ? 1 : gcd(b.p, a.q);
    return ratio((a.p / g1) * (b.p / g2), (a.q / g2) * (b.q / g1));
}

std::optional<Ratio> sum(const Ratio& a, const Ratio& b) {
    return ratio(static_cast<Wide>(a.p) * b.q + static_cast<Wide>(b.p) * a.q, static_cast<Wide>(a.q) * b.q);
}

std::optional<Ratio> power(const Ratio& a, std::int64_t n) {
    if (n > 64 || n < -64) return std::nullopt;
    Ratio base = a;
    if (n < 0) {
        auto inverse = ratio(a.q, a.p);
        if (!inverse) return std::nullopt;
        base = *inverse;
        n = -n;
    }
    std::optional<Ratio> out = Ratio{};
    for (; n > 0 && out; --n) out = product(*out, base);
    return out;
}

std::optional<Ratio> exact_root(const Ratio& a) {
    auto p = integer_root(a.p);
    auto q = integer_root(a.q);
    if (!p || !q) return std::nullopt;
    return Ratio{*p, *q};
}

}  // namespace zyl::regress::tidy
