"""X is read where it lies, in any memory order: a fit neither copies nor
transposes it, and its NaN checks take scratch memory of one block of rows."""
import tracemalloc

import numpy as np
import pytest

from zyl_core.discovery import FormulaRegressor

FAST = {"max_complexity": 6, "max_evaluations": 10_000}


def law_data(n, seed=4):
    rng = np.random.default_rng(seed)
    X = rng.uniform(1.0, 4.0, (n, 3))
    y = X[:, 0] * X[:, 2] + 0.5 * X[:, 1]
    return X, y + 0.01 * np.std(y) * rng.standard_normal(n)


def layouts(X):
    """The same values in C order, Fortran order, as every other column of
    a wider array, and as fields of packed records (steps that are not whole
    doubles)."""
    wide = np.zeros((X.shape[0], 2 * X.shape[1]))
    wide[:, ::2] = X
    packed = np.zeros(X.shape[0], dtype=[("flag", "u1")] + [(f"x{j}", "<f8") for j in range(X.shape[1])])
    for j in range(X.shape[1]):
        packed[f"x{j}"] = X[:, j]
    records = np.lib.stride_tricks.as_strided(packed["x0"], shape=X.shape, strides=(packed.strides[0], 8))
    return {
        "C": np.ascontiguousarray(X),
        "F": np.asfortranarray(X),
        "every other column": wide[:, ::2],
        "packed records": records,
    }


def summary(model):
    return [(str(f), f.rmse.hex(), [c.hex() for c in f.constants]) for f in model.front_]


@pytest.mark.parametrize("n", [300, 6_000])
def test_every_memory_order_gives_the_same_front(n):
    X, y = law_data(n)
    given = layouts(X)
    assert given["packed records"].strides[0] % 8 != 0
    fronts = {name: summary(FormulaRegressor(**FAST).fit(array, y)) for name, array in given.items()}
    assert all(front == fronts["C"] for front in fronts.values()), fronts


def test_a_fit_makes_no_copy_of_x():
    X, y = law_data(500_000)
    tracemalloc.start()
    try:
        FormulaRegressor(max_complexity=4, max_evaluations=2_000).fit(X, y)
        _, peak = tracemalloc.get_traced_memory()
    finally:
        tracemalloc.stop()
    # At most a column's worth (R^2 over the targets) and scratch of one
    # block of rows: not another X, which would be 12 MB.
    assert peak < X.nbytes / 2, (peak, X.nbytes)


def test_nonfinite_values_past_the_first_block_are_found_by_row_and_column():
    X, y = law_data(70_001)
    X[70_000, 2] = np.nan
    with pytest.raises(ValueError, match=r"X contains NaN at row 70000, column 2"):
        FormulaRegressor(**FAST).fit(X, y)
    X[70_000, 2] = 1.0
    X[66_000, 1] = np.inf
    with pytest.warns(UserWarning, match=r"dropped 1 of 70001 rows .*\(rows 66000\)"):
        model = FormulaRegressor(drop_nonfinite=True, **FAST).fit(X, y)
    predicted = model.predict(X[65_999:66_001])
    assert np.isfinite(predicted[0]) and np.isnan(predicted[1])


def test_a_memory_mapped_file_is_fitted_in_place(tmp_path):
    X, y = law_data(6_000)
    np.save(tmp_path / "X.npy", X)
    mapped = np.load(tmp_path / "X.npy", mmap_mode="r")
    assert summary(FormulaRegressor(**FAST).fit(mapped, y)) == summary(FormulaRegressor(**FAST).fit(X, y))
