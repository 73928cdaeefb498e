"""Fits on more rows than the search ranks on: the front found on an even
spread of rows is refitted, judged and chosen again on every row."""
import numpy as np

from zyl_core.discovery import FormulaRegressor

FAST = {"max_complexity": 7, "max_evaluations": 20_000}


def many_rows(n=20_000, seed=7):
    rng = np.random.default_rng(seed)
    X = rng.uniform(1.0, 4.0, (n, 3))
    y = X[:, 0] ** 2 / X[:, 1] + 0.5
    return X, y + 0.01 * np.std(y) * rng.standard_normal(n)


def test_the_selected_formula_is_the_law_measured_on_every_row():
    X, y = many_rows()
    best = FormulaRegressor(**FAST).fit(X, y).best_
    fresh = np.random.default_rng(8).uniform(1.0, 4.0, (500, 3))
    np.testing.assert_allclose(best.predict(fresh), fresh[:, 0] ** 2 / fresh[:, 1] + 0.5, rtol=1e-3)
    assert np.isclose(best.rmse, np.sqrt(np.mean((best.predict(X) - y) ** 2)), rtol=1e-12, atol=0)
    assert np.isfinite(best.standard_errors).all()


def test_same_result_for_any_number_of_threads_on_many_rows(python_in_subprocess):
    code = """
        import numpy as np
        from zyl_core.discovery import FormulaRegressor
        rng = np.random.default_rng(2)
        X = rng.uniform(0.5, 3.0, (12_000, 2))
        y = 2.5 * np.exp(-0.7 * X[:, 0]) * X[:, 1] + 0.05 * rng.standard_normal(12_000)
        model = FormulaRegressor(max_complexity=7, max_evaluations=20_000).fit(X, y)
        print(model.front_)
        print([f.rmse.hex() for f in model.front_], list(model.best_.standard_errors))
    """
    outputs = {python_in_subprocess(code, RAYON_NUM_THREADS=str(n)) for n in (1, 2, 7)}
    assert len(outputs) == 1


def test_an_exact_constant_the_rows_no_longer_allow_is_fitted():
    # 2.001 is 2 within the uncertainty of a few thousand rows at this
    # noise, but not of 400,000.
    rng = np.random.default_rng(3)
    X = rng.uniform(1.0, 3.0, (400_000, 1))
    y = 2.001 * X[:, 0] ** 2 + 0.02 * rng.standard_normal(400_000)
    best = FormulaRegressor(max_complexity=4, max_evaluations=5_000).fit(X, y).best_
    assert len(best.free_constants) >= 1
    assert abs(best.predict(np.array([[2.0]]))[0] - 8.004) < 1e-3
