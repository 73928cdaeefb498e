"""Formula discovery with fitted constants, as a scikit-learn style estimator.

FormulaRegressor searches formulas over the columns of X, fits their constants,
and keeps the Pareto front of complexity against error. Results are identical
on every run and for any number of threads. numpy is needed to fit; sympy,
pandas and scikit-learn are used only by the features that name them.
"""

__all__ = ["FormulaRegressor", "Formula", "Front"]

from zyl_core._discovery import _fit

from .data import (
    _as_samples, _as_targets, _as_weights, _check_finite, _feature_names, _finite_row_mask, _finite_rows, _frame_names,
    _numpy,
    _sample_weights,
)
from .formula import Formula
from .front import Front, _is_terminal, _Progress

# Parameters handed to the engine as they are; None leaves the engine's default.
_ENGINE_OPTIONS = (
    "max_complexity", "max_evaluations", "time_limit", "use_trig", "max_constants", "model_selection",
    "exact_constants",
)


class FormulaRegressor:
    """Finds a formula y = f(X) with fitted constants, scikit-learn style.

    Parameters (keyword-only; None means the engine's default, given as [default]):
      max_complexity: largest formula size, in nodes (variables, constants, operations);
        sizes past 10 are searched only while each still lowers the best error
        clearly. [12]
      max_evaluations: work budget of the search, in formula evaluations; the
        search and its result are the same on every machine. [4_000_000]
      time_limit: seconds after which the search stops with what it has; the
        result then depends on the machine's speed. None: no limit.
      use_trig: allow sin and cos. [True]
      max_constants: most fitted constants inside one formula (besides the
        overall scale and offset every candidate gets). [2]
      model_selection: how best_ is chosen from the front. "mdl" (default):
        the least description length, the bits it takes to state the formula
        (its operations, its fitted constants to the precision the data give
        them, its exact constants) plus the data's misfit to it at the noise
        level the data show; a formula gains a term only when the term pays
        for itself. "bic": the Bayesian information criterion with every node
        counted as a parameter. "accuracy": the smallest error.
      exact_constants: if True (default), a fitted constant is written as a
        simple exact number (1/2, 3/2, 4*pi, sqrt(2*pi), ...) when that number
        lies inside the constant's uncertainty and is the shorter description
        (see Formula.summary); False keeps every fitted value.
      dimensional_constants: with units given to fit: if False (default),
        every fitted constant is a pure number, so a formula must have y's
        dimension by itself and an offset needs a dimensionless y; if True,
        the one overall scale of a formula may carry the dimension it lacks
        (a*x for a speed from a length, a in 1/s) and a lone constant added to
        something takes its dimension (K in Vmax*S/(K + S), and the offset).
        Such constants are never written as exact numbers, whose value would
        depend on the units chosen. Without units it has no effect.
      loss: "absolute" fits the squared errors f(X) - y; "relative" fits
        (f(X) - y) / y (y must be nonzero). "auto" (default) takes "relative"
        when the targets have one sign and span a factor of 10,000 or more
        (measurements over decades, whose errors grow with their size), else
        "absolute".
      feature_names: variable names for the columns of X; by default the
        column names of a pandas DataFrame, else x0, x1, ...
      drop_nonfinite: if False (default) NaN or infinity in X or y raises
        ValueError naming the row and column; if True those rows are left out
        of the fit with a warning saying how many, and predict gives NaN for them.
      verbose: True shows progress on stderr after each level of the search,
        False never; None (default) shows it when stderr is a terminal.
      callback: called after each level with a dict of the same figures:
        level, candidates, best_rmse, elapsed (seconds). Returning True ends
        the search early and fit finishes normally with what was found.
        Raising from it ends the search, keeps what was found on the
        estimator, and the exception propagates.

    After fit: best_ (the selected Formula), front_ (a Front: the best formula
    of each complexity, increasing complexity, with its error and scores),
    n_features_in_, and feature_names_in_ when X was a DataFrame with string
    column names. time_limit, max_evaluations and a callback returning True
    end a fit normally. Ctrl-C raises KeyboardInterrupt but leaves front_ and
    best_ set to what was found so far (fitted constants, without exact forms
    or uncertainties, chosen by BIC).
    """

    _estimator_type = "regressor"

    def __init__(
        self,
        *,
        max_complexity=None,
        max_evaluations=None,
        time_limit=None,
        use_trig=None,
        max_constants=None,
        model_selection="mdl",
        exact_constants=True,
        dimensional_constants=False,
        loss="auto",
        feature_names=None,
        drop_nonfinite=False,
        verbose=None,
        callback=None,
    ):
        self.max_complexity = max_complexity
        self.max_evaluations = max_evaluations
        self.time_limit = time_limit
        self.use_trig = use_trig
        self.max_constants = max_constants
        self.model_selection = model_selection
        self.exact_constants = exact_constants
        self.dimensional_constants = dimensional_constants
        self.loss = loss
        self.feature_names = feature_names
        self.drop_nonfinite = drop_nonfinite
        self.verbose = verbose
        self.callback = callback

    @classmethod
    def _param_names(cls):
        import inspect

        return sorted(p.name for p in inspect.signature(cls.__init__).parameters.values() if p.kind == p.KEYWORD_ONLY)

    def get_params(self, deep=True):
        """The constructor parameters and their values."""
        return {name: getattr(self, name) for name in self._param_names()}

    def set_params(self, **params):
        """Sets constructor parameters; returns self."""
        valid = self._param_names()
        for name, value in params.items():
            if name not in valid:
                raise ValueError(
                    f"Invalid parameter {name!r} for estimator {type(self).__name__}(). "
                    f"Valid parameters are: {valid!r}."
                )
            setattr(self, name, value)
        return self

    def __repr__(self):
        defaults = type(self)().get_params()
        changed = ", ".join(f"{k}={v!r}" for k, v in self.get_params().items() if _changed(v, defaults[k]))
        return f"{type(self).__name__}({changed})"

    def _repr_html_(self):
        from .display import _estimator_html

        return _estimator_html(self)

    def __sklearn_tags__(self):
        from sklearn.utils import InputTags, RegressorTags, Tags, TargetTags

        return Tags(
            estimator_type="regressor",
            target_tags=TargetTags(required=True, single_output=True, multi_output=False),
            regressor_tags=RegressorTags(),
            input_tags=InputTags(two_d_array=True, allow_nan=False, sparse=False),
            requires_fit=True,
        )

    def _more_tags(self):
        return {"requires_y": True, "allow_nan": False, "multioutput": False}

    def __sklearn_is_fitted__(self):
        return hasattr(self, "best_")

    def fit(self, X, y, sample_weight=None, X_units=None, y_units=None):
        """Searches formulas for y over the columns of X; returns self.

        X: shape (n_samples, n_features): an array, a list of rows, or a pandas
        DataFrame (whose column names become the variable names). A float64
        array is read where it lies, in any memory order, a memory-mapped
        file's included: the fit makes no copy of it.
        y: shape (n_samples,).
        sample_weight: shape (n_samples,), or None for all 1: each row's weight
        in the search, the constant fits, the uncertainties and the selection
        (for example 1/sigma**2 for known measurement errors sigma). Rows of
        weight 0 are left out.
        X_units, y_units: the units of each column of X and of y, given
        together, as strings of SI base and derived units (m, s, kg, A, K,
        mol, cd, N, J, W, C, V, Hz, Pa, T, Ohm, F, H, Wb, eV) joined by * and
        /, with powers written ^ or ** (integers, decimals or fractions in
        parentheses: "kg*m^2/s^2", "m**0.5", "m^(1/2)"); "" or "1" for a
        dimensionless quantity. Only dimensionally consistent formulas are
        then searched: the arguments of exp, log, sin and cos dimensionless,
        both sides of a sum alike, and the whole in y's unit (see
        dimensional_constants). Each formula's `units` is y_units and its
        summary shows each constant's unit. ValueError names a unit string
        that does not parse and its column.
        """
        np = _numpy()
        frame_names = _frame_names(X)
        samples = _as_samples(X, type(self).__name__)
        targets = _as_targets(y, samples)
        names = _feature_names(self.feature_names, frame_names, samples.shape[1])
        options = {k: getattr(self, k) for k in _ENGINE_OPTIONS if getattr(self, k) is not None}
        # The unit reader (re, fractions) is loaded by the first fit, not by
        # `import zyl_core`.
        from .units import dimensions_option

        dimensions = dimensions_option(X_units, y_units, samples.shape[1])
        if dimensions is not None:
            options["dimensions"] = dimensions
            options["dimensional_constants"] = self.dimensional_constants
        weights = _sample_weights(sample_weight, targets, self.loss)
        samples, targets, kept = _finite_rows(samples, targets, names, self.drop_nonfinite)
        if weights is not None:
            weights = weights if kept is None else weights[kept]
            if not (weights > 0).all():
                positive = weights > 0
                samples, targets, weights = samples[positive], targets[positive], weights[positive]
            weights = weights / weights.mean()
        import sys

        show = self.verbose if self.verbose is not None else _is_terminal(sys.stderr)
        progress = _Progress(bool(show), self.callback, sys.stderr)
        try:
            natives, selected, error = _fit(
                samples.T,  # read where it lies, in any memory order
                np.ascontiguousarray(targets, dtype=np.float64),
                None if weights is None else np.ascontiguousarray(weights, dtype=np.float64),
                options,
                progress if progress.wanted else None,
            )
        finally:
            progress.close()
        if natives:
            r2 = _r2_of(targets)
            if dimensions is not None:
                natives = [(native, _with_units(stats, y_units)) for native, stats in natives]
            self.front_ = Front([Formula(native, names, r2(native, stats)) for native, stats in natives], selected)
            self.best_ = self.front_.best
            self.n_features_in_ = samples.shape[1]
            if frame_names is not None:
                self.feature_names_in_ = np.asarray(frame_names, dtype=object)
            elif hasattr(self, "feature_names_in_"):
                del self.feature_names_in_
        if error is not None:
            raise error
        if not natives:
            raise ValueError("no formula could be evaluated on this data")
        if dimensions is not None and not any(n[0] == "var" for f in self.front_ for n in f.nodes):
            _warn_no_consistent_formula(y_units, self.dimensional_constants)
        return self

    def predict(self, X):
        """The selected formula's values for each row of X (n_samples, n_features)."""
        self._check_fitted()
        self._check_feature_names(X)
        samples = _as_samples(X, type(self).__name__, self.n_features_in_)
        if not self.drop_nonfinite:
            _check_finite(samples, self.best_.feature_names)
            return self.best_._evaluate(samples)
        values = self.best_._evaluate(samples)
        values[~_finite_row_mask(samples)] = float("nan")
        return values

    def score(self, X, y, sample_weight=None):
        """Coefficient of determination R^2 of predict(X) against y."""
        np = _numpy()
        predicted = self.predict(X)
        samples = _as_samples(X, type(self).__name__, self.n_features_in_)
        targets = _as_targets(y, samples)
        weights = np.ones_like(targets) if sample_weight is None else _as_weights(sample_weight, targets)
        mean = np.average(targets, weights=weights)
        residual = float(np.sum(weights * (targets - predicted) ** 2))
        total = float(np.sum(weights * (targets - mean) ** 2))
        if total == 0.0:
            return 1.0 if residual == 0.0 else 0.0
        return 1.0 - residual / total

    def _check_fitted(self):
        if not self.__sklearn_is_fitted__():
            raise _not_fitted_error(
                f"This {type(self).__name__} instance is not fitted yet. Call 'fit' with appropriate "
                "arguments before using this estimator."
            )

    def _check_feature_names(self, X):
        import warnings

        fitted = getattr(self, "feature_names_in_", None)
        given = _frame_names(X)
        name = type(self).__name__
        if fitted is None and given is not None:
            warnings.warn(f"X has feature names, but {name} was fitted without feature names", UserWarning,
                          stacklevel=3)
        elif fitted is not None and given is None:
            warnings.warn(f"X does not have valid feature names, but {name} was fitted with feature names",
                          UserWarning, stacklevel=3)
        elif fitted is not None and list(fitted) != list(given):
            raise ValueError(
                "The feature names should match those that were passed during fit.\n"
                f"Fitted with: {list(fitted)!r}\nGiven: {list(given)!r}"
            )


