#include "common_scale.hpp"

#include <cmath>
#include <vector>

#include "scoring.hpp"

namespace zyl::regress {
namespace {

// All free constants are multiplied by this to see whether the values only
// change by a scale and an offset.
constexpr double kProbe = 1.37;

// Removes the constant 1 at `at` with the product (or quotient by it) that
// reads it, when there is one: 1*x is written x.
void drop_unit_factor(Formula& f, std::size_t at) {
    // start[i]: where the subtree ending at term i begins.
    std::vector<std::size_t> start(f.size()), stack;
    for (std::size_t i = 0; i < f.size(); ++i) {
        std::size_t first = i;
        if (f[i].kind == Kind::Op) {
            for (unsigned k = 0; k < arity(f[i].fn) && !stack.empty(); ++k) {
                first = start[stack.back()];
                stack.pop_back();
            }
        }
        start[i] = first;
        stack.push_back(i);
        if (f[i].kind != Kind::Op || arity(f[i].fn) != 2) continue;
        const std::size_t right = start[i - 1];
        const bool is_right = right == at && i - 1 == at;
        const bool is_left = right > 0 && right - 1 == at && start[right - 1] == at;
        if ((f[i].fn == Fn::Mul && (is_left || is_right)) || (f[i].fn == Fn::Div && is_right)) {
            f.erase(f.begin() + static_cast<std::ptrdiff_t>(i));
            f.erase(f.begin() + static_cast<std::ptrdiff_t>(at));
            return;
        }
    }
}

}  // namespace

void drop_common_scale(Formula& f, const Columns& data, Evaluator& ev) {
    std::vector<std::size_t> slots;
    for (std::size_t i = 0; i < f.size(); ++i)
        if (f[i].free()) slots.push_back(i);
    if (slots.size() < 2 || !ev.run(f, data)) return;
    const std::vector<double> values(ev.values().begin(), ev.values().end());
    Formula scaled = f;
    for (std::size_t i : slots) scaled[i].value *= kProbe;
    if (!ev.run(scaled, data) || !same_up_to_scale(ev.values(), values)) return;
    std::size_t lead = slots[0];
    for (std::size_t i : slots)
        if (std::fabs(f[i].value) > std::fabs(f[lead].value)) lead = i;
    const double size = f[lead].value;
    for (std::size_t i : slots) f[i].value /= size;
    f[lead] = Term::exact_constant({1, 1, Basis::One}, false);
    drop_unit_factor(f, lead);
}

}  // namespace zyl::regress
