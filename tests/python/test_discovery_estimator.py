"""FormulaRegressor: the estimator contract, names, data validation, front, pickling."""
import math
import pickle
import time
import warnings

import numpy as np
import pytest

from zyl_core.discovery import Formula, FormulaRegressor, Front

# Small budgets keep the suite quick; the laws below are found well within them.
FAST = {"max_complexity": 7, "max_evaluations": 20_000}


def line_data(n=40, seed=3):
    rng = np.random.default_rng(seed)
    X = rng.uniform(1.0, 2.0, (n, 2))
    return X, 3.0 * X[:, 1] + 1.0


def test_import_needs_no_numpy(python_in_subprocess):
    out = python_in_subprocess("""
        import sys
        import zyl_core.discovery as d
        print(sorted(m for m in ("numpy", "sympy", "pandas", "sklearn") if m in sys.modules), d.__all__)
    """)
    assert out.strip() == "[] ['FormulaRegressor', 'Formula', 'Front']"


def test_constructor_stores_parameters_only():
    model = FormulaRegressor(max_complexity=5, callback=print)
    assert model.get_params()["max_complexity"] == 5 and model.get_params()["callback"] is print
    assert not [k for k in vars(model) if k.endswith("_")]
    assert model.set_params(max_complexity=9) is model and model.max_complexity == 9
    with pytest.raises(ValueError, match="Invalid parameter 'beam' for estimator FormulaRegressor"):
        model.set_params(beam=3)
    assert repr(model) == "FormulaRegressor(callback=<built-in function print>, max_complexity=9)"


def test_fit_sets_the_fitted_attributes():
    X, y = line_data()
    model = FormulaRegressor(**FAST)
    assert model.fit(X, y) is model
    assert isinstance(model.best_, Formula) and isinstance(model.front_, Front)
    assert model.best_ is model.front_[model.front_.selected]
    assert model.n_features_in_ == 2 and not hasattr(model, "feature_names_in_")
    complexities = [f.complexity for f in model.front_]
    errors = [f.rmse for f in model.front_]
    assert complexities == sorted(set(complexities))
    assert all(a > b for a, b in zip(errors, errors[1:]))
    np.testing.assert_allclose(model.predict(X), y, rtol=1e-12)
    assert model.score(X, y) == pytest.approx(1.0, abs=1e-12)


def test_rows_of_a_list_work_like_an_array():
    X, y = line_data()
    a = FormulaRegressor(**FAST).fit(X, y)
    b = FormulaRegressor(**FAST).fit(X.tolist(), y.tolist())
    assert str(a.best_) == str(b.best_) and a.best_.rmse == b.best_.rmse


def test_names_come_from_the_parameter_the_frame_or_defaults():
    X, y = line_data()
    assert "x1" in str(FormulaRegressor(**FAST).fit(X, y).best_)
    named = FormulaRegressor(feature_names=["mass", "speed"], **FAST).fit(X, y)
    assert "speed" in str(named.best_) and named.best_.feature_names == ("mass", "speed")
    pandas = pytest.importorskip("pandas")
    frame = pandas.DataFrame(X, columns=["conc", "temp"])
    model = FormulaRegressor(**FAST).fit(frame, y)
    assert "temp" in str(model.best_) and list(model.feature_names_in_) == ["conc", "temp"]
    assert "temp" in str(model.front_) and "temp" in model.best_.to_numpy_source()
    np.testing.assert_array_equal(model.predict(frame), named.predict(X))


@pytest.mark.parametrize("names, error, message", [
    (["a"], ValueError, "feature_names has 1 names but X has 2 columns"),
    (["a", "a"], ValueError, "must be distinct"),
    ("ab", TypeError, "not a single string"),
    (["a", 3], TypeError, r"must all be strings; these are not: feature_names\[1\] = 3 \(int\)"),
])
def test_bad_feature_names(names, error, message):
    X, y = line_data()
    with pytest.raises(error, match=message):
        FormulaRegressor(feature_names=names, **FAST).fit(X, y)


def with_value(array, index, value):
    array = np.array(array, dtype=float)
    array[index] = value
    return array


X0, Y0 = line_data(n=6)


