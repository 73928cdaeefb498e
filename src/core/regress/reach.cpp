#include "reach.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <utility>

#include "combine.hpp"
#include "constant_fit.hpp"
#include "inner_forms.hpp"
#include "rational_forms.hpp"

namespace zyl::regress {
namespace {

// Blocks of at most this many terms, without free constants, are the bases
// of inner forms; the variables always are.
constexpr std::size_t kMaxBaseTerms = 3;
constexpr std::size_t kInnerBases = 12;
// Products and ratios of two variables are bases too, for up to this many
// variables.
constexpr std::size_t kMaxRatioVariables = 4;
// Fitted inner forms that join the blocks of the sums and products, and
// those finished as they are.
constexpr std::size_t kInnerKept = 12;
constexpr std::size_t kInnerFinished = 6;
constexpr std::size_t kCombinationBlocks = 64;
constexpr std::size_t kMonomials = 48;
// What fitting one start costs at most, roughly, in evaluations.
constexpr std::size_t kEvaluationsPerStart = 200;
constexpr std::size_t kPairs = 6;
constexpr std::size_t kTriples = 6;
constexpr std::size_t kProductForms = 6;
constexpr std::size_t kProductBlocks = 12;
constexpr std::size_t kProducts = 4;
// Constant-free blocks offered to the ratios of sums, besides the monomials.
constexpr std::size_t kRationalBlocks = 24;
// Free constants of a ratio of sums, before its outer scale.
constexpr std::size_t kRationalConstants = 4;
// The simplest terms, every choice of which a ratio of sums tries.
constexpr std::size_t kSimpleTerms = 10;
// Normalised values closer than this everywhere are one form reached twice.
constexpr double kTwinTolerance = 1e-6;
constexpr double kInf = std::numeric_limits<double>::infinity();

std::size_t free_count(const Formula& f) {
    return static_cast<std::size_t>(std::count_if(f.begin(), f.end(), [](const Term& t) { return t.free(); }));
}

struct Candidate {
    Formula formula;
    std::vector<double> values;
    std::vector<double> normal;  // values up to scale and offset; empty when constant
    double sse = kInf;
};

// Among `all`, the best `keep` by sse whose normalised values differ from
// every one taken before. Errors below `floor` are rounding and count as
// equal: then the shorter formula, then the earlier, goes first, so that of
// twins the simpler is kept.
std::vector<std::size_t> best_distinct(const std::vector<Candidate>& all, std::size_t keep, double floor,
                                       std::vector<const std::vector<double>*>& taken) {
    std::vector<std::size_t> order;
    for (std::size_t i = 0; i < all.size(); ++i)
        if (std::isfinite(all[i].sse) && !all[i].normal.empty()) order.push_back(i);
    auto before = [&](std::size_t a, std::size_t b) {
        const double ea = std::fmax(all[a].sse, floor), eb = std::fmax(all[b].sse, floor);
        return ea < eb || (ea == eb && all[a].formula.size() < all[b].formula.size());
    };
    std::stable_sort(order.begin(), order.end(), before);
    std::vector<std::size_t> out;
    for (std::size_t i : order) {
        if (out.size() == keep) break;
        const std::vector<double>& v = all[i].normal;
        const bool twin = std::any_of(taken.begin(), taken.end(), [&](const std::vector<double>* t) {
            for (std::size_t s = 0; s < v.size(); ++s)
                if (std::fabs(v[s] - (*t)[s]) > kTwinTolerance) return false;
            return true;
        });
        if (twin) continue;
        taken.push_back(&v);
        out.push_back(i);
    }
    return out;
}

// sin(w*g + p) and cos(w*g + p) with the phase p brought into (-pi, pi]:
// the same function, written with the phase a reader expects.
void wrap_phases(Formula& f) {
    constexpr double kTwoPi = 6.283185307179586;
    for (std::size_t i = 2; i < f.size(); ++i) {
        const bool wave = f[i].kind == Kind::Op && (f[i].fn == Fn::Sin || f[i].fn == Fn::Cos);
        if (!wave || f[i - 1].kind != Kind::Op || f[i - 1].fn != Fn::Add || !f[i - 2].free()) continue;
        f[i - 2].value = std::remainder(f[i - 2].value, kTwoPi);
    }
}

void set_normal(Candidate& c) {
    c.normal.resize(c.values.size());
    if (!normalise(c.values, c.normal)) c.normal.clear();
}

class Reach {
public:
    Reach(const Columns& data, std::span<const double> y, const std::vector<Block>& blocks,
          const ReachSettings& settings)
        : data_(data), y_(y), w_(settings.weights), blocks_(blocks), floor_sse_(settings.floor_sse),
          settings_(settings), evaluators_(WorkerPool::instance().worker_slots()) {}

