"""What a fit shows can be trusted: selection that does not chase noise,
exact constants only where the data allow them, uncertainties, weights, and
results kept when a fit is stopped."""
import pickle
import signal
import subprocess
import sys
import textwrap
import time

import pytest

np = pytest.importorskip("numpy")
from zyl_core.discovery import FormulaRegressor  # noqa: E402

FAST = dict(max_evaluations=200_000)


def noisy(law, n, ranges, noise, seed=0, relative=False):
    rng = np.random.default_rng(seed)
    X = np.column_stack([rng.uniform(lo, hi, n) for lo, hi in ranges])
    y = law(*X.T)
    scale = np.abs(y) if relative else np.sqrt(np.mean(y**2))
    return X, y + noise * scale * rng.standard_normal(n)


def free_values(formula):
    return [formula.constants[i] for i in formula.free_constants]


def free_errors(formula):
    return [formula.standard_errors[i] for i in formula.free_constants]


def test_six_noisy_rows_select_no_more_constants_than_they_pin_down():
    for seed in range(4):
        X, y = noisy(lambda x: 20 * (1 - np.exp(-0.5 * x)), 6, [(1, 7)], 0.05, seed)
        best = FormulaRegressor(**FAST).fit(X, y).best_
        assert len(best.free_constants) <= 3, str(best)
        for value, error in zip(free_values(best), free_errors(best)):
            assert abs(value) > 2 * error, best.summary()


def test_exact_constants_are_earned():
    # m v^2 / 2 with 1% noise: 1/2 lies inside its uncertainty and is far shorter.
    X, y = noisy(lambda m, v: m * v**2 / 2, 100, [(1, 5), (1, 5)], 0.01)
    best = FormulaRegressor(**FAST).fit(X, y).best_
    exact = [i for i, node in enumerate(n for n in best.nodes if n[0] == "const") if node[2] is not None]
    assert [best.constants[i] for i in exact] == [0.5], best.summary()
    i = exact[0]
    assert abs(best.fitted_constants[i] - 0.5) < 1.5 * best.standard_errors[i] < 0.01
    assert "fitted" in best.summary()
    # 2*pi/sqrt(9.81) = 2.00607 is near 4*sqrt(2*pi)/5 = 2.00530, a form that
    # costs more than writing the fitted value to its precision.
    X, y = noisy(lambda length: 2.0060666 * np.sqrt(length), 100, [(0.2, 3)], 0.01)
    best = FormulaRegressor(**FAST).fit(X, y).best_
    assert all(node[2] is None for node in best.nodes if node[0] == "const"), str(best)
    # Turned off, nothing is written exactly.
    X, y = noisy(lambda m, v: m * v**2 / 2, 100, [(1, 5), (1, 5)], 0.0)
    plain = FormulaRegressor(exact_constants=False, **FAST).fit(X, y).best_
    assert all(node[2] is None for node in plain.nodes if node[0] == "const")
    assert plain.rmse < 1e-12


def test_standard_errors_are_those_of_least_squares():
    X, y = noisy(lambda x: 3 * x + 2, 50, [(0, 10)], 0.05, seed=3)
    best = FormulaRegressor(**FAST).fit(X, y).best_
    (slope, intercept), covariance = np.polyfit(X[:, 0], y, 1, cov=True)
    assert sorted(free_values(best)) == pytest.approx(sorted([slope, intercept]), rel=1e-9)
    assert sorted(free_errors(best)) == pytest.approx(sorted(np.sqrt(np.diag(covariance))), rel=1e-5)
    assert best.covariance.shape == (2, 2)
    assert np.allclose(best.covariance, best.covariance.T)
    assert best.r2 == pytest.approx(1 - np.sum((best.predict(X) - y) ** 2) / np.sum((y - y.mean()) ** 2))
    text = best.summary()
    for part in ("\u00b1", "rmse", "R^2", "description length", "BIC"):
        assert part in text
    again = pickle.loads(pickle.dumps(best))
    assert again.standard_errors == best.standard_errors and again.description_length == best.description_length


def test_model_selection_rules():
    X, y = noisy(lambda a, b: a * b + 0.3 * np.sin(5 * a), 80, [(1, 3), (1, 3)], 0.01)
    fits = {rule: FormulaRegressor(model_selection=rule, **FAST).fit(X, y) for rule in ("mdl", "bic", "accuracy")}
    accurate = fits["accuracy"]
    assert accurate.best_.rmse == min(f.rmse for f in accurate.front_)
    for model in fits.values():
        assert model.best_ is model.front_.best
    mdl = fits["mdl"].front_
    assert mdl.best.description_length == min(f.description_length for f in mdl)
    with pytest.raises(ValueError, match="'model_selection' must be one of 'mdl', 'bic', 'accuracy'"):
        FormulaRegressor(model_selection="aic").fit(X, y)


