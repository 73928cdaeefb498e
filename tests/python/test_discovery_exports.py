"""Formula exports (numpy source, sympy, LaTeX) evaluate like Formula.predict on fresh data."""
import math
import pickle

import numpy as np
import pytest

from zyl_core.discovery import Formula, _Formula

sympy = pytest.importorskip("sympy")

NAMES = ("x0", "x1", "x2")
PI4 = ("const", 4 * math.pi, (4, 1, "pi"))


def var(j):
    return ("var", j)


def op(name):
    return ("op", name)


def const(value, exact=None):
    return ("const", value, exact)


# Postfix node lists covering every operation, exact and fitted constants.
FORMULAS = {
    "coulomb": [var(0), var(1), op("mul"), PI4, var(2), op("mul"), op("div")],
    "michaelis_menten": [const(212.68351), var(0), op("mul"), var(0), const(0.0641213), op("add"), op("div")],
    "exact_constants": [const(0.6, (3, 5, "1")), var(0), op("square"), op("mul"),
                        const(2.5066282746310007, (1, 1, "sqrt(2*pi)")), op("add")],
    "zyl": [var(0), var(1), op("zyl"), const(0.125), op("mul"), var(2), op("neg"), op("add")],
    "every_unary": [var(0), op("sin"), op("exp"), var(1), op("log"), op("sub"), var(2), op("sqrt"), op("add"),
                    var(0), op("inv"), op("cos"), op("sub"), var(1), op("neg"), op("abs"), op("add"),
                    var(2), op("square"), op("add")],
    "constant_only": [const(2.5, (5, 2, "1"))],
}


def formula(key, names=NAMES):
    return Formula(_Formula(FORMULAS[key], 0.0), names)


def fresh_samples(n=257, seed=11):
    rng = np.random.default_rng(seed)
    return np.column_stack([rng.uniform(0.3, 2.0, n), rng.uniform(0.4, 3.0, n), rng.uniform(0.2, 2.5, n)])


def assert_same_values(got, expected):
    got, expected = np.asarray(got, dtype=np.float64), np.asarray(expected, dtype=np.float64)
    assert got.shape == expected.shape
    assert np.array_equal(np.isnan(got), np.isnan(expected))
    ok = ~np.isnan(expected)
    scale = np.max(np.abs(expected[ok]), initial=1.0)
    np.testing.assert_allclose(got[ok], expected[ok], rtol=1e-12, atol=1e-12 * scale)


@pytest.mark.parametrize("key", FORMULAS)
def test_numpy_function_equals_predict(key):
    f, X = formula(key), fresh_samples()
    assert_same_values(f.to_function()(*X.T), f.predict(X))


@pytest.mark.parametrize("key", FORMULAS)
def test_sympy_expression_equals_predict(key):
    f, X = formula(key), fresh_samples(seed=12)
    symbols = sympy.symbols(NAMES)
    lambdified = sympy.lambdify(symbols, f.sympy(), "numpy")
    got = np.broadcast_to(lambdified(*X.T), (X.shape[0],))
    assert_same_values(got, f.predict(X))


@pytest.mark.parametrize("key", [k for k in FORMULAS if k != "every_unary"])  # the parser cannot read |x|
def test_latex_read_back_equals_predict(key):
    parse_latex = pytest.importorskip("sympy.parsing.latex").parse_latex
    pytest.importorskip("antlr4")
    f, X = formula(key), fresh_samples(seed=13)
    parsed = parse_latex(f.latex(), strict=True)
    by_name = {sympy.latex(sympy.Symbol(n)): sympy.Symbol(n) for n in NAMES}
    parsed = parsed.subs({s: by_name.get(s.name, {"pi": sympy.pi, "e": sympy.E}.get(s.name, s))
                          for s in parsed.free_symbols})
    got = np.broadcast_to(sympy.lambdify(sympy.symbols(NAMES), parsed, "numpy")(*X.T), (X.shape[0],))
    assert_same_values(got, f.predict(X))


