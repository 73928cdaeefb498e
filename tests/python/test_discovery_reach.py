"""The estimator reaches constants inside functions (rates, frequencies and
phases, midpoints, centres and widths, real exponents), weighted sums of
terms, amplitudes times waves and ratios of short sums; what it finds exports and repeats like any
other formula."""
import numpy as np
import pytest

from zyl_core.discovery import FormulaRegressor

LAWS = {
    "damped wave": ([(0, 8)], lambda t: 2 * np.exp(-0.3 * t) * np.cos(3.1 * t)),
    "logistic step": ([(0, 8)], lambda t: 5 / (1 + np.exp(-1.3 * (t - 4)))),
    "gaussian peak": ([(-1, 4)], lambda x: 2 * np.exp(-((x - 1.5) ** 2) / 0.8)),
    "wave with phase": ([(0, 6)], lambda t: 1.5 * np.cos(2.2 * t + 0.6)),
    "amplitude times wave": ([(1, 5), (0, 6)], lambda a, t: a * np.sin(1.7 * t + 0.4)),
    "real exponent": ([(0.5, 6)], lambda x: 1.8 * x**0.65),
    "weighted sum": ([(1, 5), (1, 5)], lambda a, b: 0.3 * a + 0.7 * b),
    "two kinds of energy": ([(1, 5), (0, 4), (0, 3)], lambda m, v, h: 0.5 * m * v**2 + 9.81 * m * h),
    "two powers": ([(0.5, 3)], lambda r: 1 / r**2 - 0.5 / r),
    "ratio of quadratics": ([(-2, 3)], lambda x: (3 - x**2) / (x**2 + x + 2)),
}


def sample(ranges, law, n, seed):
    rng = np.random.default_rng(seed)
    X = np.column_stack([rng.uniform(lo, hi, n) for lo, hi in ranges])
    return X, law(*X.T)


@pytest.mark.parametrize("name", LAWS)
def test_noise_free_laws_are_found_and_export_alike(name):
    ranges, law = LAWS[name]
    X, y = sample(ranges, law, 100, 1)
    best = FormulaRegressor(verbose=False).fit(X, y).best_
    fresh, truth = sample(ranges, law, 200, 2)
    scale = np.sqrt(np.mean(truth**2))
    assert np.max(np.abs(best.predict(fresh) - truth)) <= 1e-6 * scale, str(best)
    # Written with ordinary terms: the numpy export agrees with predict.
    assert np.allclose(best.to_function()(*fresh.T), best.predict(fresh), rtol=1e-12, atol=1e-12 * scale)


def test_noisy_wave_keeps_its_frequency_with_an_uncertainty():
    X, y = sample([(0, 8)], lambda t: 2 * np.exp(-0.3 * t) * np.cos(3.1 * t), 100, 3)
    y = y + 0.01 * np.sqrt(np.mean(y**2)) * np.random.default_rng(4).standard_normal(100)
    best = FormulaRegressor(verbose=False).fit(X, y).best_
    fresh, truth = sample([(0, 8)], lambda t: 2 * np.exp(-0.3 * t) * np.cos(3.1 * t), 200, 5)
    assert np.sqrt(np.mean((best.predict(fresh) - truth) ** 2)) <= 0.005 * np.sqrt(np.mean(truth**2)), str(best)
    assert np.isfinite(best.standard_errors).all()


def test_many_rows_are_ranked_on_a_spread_and_refitted_on_all():
    X, y = sample([(0, 6)], lambda t: 1.5 * np.cos(2.2 * t + 0.6), 6_000, 6)
    best = FormulaRegressor(verbose=False).fit(X, y).best_
    fresh, truth = sample([(0, 6)], lambda t: 1.5 * np.cos(2.2 * t + 0.6), 200, 7)
    assert np.max(np.abs(best.predict(fresh) - truth)) <= 1e-6 * 1.5, str(best)


def test_same_result_for_any_number_of_threads(python_in_subprocess):
    code = """
        import numpy as np
        from zyl_core.discovery import FormulaRegressor
        rng = np.random.default_rng(8)
        X = rng.uniform(0, 6, (80, 2))
        y = X[:, 0] * np.sin(1.7 * X[:, 1] + 0.4) + 0.05 * rng.standard_normal(80)
        model = FormulaRegressor(verbose=False).fit(X, y)
        print(model.front_)
        print(repr(model.best_.rmse), model.predict(X).tobytes().hex())
    """
    outputs = {python_in_subprocess(code, RAYON_NUM_THREADS=str(n)) for n in (1, 2, 7)}
    assert len(outputs) == 1


def test_ratio_of_sums_is_the_same_for_any_number_of_threads(python_in_subprocess):
    code = """
        import numpy as np
        from zyl_core.discovery import FormulaRegressor
        rng = np.random.default_rng(9)
        X = rng.uniform(0.1, 0.9, (80, 2))
        y = (X[:, 0] + X[:, 1]) / (1 + X[:, 0] * X[:, 1] / 2) + 0.01 * rng.standard_normal(80)
        model = FormulaRegressor(verbose=False).fit(X, y)
        print(model.front_)
        print(repr(model.best_.rmse), model.predict(X).tobytes().hex())
    """
    outputs = {python_in_subprocess(code, RAYON_NUM_THREADS=str(n)) for n in (1, 2)}
    assert len(outputs) == 1
