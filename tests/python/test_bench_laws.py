"""The law benchmarks' own machinery: the measured data sets and their laws,
the form and curve verdicts, the check of exactly written constants, and the
holdout law set. A fault here would misjudge every build the team compares."""
import importlib
import math
import pathlib
import sys

import numpy as np
import pytest

pytest.importorskip("scipy")
BENCH = pathlib.Path(__file__).resolve().parents[2] / "bench"
sys.path.insert(0, str(BENCH))

import free_constants  # noqa: E402
import law_verdicts  # noqa: E402
from laws_holdout import LAWS as HOLDOUT  # noqa: E402
from real_laws import DATA, REAL_LAWS  # noqa: E402
from zyl_core.discovery import _Formula  # noqa: E402


@pytest.fixture
def bench_module(monkeypatch):
    """Imports a benchmark script without letting it pin this process's pool size."""
    monkeypatch.setenv("RAYON_NUM_THREADS", "2")
    return importlib.import_module


def entry(name):
    (found,) = [e for e in REAL_LAWS if name in e.name]
    return found


# ---- the measured data sets ----------------------------------------------------------

def test_every_data_set_loads_names_its_source_and_mixes_sizes_and_dimensions():
    assert 8 <= len(REAL_LAWS) <= 12
    sizes, dims = [], set()
    for e in REAL_LAWS:
        x, y = e.load()
        assert 6 <= len(y) <= 70 and x.shape == (len(y), len(e.features)), e.name
        assert np.all(np.isfinite(x)) and np.all(np.isfinite(y)), e.name
        header = [line for line in (DATA / e.file).read_text().splitlines() if line.startswith("#")]
        assert len(header) >= 2 and any(str(year) in " ".join(header) for year in range(1600, 2030)), e.file
        sizes.append(len(y))
        dims.add(x.shape[1])
    assert min(sizes) <= 7 and sum(s <= 12 for s in sizes) >= 3 and dims >= {1, 2}


@pytest.mark.parametrize(("name", "published"), [
    # Bates and Watts (1988); R's nls examples; Williams (1959).
    ("Puromycin", (212.68, 0.06412)),
    ("BOD", (19.143, 0.5311)),
    ("DNase", (2.345, 1.483, 1.041)),
    ("Stormer", (29.40, 2.218)),
])
def test_laws_fitted_to_the_copied_data_give_the_published_constants(name, published):
    e = entry(name)
    params, rmse = law_verdicts.fit_law(e.law, *e.load(), e.start)
    assert params == pytest.approx(published, rel=2e-3)
    assert rmse < np.std(e.load()[1])


# ---- the verdicts ---------------------------------------------------------------------

def test_grid_extends_wide_positive_features_on_a_log_scale_and_others_linearly_within_the_domain():
    x = np.array([[0.02, 1.0], [0.5, 4.0], [2.0, 5.0]])
    points = law_verdicts.grid(x, ((None, None), (2.0, None)))
    wide, narrow = np.unique(points[:, 0]), np.unique(points[:, 1])
    assert wide.min() == pytest.approx(0.02 / 100**0.25) and wide.max() == pytest.approx(2.0 * 100**0.25)
    assert np.allclose(np.diff(np.log(wide)), np.log(wide[1] / wide[0]))
    assert narrow.min() == 2.0 and narrow.max() == pytest.approx(6.0)
    assert len(points) == len(wide) * len(narrow)


def test_form_accepts_the_law_with_other_constants_and_rejects_a_look_alike():
    e = entry("Puromycin")
    x, y = e.load()
    params, _ = law_verdicts.fit_law(e.law, x, y, e.start)
    points = law_verdicts.grid(x, e.domain)
    other = e.law(*points.T, 180.0, 0.09)
    assert law_verdicts.form_deviation(e.law, (params, e.start), points, other, False) <= law_verdicts.FORM_TOLERANCE
    # A saturating curve of another form, close to the law over the data.
    look_alike = np.polyval(np.polyfit(x[:, 0], e.law(x[:, 0], *params), 3), points[:, 0])
    assert law_verdicts.form_deviation(e.law, (params, e.start), points, look_alike, False) > 1e-3
    undefined = other.copy()
    undefined[3] = np.nan
    assert law_verdicts.form_deviation(e.law, (params, e.start), points, undefined, False) == math.inf
    # V*conc/(K + conc) tends to V as K -> 0.
    constant = np.full(len(points), 150.0)
    assert law_verdicts.form_deviation(e.law, (params, e.start), points, constant, False) == math.inf