@pytest.mark.parametrize("X, y, message", [
    (with_value(X0, (3, 1), math.nan), Y0, r"^X contains NaN at row 3, column 1 \('x1'\); .*drop_nonfinite=True$"),
    (with_value(X0, (0, 0), -math.inf), Y0, r"^X contains infinity at row 0, column 0 \('x0'\)"),
    (X0, with_value(Y0, 5, math.inf), r"^y contains infinity at row 5; "),
    (X0, Y0[:5], r"X has shape \(6, 2\), y has shape \(5,\)"),
    (X0[:, 0], Y0, r"got a 1-D array of shape \(6,\)\. Reshape your data"),
    (X0[:0], Y0[:0], r"Found array with 0 sample\(s\)"),
    (X0, np.c_[Y0, Y0], r"got shape \(6, 2\)"),
    (X0, None, "requires y to be passed"),
    (X0.astype(complex), Y0, "Complex data not supported"),
    (X0.astype(str), Y0, "dtype='numeric' is not compatible with arrays of bytes/strings"),
    (X0.astype(bytes), Y0, "dtype='numeric' is not compatible with arrays of bytes/strings"),
])
def test_bad_training_data(X, y, message):
    with pytest.raises(ValueError, match=message):
        FormulaRegressor(**FAST).fit(X, y)


def test_dropping_nonfinite_rows_says_how_many():
    X, y = line_data()
    dirty_X, dirty_y = with_value(X, (4, 0), math.nan), with_value(y, 9, -math.inf)
    with pytest.warns(UserWarning, match=r"dropped 2 of 40 rows holding NaN or infinity \(rows 4, 9\)"):
        dropped = FormulaRegressor(drop_nonfinite=True, **FAST).fit(dirty_X, dirty_y)
    keep = np.ones(40, bool)
    keep[[4, 9]] = False
    clean = FormulaRegressor(**FAST).fit(X[keep], y[keep])
    assert str(dropped.best_) == str(clean.best_) and dropped.best_.rmse == clean.best_.rmse
    assert np.isnan(dropped.predict(dirty_X)[4])


def test_time_limit_takes_seconds_and_keeps_to_them():
    X, y = line_data()
    with pytest.raises(TypeError, match="'time_limit' must be a float or None, not 'bool'"):
        FormulaRegressor(time_limit=True).fit(X, y)
    # Enough samples that one level of the search takes a good part of the
    # limit: finishing the kept structures must fit in what is left.
    rng = np.random.default_rng(0)
    X = rng.uniform(1, 4, (100_000, 3))
    y = np.sin(X[:, 0] * X[:, 1]) + np.log(X[:, 2]) * np.cos(X[:, 1]) + 0.1 * rng.standard_normal(100_000)
    model = FormulaRegressor(time_limit=1.0, max_complexity=30, max_evaluations=10**12)
    start = time.monotonic()
    model.fit(X, y)
    assert time.monotonic() - start <= 1.0 * 1.1 + 0.1
    assert model.best_.rmse < np.std(y)


def test_score_weights_one_per_sample():
    X, y = line_data()
    model = FormulaRegressor(**FAST).fit(X, y)
    assert model.score(X, y, sample_weight=np.full(40, 2.0)) == model.score(X, y)
    for weights, message in [(np.ones((40, 1)), r"must be 1-D .* got shape \(40, 1\)"),
                             (2.0, r"must be 1-D .* got shape \(\)"),
                             (np.ones(39), r"sample_weight has shape \(39,\) but y has shape \(40,\)")]:
        with pytest.raises(ValueError, match=message):
            model.score(X, y, sample_weight=weights)


def test_predict_checks_its_input():
    X, y = line_data()
    model = FormulaRegressor(**FAST)
    with pytest.raises(ValueError, match="is not fitted yet"):
        model.predict(X)
    model.fit(X, y)
    with pytest.raises(ValueError, match="X has 3 features, but FormulaRegressor is expecting 2 features"):
        model.predict(np.ones((2, 3)))
    with pytest.raises(ValueError, match=r"X contains NaN at row 1, column 0"):
        model.predict([[1.0, 1.0], [math.nan, 1.0]])


