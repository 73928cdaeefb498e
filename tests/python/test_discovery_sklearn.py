"""FormulaRegressor inside scikit-learn: clone, cross-validation, pipelines, grid search, the estimator checks."""
import warnings

import numpy as np
import pytest

from zyl_core.discovery import FormulaRegressor

sklearn = pytest.importorskip("sklearn")
from sklearn.base import clone, is_regressor  # noqa: E402
from sklearn.model_selection import GridSearchCV, KFold, cross_val_score  # noqa: E402
from sklearn.pipeline import make_pipeline  # noqa: E402
from sklearn.preprocessing import StandardScaler  # noqa: E402
from sklearn.utils.estimator_checks import parametrize_with_checks  # noqa: E402

FAST = {"max_complexity": 7, "max_evaluations": 20_000}


def law_data(n=60, seed=7):
    rng = np.random.default_rng(seed)
    X = rng.uniform(0.5, 2.0, (n, 2))
    return X, 2.5 * X[:, 0] * X[:, 1] + 0.5


def test_clone_copies_parameters_not_fit():
    X, y = law_data()
    model = FormulaRegressor(max_complexity=6, feature_names=["a", "b"]).fit(X, y)
    copy = clone(model)
    assert copy.get_params() == model.get_params() and not hasattr(copy, "best_")
    assert is_regressor(model)


def test_cross_val_score_on_an_exact_law():
    X, y = law_data()
    scores = cross_val_score(FormulaRegressor(**FAST), X, y, cv=KFold(3))
    assert scores.shape == (3,) and (scores > 0.999999).all()


def test_pipeline_with_a_scaler():
    X, y = law_data()
    pipe = make_pipeline(StandardScaler(), FormulaRegressor(**FAST)).fit(X, y)
    assert pipe.score(X, y) > 0.95  # scaled inputs turn the product into one with four constants
    assert pipe[-1].n_features_in_ == 2


def test_grid_search_over_a_parameter():
    X, y = law_data()
    search = GridSearchCV(FormulaRegressor(max_evaluations=20_000), {"max_complexity": [1, 7]}, cv=KFold(3))
    search.fit(X, y)
    assert search.best_params_ == {"max_complexity": 7}
    assert search.best_estimator_.score(X, y) > 0.999999


# Checks that do not apply to a formula search, and why (kept short for the report).
EXPECTED_FAILED = {
    "check_sample_weight_equivalence_on_dense_data": (
        "weights say how precise each row is, not how often it was seen: the noise level and the "
        "description length count rows, so a row of weight 2 is not two rows"
    ),
}


# The estimator deliberately has no scikit-learn base class (zyl_core does not
# need scikit-learn), which the checks only warn about.
with warnings.catch_warnings():
    warnings.filterwarnings("ignore", "Estimator FormulaRegressor does not inherit", UserWarning)
    every_check = parametrize_with_checks([FormulaRegressor(**FAST)], expected_failed_checks=lambda e: EXPECTED_FAILED)


@every_check
def test_sklearn_estimator_checks(estimator, check):
    check(estimator)