    ReachResult run() {
        ratios_ = ratios_and_products();
        std::vector<Candidate> inner;
        if (!fit_inner_forms(inner) || stopped()) return stopped_result();
        std::vector<const std::vector<double>*> taken;
        std::vector<std::size_t> kept = best_distinct(inner, kInnerKept, floor_sse_, taken);
        for (std::size_t k = 0; k < kept.size() && k < kInnerFinished; ++k)
            result_.structures.push_back(inner[kept[k]].formula);

        // A form that already explains the data to rounding needs no
        // products or sums.
        if (!kept.empty() && inner[kept[0]].sse <= floor_sse_) return result_;
        std::vector<Candidate> products = best_products(inner, kept);
        for (const Candidate& p : products) result_.structures.push_back(p.formula);
        if (!products.empty() && products[0].sse <= floor_sse_) return result_;

        // The sums read the blocks as given, the kept inner forms and
        // products (a level plus a decaying amplitude) and the monomials.
        std::vector<const Formula*> formulas;
        std::vector<std::span<const double>> columns;
        for (std::size_t b = 0; b < blocks_.size() && b < kCombinationBlocks; ++b) {
            formulas.push_back(&blocks_[b].formula);
            columns.push_back(blocks_[b].values);
        }
        for (std::size_t k : kept) {
            formulas.push_back(&inner[k].formula);
            columns.push_back(inner[k].values);
        }
        std::vector<Candidate> terms = monomial_terms();
        for (const std::vector<Candidate>* more : {&products, &terms})
            for (const Candidate& t : *more) {
                formulas.push_back(&t.formula);
                columns.push_back(t.values);
            }
        SumsFound sums = best_sums(columns, y_, w_, kPairs, kTriples, settings_.control);
        result_.evaluations += sums.fits;
        if (sums.stopped || stopped()) return stopped_result();
        std::vector<Candidate> written = write_sums(sums, formulas, columns, false);
        // Rational responses: sums that explain 1/y, written 1/(sum + c).
        if (auto reciprocal = reciprocal_target()) {
            SumsFound inverse = best_sums(columns, reciprocal->first, reciprocal->second, kPairs, kTriples,
                                          settings_.control);
            result_.evaluations += inverse.fits;
            if (inverse.stopped || stopped()) return stopped_result();
            for (Candidate& c : write_sums(inverse, formulas, columns, true)) written.push_back(std::move(c));
        }
        // Ratios of sums, unless a sum already explains the data to rounding.
        const bool explained = std::any_of(written.begin(), written.end(),
                                           [&](const Candidate& c) { return c.sse <= floor_sse_; });
        if (!explained) {
            std::optional<std::vector<Candidate>> ratios = rationals(terms);
            if (!ratios || stopped()) return stopped_result();
            for (Candidate& c : *ratios) written.push_back(std::move(c));
        }
        // Sums found twice (a part that is both a block and a monomial) or
        // equal to an inner form are finished once.
        for (std::size_t i : best_distinct(written, written.size(), floor_sse_, taken))
            result_.structures.push_back(std::move(written[i].formula));
        return result_;
    }

private:
    bool stopped() const { return settings_.stop && settings_.stop(); }
    ReachResult stopped_result() {
        result_.structures.clear();
        result_.stopped = true;
        return result_;
    }