def test_judge_passes_the_laws_own_curve_and_fails_one_shifted_beyond_the_tolerance():
    for name in ("Michaelis", "Kepler"):
        e = entry(name)
        x, y = e.load()
        params, rmse = law_verdicts.fit_law(e.law, x, y, e.start, e.relative)
        verdict = law_verdicts.judge(e, x, y, lambda p: e.law(*p.T, *params))
        assert verdict["form"] and verdict["curve"] and verdict["curve_deviation"] < 1e-9
        scale = 1.1 if e.relative else 1.0
        shift = 0.0 if e.relative else 4 * rmse
        verdict = law_verdicts.judge(e, x, y, lambda p: scale * e.law(*p.T, *params) + shift)
        assert not verdict["curve"] and verdict["curve_deviation"] == pytest.approx(
            0.1 if e.relative else 4 * rmse)


def test_a_contender_that_raises_is_a_miss_with_its_message(bench_module, monkeypatch):
    bench = bench_module("bench_real_laws")

    def broken(*args):
        raise RuntimeError("no formula today")

    monkeypatch.setitem(bench.CONTENDERS, "zyl", broken)
    e = entry("BOD")
    row = bench.run_one("zyl", e, *e.load(), {})
    assert not row["form"] and not row["curve"] and "no formula today" in row["error"]


def test_the_simplest_front_member_of_the_laws_form_is_found_whichever_was_chosen(bench_module):
    bench = bench_module("bench_real_laws")
    e = entry("BOD")
    x, y = e.load()
    params, _ = law_verdicts.fit_law(e.law, x, y, e.start)
    front = [(9, lambda p: e.law(*p.T, *params)), (3, lambda p: 15.0 + 0 * p[:, 0]), (11, lambda p: e.law(*p.T, 1, 1))]
    assert bench.law_on_front(e, x, y, front) == 9
    assert bench.law_on_front(e, x, y, front[1:2]) is None


# ---- exactly written constants ----------------------------------------------------------

ALL_OPS = (
    ("var", 0), ("const", 0.5, (1, 2, "1")), ("op", "mul"), ("op", "sin"), ("op", "square"),
    ("var", 1), ("op", "log"), ("op", "neg"), ("op", "exp"), ("op", "add"),
    ("var", 0), ("op", "sqrt"), ("op", "inv"), ("op", "abs"), ("op", "cos"), ("op", "sub"),
    ("var", 1), ("const", 1.7, None), ("op", "div"), ("op", "zyl"),
)


def test_freed_function_evaluates_every_operation_like_the_engine():
    rng = np.random.default_rng(1)
    x = rng.uniform(0.5, 2.0, size=(50, 2))
    f, constants, exact = free_constants.freed(ALL_OPS)
    assert constants == [0.5, 1.7] and exact == [0]
    engine = np.frombuffer(_Formula(ALL_OPS, 0.0)._evaluate(np.ascontiguousarray(x.T)))
    assert np.allclose(f(x.T, *constants), engine, rtol=1e-12)


@pytest.mark.parametrize(("slope", "outside"), [(2.5, 0), (2.4, 1)])
def test_an_exact_constant_is_judged_against_the_spread_of_its_free_refit(slope, outside):
    rng = np.random.default_rng(2)
    x = rng.uniform(1, 5, size=(100, 1))
    y = 2.5 * x[:, 0] + 0.01 * rng.standard_normal(100)
    nodes = (("var", 0), ("const", slope, (int(slope * 10), 10, "1")), ("op", "mul"))
    assert free_constants.snapped_outside(nodes, x, y) == (outside, 1)


def test_constants_the_data_cannot_pin_down_count_as_inside():
    x = np.linspace(1, 5, 20)[:, None]
    y = 6.0 * x[:, 0] + 0.01 * np.random.default_rng(4).standard_normal(20)
    # c1*c2*x: only the product is determined, so the refit may wander far along it.
    nodes = (("var", 0), ("const", 2.0, (2, 1, "1")), ("op", "mul"), ("const", 3.0, (3, 1, "1")), ("op", "mul"))
    assert free_constants.snapped_outside(nodes, x, y) == (0, 2)


# ---- the holdout laws -------------------------------------------------------------------

def test_holdout_laws_are_well_formed_and_none_is_a_base_law(bench_module):
    base = bench_module("bench_discovery").LAWS
    kinds = [kind for _, kind, _, _ in HOLDOUT]
    assert kinds.count("int") == 20 and kinds.count("real") == 18
    assert len({name for name, *_ in HOLDOUT + base}) == len(HOLDOUT) + len(base)
    rng = np.random.default_rng(3)
    for name, _, ranges, law in HOLDOUT:
        assert 2 <= len(ranges) == law.__code__.co_argcount <= 3, name
        x = np.column_stack([rng.uniform(lo, hi, 200) for lo, hi in ranges])
        values = law(*x.T)
        assert np.all(np.isfinite(values)) and np.ptp(values) > 0, name
        for base_name, _, base_ranges, base_law in base:
            if len(base_ranges) == len(ranges):
                with np.errstate(all="ignore"):
                    assert not np.allclose(base_law(*x.T), values, rtol=1e-9), (name, base_name)
