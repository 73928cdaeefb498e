"""Long calls of every kind in zyl_core.arrays and zyl_core.discovery, for
the Ctrl-C tests and bench/bench_interrupt.py: name -> (setup, call, check).
Each call runs for seconds; `check` is true in a process that still works
afterwards (the pool, the lock and numpy's state all usable)."""

ARRAYS_SETUP = "import numpy as np, zyl_core.arrays as za\nrng = np.random.default_rng(0)\n"
ARRAYS_CHECK = ("bool(np.array_equal(za.add_n(np.arange(1e6), 1.0), np.arange(1e6) + 1.0)"
                " and za.tension_n.reduce(np.full(3, 2.0)) == za.tension_n(za.tension_n(2.0, 2.0), 2.0))")

# 51 nodes: x0, then 16 times (+ x1, sin), then + x0.
FORMULA_SETUP = """
import numpy as np
from zyl_core.discovery import Formula, FormulaRegressor, _Formula
nodes = [("var", 0)] + [("var", 1), ("op", "add"), ("op", "sin")] * 16 + [("var", 0), ("op", "add")]
formula = Formula(_Formula(nodes, 0.0), ["a", "b"])
X = np.random.default_rng(0).uniform(1, 2, (10_000_000, 2))
small = X[:1000].copy()
expected = formula.to_function()(*small.T)
"""
FORMULA_CHECK = "bool(np.allclose(formula.predict(small), expected, rtol=1e-12))"

FIT_SETUP = """
import numpy as np
from zyl_core.discovery import FormulaRegressor
rng = np.random.default_rng(1)
X = rng.uniform(1, 4, (20_000, 3))
y = np.sin(X[:, 0] * X[:, 1]) + np.log(X[:, 2]) * np.cos(X[:, 1]) + 0.1 * rng.standard_normal(20_000)
model = FormulaRegressor(max_complexity=30, max_evaluations=10**12)
"""
FIT_CHECK = "FormulaRegressor(max_complexity=3).fit(X[:50], 2 * X[:50, 0]).best_.complexity >= 1"

LONG_CALLS = {
    "ufunc.reduce": (ARRAYS_SETUP, "za.tension_n.reduce(np.broadcast_to(0.5, (50_000_000,)))", ARRAYS_CHECK),
    "ufunc.accumulate": (ARRAYS_SETUP, "za.pow_n.accumulate(np.broadcast_to(1.0000001, (30_000_000,)))",
                         ARRAYS_CHECK),
    "ufunc.reduceat": (ARRAYS_SETUP,
                       "za.pow_n.reduceat(np.broadcast_to(1.0000001, (50_000_000,)), [0, 25_000_000])",
                       ARRAYS_CHECK),
    # Output rows of two elements: one short loop call per row.
    "ufunc.outer": (ARRAYS_SETUP, "za.pow_n.outer(np.broadcast_to(1.1, (20_000_000,)), [1.5, 2.5])",
                    ARRAYS_CHECK),
    # One loop call per index.
    "ufunc.at": (ARRAYS_SETUP, "za.add_n.at(np.zeros(4), np.broadcast_to(np.intp(1), (10_000_000,)), 1.0)",
                 ARRAYS_CHECK),
    # Independent elements on the pool.
    "element-wise on the pool": (
        ARRAYS_SETUP, "za.pow_n.reduce(np.broadcast_to(np.linspace(1, 2, 10_000), (20_000, 10_000)), axis=0)",
        ARRAYS_CHECK),
    "geometric, signature per pair": (
        ARRAYS_SETUP + "a = rng.uniform(-1, 1, (200_000, 64))\nsig = rng.choice([-1, 0, 1], (200_000, 6))",
        "za.geometric_product_n(a, a, sig)", ARRAYS_CHECK),
    "geometric, one pair of 2^15": (ARRAYS_SETUP + "a = rng.uniform(-1, 1, (1, 1 << 15))",
                                    "za.geometric_product_n(a, a, [1] * 15)", ARRAYS_CHECK),
    "geometric, 8 pairs of 8192": (ARRAYS_SETUP + "a = rng.uniform(-1, 1, (8, 8192))",
                                   "za.geometric_product_n(a, a, [1] * 13)", ARRAYS_CHECK),
    "geometric, shared signature": (ARRAYS_SETUP + "a = np.broadcast_to(rng.uniform(-1, 1, (1, 1024)), (10_000, 1024))",
                                    "za.geometric_product_n(a, a, [1] * 10)", ARRAYS_CHECK),
    "trajectory": (ARRAYS_SETUP, "za.simulate_pulses_n(0.1, 1.2, 20_000_000)", ARRAYS_CHECK),
    "Formula.predict": (FORMULA_SETUP, "formula.predict(X)", FORMULA_CHECK),
    "FormulaRegressor.predict": (
        FORMULA_SETUP + "model = FormulaRegressor(max_complexity=3).fit(small, small[:, 0] * 2)\n"
        "model.best_ = formula",
        "model.predict(X)", FORMULA_CHECK),
    "FormulaRegressor.fit": (FIT_SETUP, "model.fit(X, y)", FIT_CHECK),
}