    // The sums as formulas with their values and their error against y;
    // `reciprocal` writes 1/(sum + intercept).
    std::vector<Candidate> write_sums(const SumsFound& sums, const std::vector<const Formula*>& formulas,
                                      const std::vector<std::span<const double>>& columns, bool reciprocal) const {
        std::vector<Candidate> out;
        for (const Combination& c : sums.sums) {
            std::vector<const Formula*> parts;
            std::vector<double> spreads;
            for (std::uint32_t p : c.parts) {
                parts.push_back(formulas[p]);
                spreads.push_back(spread(columns[p]));
            }
            if (has_negligible_part(c.weights, spreads)) continue;
            Candidate sum;
            sum.formula = sum_formula(parts, c, spreads, reciprocal);
            if (reciprocal) sum.formula.push_back(Term::operation(Fn::Inv));
            if (free_count(sum.formula) > settings_.max_constants) continue;
            sum.values.assign(y_.size(), reciprocal ? c.intercept : 0.0);
            for (std::size_t j = 0; j < parts.size(); ++j)
                for (std::size_t i = 0; i < y_.size(); ++i) sum.values[i] += c.weights[j] * columns[c.parts[j]][i];
            if (reciprocal && !apply(Fn::Inv, sum.values.data(), nullptr, sum.values.data(), y_.size())) continue;
            auto fit = fit_scaling(sum.values, y_, w_);
            if (!fit) continue;
            sum.sse = fit->sse;
            set_normal(sum);
            out.push_back(std::move(sum));
        }
        return out;
    }

    // 1/y and the weights that make its errors those of y to first order
    // (d(1/y) = -dy/y^2); nothing when y is zero somewhere or changes sign.
    std::optional<std::pair<std::vector<double>, std::vector<double>>> reciprocal_target() const {
        std::vector<double> inverse(y_.size()), w(y_.size());
        const bool positive = y_[0] > 0.0;
        for (std::size_t i = 0; i < y_.size(); ++i) {
            if (!(positive ? y_[i] > 0.0 : y_[i] < 0.0)) return std::nullopt;
            inverse[i] = 1.0 / y_[i];
            const double y2 = y_[i] * y_[i];
            w[i] = weight(w_, i) * y2 * y2;
        }
        double total = 0.0;
        for (double v : w) total += v;
        if (!(total > 0.0) || !std::isfinite(total)) return std::nullopt;
        for (double& v : w) v /= total / static_cast<double>(w.size());
        return std::pair{std::move(inverse), std::move(w)};
    }

    // Ratios of short sums of the constant-free blocks and the monomials
    // (rational_forms.hpp); nothing when stopped.
    std::optional<std::vector<Candidate>> rationals(const std::vector<Candidate>& monomials) {
        std::vector<const Formula*> formulas;
        std::vector<std::span<const double>> columns;
        auto offer = [&](const std::vector<Candidate>& terms) {
            for (const Candidate& t : terms) {
                formulas.push_back(&t.formula);
                columns.push_back(t.values);
            }
        };
        const std::vector<Candidate> simple =
            evaluated(simple_ratio_terms(data_.columns.size(), pair_formulas(), kSimpleTerms));
        offer(simple);
        for (std::size_t b = 0, taken = 0; b < blocks_.size() && taken < kRationalBlocks; ++b) {
            if (free_count(blocks_[b].formula) > 0) continue;
            formulas.push_back(&blocks_[b].formula);
            columns.push_back(blocks_[b].values);
            ++taken;
        }
        offer(monomials);
        const std::vector<Candidate> extra =
            evaluated(ratio_only_terms(data_.columns.size(), pair_formulas(), kMaxRatioVariables));
        offer(extra);
        RationalSettings settings;
        settings.weights = w_;
        settings.max_constants = std::min(kRationalConstants, settings_.max_constants);
        settings.simple = simple.size();
        settings.control = settings_.control;
        RationalsFound found = best_rationals(data_, y_, formulas, columns, settings, evaluators_);
        result_.evaluations += found.evaluations;
        if (found.stopped) return std::nullopt;
        std::vector<Candidate> out = evaluated(std::move(found.structures));
        for (Candidate& c : out) {
            if (auto fit = fit_scaling(c.values, y_, w_)) c.sse = fit->sse;
            set_normal(c);
        }
        return out;
    }