def _changed(value, default):
    """Whether a parameter differs from its default; an array of names differs
    from None (comparing it would give an array, which has no truth value)."""
    if value is default:
        return False
    try:
        return bool(value != default)
    except (TypeError, ValueError):
        return True


def _with_units(stats, y_units):
    """A formula's statistics with y's unit and its constants' units."""
    from .units import constant_units

    stats = dict(stats)
    stats["units"] = y_units.strip() or "1"
    stats["constant_units"] = constant_units(stats.pop("constant_dimensions") or ())
    return stats


def _warn_no_consistent_formula(y_units, dimensional_constants):
    import warnings

    hint = (
        "the columns may lack a quantity the law needs (a physical constant, given as a column with its unit)"
        if dimensional_constants
        else "dimensional_constants=True lets a fitted scale or offset carry the missing dimension"
    )
    warnings.warn(
        f"no dimensionally consistent formula in y_units={y_units!r} was found, only the mean of y; {hint}",
        UserWarning,
        stacklevel=3,
    )


def _r2_of(targets):
    """Adds R^2 on the training rows, every row counted once, to a formula's statistics."""
    np = _numpy()
    total = float(np.sum((targets - targets.mean()) ** 2))

    def with_r2(native, stats):
        stats = dict(stats)
        stats["r2"] = 1.0 - native.rmse**2 * targets.size / total if total > 0 else float("nan")
        return stats

    return with_r2


class _NotFittedError(ValueError, AttributeError):
    """Raised by predict before fit when scikit-learn (and its NotFittedError) is not installed."""


def _not_fitted_error(message):
    try:
        from sklearn.exceptions import NotFittedError
    except ImportError:
        NotFittedError = _NotFittedError
    return NotFittedError(message)