def test_numpy_function_keeps_the_guards():
    # log, sqrt, division, reciprocal and overflow are NaN where predict gives NaN.
    X = np.array([[0.0, -1.0, -4.0], [1e-310, 0.0, 1.0], [800.0, 1.0, 1.0], [math.inf, 2.0, 1.0],
                  [-1.0, 1e300, 1e300]])
    for key in FORMULAS:
        f = formula(key)
        assert_same_values(f.to_function()(*X.T), f.predict(X))
    assert np.isnan(formula("every_unary").predict(X)[:2]).all()


def test_numpy_function_takes_scalars_and_broadcasts():
    fn = formula("coulomb").to_function()
    value = fn(1.0, 2.0, 0.5)
    assert type(value) is float and value == formula("coulomb").predict([[1.0, 2.0, 0.5]])[0]
    assert fn(np.array([1.0, 2.0]), 2.0, 0.5).shape == (2,)
    assert formula("constant_only").to_function()(np.zeros(3), 1.0, 1.0).tolist() == [2.5, 2.5, 2.5]


def test_numpy_source_uses_identifiers_made_from_the_names():
    names = ("rate (1/s)", "class", "np")
    source = Formula(_Formula(FORMULAS["zyl"], 0.0), names).to_numpy_source("law")
    assert source.startswith("import numpy as np\n\n\ndef law(rate__1_s_, v_class, v_np):\n")
    assert "def _zyl(" in source and "def _sin(" not in source
    with pytest.raises(ValueError, match="identifier"):
        formula("zyl").to_numpy_source("not a name")


def test_sympy_constants_are_exact_where_the_engine_found_them():
    x0, x1, x2 = sympy.symbols(NAMES)
    assert formula("coulomb").sympy() == x0 * x1 / (4 * sympy.pi * x2)
    assert formula("exact_constants").sympy() == sympy.Rational(3, 5) * x0**2 + sympy.sqrt(2 * sympy.pi)
    assert formula("constant_only").sympy() == sympy.Rational(5, 2)
    fitted = formula("michaelis_menten").sympy()
    assert {float(c) for c in fitted.atoms(sympy.Float)} == {212.68351, 0.0641213}


@pytest.mark.parametrize("key, latex", [
    ("coulomb", r"\frac{x_{0} x_{1}}{4 \pi x_{2}}"),
    ("exact_constants", r"\frac{3 x_{0}^{2}}{5} + \sqrt{2} \sqrt{\pi}"),
])
def test_latex_text(key, latex):
    assert formula(key).latex() == latex


def test_names_reach_every_form():
    f = Formula(_Formula(FORMULAS["michaelis_menten"], 1.5), ["conc"])
    assert "conc" in str(f) and "x0" not in str(f)
    assert f.sympy().free_symbols == {sympy.Symbol("conc")}
    assert "def f(conc):" in f.to_numpy_source()
    assert f.feature_names == ("conc",)


def test_formula_attributes_and_pickle():
    f = Formula(_Formula(FORMULAS["michaelis_menten"], 1.5), ["conc"])
    assert (f.complexity, f.rmse, f.constants) == (7, 1.5, (212.68351, 0.0641213))
    assert f.nodes == tuple(FORMULAS["michaelis_menten"])
    again = pickle.loads(pickle.dumps(f))
    assert again == f and str(again) == str(f)
    assert repr(f) == f"Formula({str(f)!r}, complexity=7, rmse=1.5)"


def test_formula_predict_checks_its_input():
    f = formula("coulomb")
    with pytest.raises(ValueError, match="expecting 3 features"):
        f.predict([[1.0, 2.0]])
    with pytest.raises(ValueError, match="1-D array of shape \\(3,\\)"):
        f.predict([1.0, 2.0, 3.0])
    assert np.isnan(f.predict([[1.0, math.nan, 1.0]])[0])