def test_sample_weight_counts_each_row():
    X, y = noisy(lambda x: 2 * x + 1, 40, [(0, 5)], 0.02, seed=5)
    y_bad = y.copy()
    y_bad[:10] += 50.0  # rows a weight of zero leaves out
    weights = np.ones(40)
    weights[:10] = 0.0
    weighted = FormulaRegressor(**FAST).fit(X, y_bad, sample_weight=weights)
    dropped = FormulaRegressor(**FAST).fit(X[10:], y[10:])
    assert [str(f) for f in weighted.front_] == [str(f) for f in dropped.front_]
    # Precise rows pull the fit: with the first rows 100 times as precise,
    # the line passes through them.
    weights = np.ones(40)
    weights[:10] = 1e4
    pulled = FormulaRegressor(**FAST).fit(X, y_bad, sample_weight=weights).best_
    assert np.max(np.abs(pulled.predict(X[:10]) - y_bad[:10])) < np.max(np.abs(pulled.predict(X[10:]) - y_bad[10:]))


@pytest.mark.parametrize("weights, message", [
    (np.ones(3), r"sample_weight has shape \(3,\) but y has shape \(40,\)"),
    (np.r_[np.ones(39), -1.0], r"sample_weight\[39\] is -1.0"),
    (np.r_[np.nan, np.ones(39)], r"sample_weight\[0\] is nan"),
    (np.zeros(40), "zero for every row"),
])
def test_bad_sample_weight_names_the_row(weights, message):
    X, y = noisy(lambda x: x, 40, [(0, 5)], 0.0)
    with pytest.raises(ValueError, match=message):
        FormulaRegressor(**FAST).fit(X, y, sample_weight=weights)


def test_relative_loss_for_data_over_decades():
    # brain ~ body^(3/4) over six decades with 10% relative scatter: absolute
    # errors fit the largest animals alone, relative ones the whole range.
    X, y = noisy(lambda m: 10 * m**0.75, 60, [(0, 1)], 0.1, relative=True)
    X = 10 ** (6 * X)
    y = 10 * X[:, 0] ** 0.75 * (1 + 0.1 * np.random.default_rng(1).standard_normal(60))
    auto = FormulaRegressor(**FAST).fit(X, y)
    relative = FormulaRegressor(loss="relative", **FAST).fit(X, y)
    assert str(auto.best_) == str(relative.best_)
    grid = np.logspace(0, 6, 20)[:, None]
    assert np.max(np.abs(relative.best_.predict(grid) / (10 * grid[:, 0] ** 0.75) - 1)) < 0.1
    with pytest.raises(ValueError, match="y is 0 at row 2"):
        FormulaRegressor(loss="relative", **FAST).fit(np.ones((4, 1)), [1.0, 2.0, 0.0, 3.0])
    with pytest.raises(ValueError, match="loss must be"):
        FormulaRegressor(loss="squared").fit(X, y)


INTERRUPTED_FIT = """
import signal, sys, time
import numpy as np
from zyl_core.discovery import FormulaRegressor
signal.signal(signal.SIGINT, signal.default_int_handler)
rng = np.random.default_rng(1)
x = rng.uniform(1, 4, size=(20000, 3))
y = np.sin(x[:, 0] * x[:, 1]) + np.log(x[:, 2]) * np.cos(x[:, 1]) + 0.1 * rng.standard_normal(20000)
model = FormulaRegressor(max_complexity=30, max_evaluations=10**12)
print("start", flush=True)
try:
    model.fit(x, y)
except KeyboardInterrupt:
    print("interrupted", len(model.front_), model.best_ is model.front_.best, model.predict(x[:5]).shape, flush=True)
"""


def test_ctrl_c_leaves_what_was_found_on_the_estimator():
    proc = subprocess.Popen([sys.executable, "-c", textwrap.dedent(INTERRUPTED_FIT)], stdout=subprocess.PIPE,
                            text=True)
    try:
        assert proc.stdout.readline().strip() == "start"
        time.sleep(1.5)
        proc.send_signal(signal.SIGINT)
        line = proc.stdout.readline().strip().split(maxsplit=3)
    finally:
        proc.kill()
        proc.wait()
    assert line[0] == "interrupted" and int(line[1]) > 0 and line[2] == "True" and line[3] == "(5,)"