    std::vector<Formula> pair_formulas() const {
        std::vector<Formula> out;
        for (const Candidate& r : ratios_) out.push_back(r.formula);
        return out;
    }

    std::vector<Candidate> monomial_terms() { return evaluated(monomials(data_.columns.size(), kMonomials)); }

    // The formulas that evaluate on every sample, with their values.
    std::vector<Candidate> evaluated(std::vector<Formula> formulas) {
        std::vector<Candidate> out;
        Evaluator& ev = evaluators_[0];
        for (Formula& f : formulas) {
            ++result_.evaluations;
            if (!ev.run(f, data_)) continue;
            Candidate c;
            c.formula = std::move(f);
            c.values.assign(ev.values().begin(), ev.values().end());
            out.push_back(std::move(c));
        }
        return out;
    }

    // The bases: every variable, then the simplest constant-free blocks.
    // x_i * x_j and x_i / x_j for a few variables: the combined quantity
    // (t/T, k*x) a function of a law often reads, which as a block alone may
    // explain little of y.
    std::vector<Candidate> ratios_and_products() {
        std::vector<Candidate> out;
        const auto d = static_cast<std::uint32_t>(data_.columns.size());
        if (d > kMaxRatioVariables) return out;
        Evaluator& ev = evaluators_[0];
        for (std::uint32_t a = 0; a < d; ++a)
            for (std::uint32_t b = 0; b < d; ++b) {
                if (a == b) continue;
                for (Fn fn : {Fn::Mul, Fn::Div}) {
                    if (fn == Fn::Mul && a > b) continue;
                    Candidate c;
                    c.formula = {Term::variable(a), Term::variable(b), Term::operation(fn)};
                    ++result_.evaluations;
                    if (!ev.run(c.formula, data_)) continue;
                    c.values.assign(ev.values().begin(), ev.values().end());
                    out.push_back(std::move(c));
                }
            }
        return out;
    }

    bool is_variable(std::size_t b) const {
        return blocks_[b].formula.size() == 1 && blocks_[b].formula[0].kind == Kind::Var;
    }

    // Block indices with the variables first: a variable alone may explain
    // little of y and still be the amplitude of a wave.
    std::vector<std::size_t> variables_first() const {
        std::vector<std::size_t> out;
        for (std::size_t b = 0; b < blocks_.size(); ++b)
            if (is_variable(b)) out.push_back(b);
        for (std::size_t b = 0; b < blocks_.size(); ++b)
            if (!is_variable(b)) out.push_back(b);
        return out;
    }

    // The bases of the inner forms, simplest first: every variable, the
    // products and ratios of two, then the simplest constant-free blocks.
    std::vector<Block> inner_bases() const {
        std::vector<Block> out;
        for (std::size_t b = 0; b < blocks_.size(); ++b)
            if (is_variable(b)) out.push_back(blocks_[b]);
        for (const Candidate& r : ratios_) out.push_back({r.formula, r.values});
        std::size_t others = 0;
        for (std::size_t b = 0; b < blocks_.size() && others < kInnerBases; ++b) {
            const Formula& f = blocks_[b].formula;
            if (f.size() == 1 || f.size() > kMaxBaseTerms || free_count(f) > 0) continue;
            out.push_back(blocks_[b]);
            ++others;
        }
        return out;
    }