def test_a_column_vector_y_is_flattened_with_a_warning():
    X, y = line_data()
    with pytest.warns(Warning, match="column-vector y"):
        model = FormulaRegressor(**FAST).fit(X, y[:, None])
    assert model.n_features_in_ == 2


def test_pickled_fitted_estimator_predicts_the_same():
    X, y = line_data()
    model = FormulaRegressor(**FAST).fit(X, y)
    again = pickle.loads(pickle.dumps(model))
    assert str(again.best_) == str(model.best_) and again.front_ == model.front_
    assert again.front_.selected == model.front_.selected
    np.testing.assert_array_equal(again.predict(X), model.predict(X))


def test_front_table_and_frame():
    X, y = line_data()
    front = FormulaRegressor(**FAST).fit(X, y).front_
    lines = str(front).splitlines()
    assert lines[0].split() == ["complexity", "rmse", "mdl", "bic", "formula"] and len(lines) == len(front) + 1
    assert [line.startswith("*") for line in lines[1:]] == [i == front.selected for i in range(len(front))]
    pandas = pytest.importorskip("pandas")
    frame = front.to_pandas()
    assert list(frame.columns) == ["complexity", "rmse", "description_length", "bic", "formula", "selected"]
    assert frame["formula"].tolist() == [str(f) for f in front] and frame["selected"].sum() == 1


def noisy_data():
    # A law outside the search's reach, so the search runs level after level.
    rng = np.random.default_rng(3)
    X = rng.uniform(1.0, 2.0, (40, 2))
    return X, np.sin(X[:, 0]) * X[:, 1] ** 1.3 + 0.01 * rng.standard_normal(40)


def test_progress_on_stderr_and_to_the_callback(capsys):
    X, y = noisy_data()
    seen = []
    FormulaRegressor(verbose=True, callback=seen.append, **FAST).fit(X, y)
    err = capsys.readouterr().err.splitlines()
    assert seen and len(err) == len(seen)
    for figures, line in zip(seen, err):
        assert set(figures) == {"level", "candidates", "best_rmse", "elapsed"}
        assert line.split()[:4] == ["level", str(figures["level"]), "candidates", f"{figures['candidates']:,}"]
        assert f"best rmse {figures['best_rmse']:.4g}" in line
    assert [f["level"] for f in seen] == sorted(f["level"] for f in seen)
    FormulaRegressor(verbose=False, **FAST).fit(X, y)
    assert capsys.readouterr().err == ""


def test_an_exception_in_the_callback_stops_the_fit_and_keeps_what_was_found():
    X, y = noisy_data()

    def stop(figures):
        raise KeyboardInterrupt("enough")

    model = FormulaRegressor(callback=stop, **FAST)
    with pytest.raises(KeyboardInterrupt, match="enough"):
        model.fit(X, y)
    assert model.best_ is model.front_.best and len(model.front_) > 1
    assert model.predict(X).shape == (40,)


def test_a_callback_returning_true_ends_the_fit_early_and_normally():
    X, y = noisy_data()
    levels = []

    def enough(figures):
        levels.append(figures["level"])
        return figures["level"] >= 3

    model = FormulaRegressor(callback=enough, **FAST).fit(X, y)
    assert levels == [2, 3]
    whole = FormulaRegressor(**FAST).fit(X, y)
    assert model.best_.rmse >= whole.best_.rmse
    assert np.isfinite(model.best_.standard_errors).all()


def test_same_result_for_any_number_of_threads(python_in_subprocess):
    code = """
        import numpy as np
        from zyl_core.discovery import FormulaRegressor
        rng = np.random.default_rng(5)
        X = rng.uniform(0.5, 2.0, (60, 2))
        y = X[:, 0] * X[:, 1] / (0.3 + X[:, 1]) + 0.01 * rng.standard_normal(60)
        model = FormulaRegressor(max_complexity=7, max_evaluations=20000).fit(X, y)
        print(model.front_)
        print(repr(model.best_.rmse), model.predict(X).tobytes().hex())
    """
    outputs = {python_in_subprocess(code, RAYON_NUM_THREADS=str(n)) for n in (1, 2, 7)}
    assert len(outputs) == 1
