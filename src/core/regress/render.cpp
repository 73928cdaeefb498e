#include "render.hpp"

#include <cmath>
#include <cstdint>
#include <vector>

#include "format/number_format.hpp"
#include "tidy_form.hpp"

namespace zyl::regress {
namespace {

using tidy::Form;
using tidy::negative;
using tidy::Node;
using tidy::NodeId;
using tidy::Shape;

std::string number_text(const tidy::Number& n, bool with_sign) {
    if (n.inexact) return format_shortest(with_sign ? n.value : std::fabs(n.value));
    std::string text = std::to_string(with_sign || n.p >= 0 ? n.p : -n.p);
    if (n.q != 1) text += "/" + std::to_string(n.q);
    return text;
}

// A base that must be parenthesised before "**".
bool compound(const Node& n) {
    if (n.shape == Shape::Sum || n.shape == Shape::Product) return true;
    return n.shape == Shape::Number && (std::signbit(n.number.value) || (!n.number.inexact && n.number.q != 1));
}

// Writes the form with an explicit stack of pending pieces, so that deep
// formulas neither recurse nor copy text more than once.
class Printer {
public:
    Printer(const Form& form, std::span<const std::string> names) : form_(form), names_(names) {}

    std::string run() {
        pending_.push_back({Item::Whole, {}, form_.root(), 0});
        while (!pending_.empty()) {
            Item item = std::move(pending_.back());
            pending_.pop_back();
            switch (item.kind) {
                case Item::Text: out_ += item.text; break;
                case Item::Whole: whole(item.node); break;
                case Item::Magnitude: magnitude(item.node); break;
                case Item::Power: power(item.node, item.halves); break;
            }
        }
        return std::move(out_);
    }

private:
    struct Item {
        enum Kind : std::uint8_t { Text, Whole, Magnitude, Power } kind;
        std::string text;
        NodeId node;
        std::int64_t halves;
    };
    static Item text(std::string s) { return {Item::Text, std::move(s), 0, 0}; }
    static Item part(Item::Kind kind, NodeId id, std::int64_t halves = 0) { return {kind, {}, id, halves}; }

    // Queues the pieces to be written next, in reading order.
    void then(std::vector<Item>& pieces) {
        pending_.insert(pending_.end(), std::make_move_iterator(pieces.rbegin()),
                        std::make_move_iterator(pieces.rend()));
    }

    void whole(NodeId id) {
        const Node& n = form_[id];
        std::vector<Item> pieces;
        switch (n.shape) {
            case Shape::Number: out_ += number_text(n.number, true); return;
            case Shape::Constant: out_ += n.index == static_cast<std::uint32_t>(tidy::Irrational::Pi) ? "pi" : "E"; return;
            case Shape::Variable:
                out_ += n.index < names_.size() ? names_[n.index] : "x" + std::to_string(n.index);
                return;
            case Shape::Call:
                out_ += fn_name(n.fn);
                out_ += '(';
                pieces = {part(Item::Whole, n.arg), text(")")};
                break;
            case Shape::Sum: pieces = sum(n); break;
            case Shape::Product:
                if (negative(n)) out_ += '-';
                pieces = product(n);
                break;
        }
        then(pieces);
    }

    void magnitude(NodeId id) {
        const Node& n = form_[id];
        if (n.shape == Shape::Number) {
            out_ += number_text(n.number, false);
        } else if (n.shape == Shape::Product) {
            std::vector<Item> pieces = product(n);
            then(pieces);
        } else {
            whole(id);
        }
    }

    // A positive term leads when there is one: 3 - x, not -x + 3.
    std::vector<Item> sum(const Node& n) const {
        std::size_t lead = 0;
        while (lead < n.terms.size() && negative(form_[n.terms[lead]])) ++lead;
        if (lead == n.terms.size()) lead = 0;
        std::vector<Item> pieces{part(Item::Whole, n.terms[lead])};
        for (std::size_t i = 0; i < n.terms.size(); ++i) {
            if (i == lead) continue;
            pieces.push_back(text(negative(form_[n.terms[i]]) ? " - " : " + "));
            pieces.push_back(part(Item::Magnitude, n.terms[i]));
        }
        return pieces;
    }

    // |coefficient| and the positive powers over the negative ones.
    std::vector<Item> product(const Node& n) const {
        std::vector<Item> over;
        std::vector<Item> under;
        const tidy::Number& c = n.number;
        if (c.inexact ? std::fabs(c.value) != 1.0 : c.p != 1 && c.p != -1) {
            tidy::Number numerator = c;
            numerator.q = 1;
            over.push_back(text(number_text(numerator, false)));
        }
        if (!c.inexact && c.q != 1) under.push_back(text(std::to_string(c.q)));
        const std::size_t joint = joint_root(n);
        for (std::size_t i = 0; i < n.factors.size(); ++i) {
            const tidy::Factor& f = n.factors[i];
            if (joint < n.factors.size() && i == joint + 1) continue;
            Item piece = i == joint ? text("sqrt(2*pi)") : part(Item::Power, f.base, f.halves < 0 ? -f.halves : f.halves);
            (f.halves > 0 ? over : under).push_back(std::move(piece));
        }
        std::vector<Item> pieces;
        if (over.empty()) pieces.push_back(text("1"));
        join(over, pieces);
        if (under.empty()) return pieces;
        pieces.push_back(text(under.size() > 1 ? "/(" : "/"));
        join(under, pieces);
        if (under.size() > 1) pieces.push_back(text(")"));
        return pieces;
    }

    static void join(std::vector<Item>& items, std::vector<Item>& out) {
        for (std::size_t i = 0; i < items.size(); ++i) {
            if (i > 0) out.push_back(text("*"));
            out.push_back(std::move(items[i]));
        }
    }

    // sqrt(2)*sqrt(pi) is written sqrt(2*pi), the form the engine's exact
    // constants name: the index of the sqrt(2) factor when pi**(1/2) follows
    // it on the same side of the line, else the factor count.
    std::size_t joint_root(const Node& n) const {
        for (std::size_t i = 0; i + 1 < n.factors.size(); ++i) {
            const tidy::Factor& two = n.factors[i];
            const tidy::Factor& pi = n.factors[i + 1];
            const Node& a = form_[two.base];
            const Node& b = form_[pi.base];
            if (a.shape == Shape::Number && !a.number.inexact && a.number.p == 2 && a.number.q == 1 &&
                b.shape == Shape::Constant && b.index == static_cast<std::uint32_t>(tidy::Irrational::Pi) &&
                (two.halves == 1 || two.halves == -1) && pi.halves == two.halves)
                return i;
        }
        return n.factors.size();
    }

    void power(NodeId base, std::int64_t halves) {
        std::vector<Item> pieces;
        if (halves == 1) {
            out_ += "sqrt(";
            pieces = {part(Item::Whole, base), text(")")};
        } else {
            const bool wrap = compound(form_[base]);
            if (wrap) out_ += '(';
            pieces.push_back(part(Item::Whole, base));
            std::string tail = wrap ? ")" : "";
            if (halves % 2 == 0 && halves != 2) tail += "**" + std::to_string(halves / 2);
            if (halves % 2 != 0) tail += "**(" + std::to_string(halves) + "/2)";
            pieces.push_back(text(std::move(tail)));
        }
        then(pieces);
    }

    const Form& form_;
    std::span<const std::string> names_;
    std::vector<Item> pending_;
    std::string out_;
};

}  // namespace

std::string to_text(const Formula& f, std::span<const std::string> names) {
    auto form = tidy::Form::of(f);
    if (!form) return "?";
    return Printer(*form, names).run();
}

}  // namespace zyl::regress