    // A variable times a saturation in a variable or in the product or
    // ratio of two, for a few variables.
    std::vector<Formula> amplitude_saturation_starts() const {
        std::vector<Formula> out;
        if (data_.columns.size() > kMaxRatioVariables) return out;
        std::vector<Block> bases;
        for (std::size_t b = 0; b < blocks_.size(); ++b)
            if (is_variable(b)) bases.push_back(blocks_[b]);
        for (const Candidate& r : ratios_) bases.push_back({r.formula, r.values});
        for (std::size_t a = 0; a < blocks_.size(); ++a)
            if (is_variable(a))
                for (const Block& base : bases)
                    for (Formula& f : saturation_starts(base.formula, base.values, blocks_[a].formula))
                        out.push_back(std::move(f));
        return out;
    }

    bool fit_inner_forms(std::vector<Candidate>& inner) {
        std::vector<Formula> starts;
        for (const Block& base : inner_bases())
            for (Formula& f : inner_form_starts(base.formula, base.values, y_, w_, settings_.use_trig))
                starts.push_back(std::move(f));
        for (Formula& f : amplitude_saturation_starts()) starts.push_back(std::move(f));
        // Bases and starts come simplest first: what the allowance cuts
        // is the least likely.
        starts.resize(std::min(starts.size(), settings_.allowance / kEvaluationsPerStart));
        inner.assign(starts.size(), Candidate{});
        std::vector<std::size_t> spent(starts.size(), 0);
        auto done = parallel_for_workers(
            starts.size(),
            [&](std::size_t worker, std::size_t i) {
                Evaluator& ev = evaluators_[worker];
                Candidate& c = inner[i];
                c.formula = std::move(starts[i]);
                ConstantFitLimits limits;
                limits.cancelled = &job_cancelled;
                auto fit = fit_constants(c.formula, data_, y_, ev, limits, w_);
                if (!fit) return;
                wrap_phases(c.formula);
                spent[i] = fit->evaluations + 1;
                if (!ev.run(c.formula, data_)) return;
                c.values.assign(ev.values().begin(), ev.values().end());
                c.sse = fit->scaling.sse;
                set_normal(c);
            },
            settings_.control);
        for (std::size_t s : spent) result_.evaluations += s;
        return done != kCancelled;
    }

    // A fitted inner form times a constant-free block: an amplitude that is
    // a variable of its own.
    std::vector<Candidate> best_products(const std::vector<Candidate>& inner, const std::vector<std::size_t>& kept) {
        std::vector<Candidate> products;
        std::size_t forms = 0;
        for (std::size_t k : kept) {
            if (forms++ == kProductForms) break;
            std::size_t taken = 0;
            for (std::size_t b : variables_first()) {
                if (taken == kProductBlocks) break;
                if (free_count(blocks_[b].formula) > 0) continue;
                ++taken;
                Candidate c;
                c.formula = inner[k].formula;
                c.formula.insert(c.formula.end(), blocks_[b].formula.begin(), blocks_[b].formula.end());
                c.formula.push_back(Term::operation(Fn::Mul));
                if (free_count(c.formula) > settings_.max_constants) continue;
                c.values.resize(y_.size());
                if (!apply(Fn::Mul, inner[k].values.data(), blocks_[b].values.data(), c.values.data(), y_.size()))
                    continue;
                if (auto s = fit_scaling(c.values, y_, w_)) c.sse = s->sse;
                set_normal(c);
                products.push_back(std::move(c));
            }
        }
        result_.evaluations += products.size();
        std::vector<const std::vector<double>*> taken;
        std::vector<Candidate> out;
        for (std::size_t i : best_distinct(products, kProducts, floor_sse_, taken)) out.push_back(products[i]);
        return out;
    }

    const Columns& data_;
    std::span<const double> y_;
    Weights w_;
    const std::vector<Block>& blocks_;
    double floor_sse_ = 0.0;
    std::vector<Candidate> ratios_;
    const ReachSettings& settings_;
    std::vector<Evaluator> evaluators_;
    ReachResult result_;
};

}  // namespace

ReachResult reach(const Columns& data, std::span<const double> y, const std::vector<Block>& blocks,
                  const ReachSettings& settings) {
    return Reach(data, y, blocks, settings).run();
}

}  // namespace zyl::regress
