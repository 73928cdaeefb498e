#include "search_dimensions.hpp"

namespace zyl::regress::stage {

Dimensioned leaf_dim(const State& s, const Term& t) {
    return s.options.dimensions ? leaf_dimension(t, *s.options.dimensions) : Dimensioned{};
}

std::optional<Dimensioned> move_dimension(const State& s, const Move& m) {
    return combine(m.fn, s.pool[m.a].dim, m.b == kNone ? nullptr : &s.pool[m.b].dim);
}

bool consistent(const State& s, const Move& m) { return !s.options.dimensions || move_dimension(s, m).has_value(); }

bool finishable(const State& s, const Entry& e) {
    const auto& d = s.options.dimensions;
    return !d || d->dimensional_constants || e.dim.dim == d->target;
}

}  // namespace zyl::regress::stage
