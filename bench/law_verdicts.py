"""Judging a fitted formula against a known law with free constants.

Both verdicts look at a dense grid over the data's range extended by 25% on
each side: a feature whose positive values span a factor of 20 or more is
extended by 25% of its range on a log scale (so that its extension stays
positive and is not all beyond the largest value), the others linearly; either
is clipped to the law's domain.

- form: the law's family, its constants refitted to the formula's values on the
  grid, reproduces those values to 1e-6 relative (floored at 1e-3 of their rms
  unless the target is judged relatively, so that a curve through zero does not
  count as a miss there). The formula's values are the target, not the data:
  a formula of another form fails however well it fits, and so does a
  constant, which many laws reach only in a limit of their constants.
- curve: the formula stays near the law's own least-squares curve over the
  grid: within 3 x the law's residual rmse (the scatter the data allow), or, for
  targets spanning decades, within 5% relative (an absolute bound would ignore
  the small end).
"""
import warnings

import numpy as np
from scipy.optimize import OptimizeWarning, curve_fit

EXTEND = 0.25
GEOMETRIC_SPAN = 20.0
FORM_TOLERANCE = 1e-6
CURVE_RMSE_FACTOR = 3.0
CURVE_RELATIVE = 0.05
# Points per axis, for 1, 2 and 3 features: a few thousand points in all.
GRID_POINTS = {1: 801, 2: 61, 3: 17}


def axis(values, bounds, points):
    """Grid coordinates of one feature: its range extended, then clipped to bounds=(low, high)."""
    lo, hi = float(np.min(values)), float(np.max(values))
    geometric = lo > 0 and hi >= GEOMETRIC_SPAN * lo
    if geometric:
        stretch = (hi / lo) ** EXTEND
        lo, hi = lo / stretch, hi * stretch
    else:
        pad = EXTEND * (hi - lo)
        lo, hi = lo - pad, hi + pad
    low, high = bounds if bounds is not None else (None, None)
    lo = lo if low is None else max(lo, low)
    hi = hi if high is None else min(hi, high)
    return np.geomspace(lo, hi, points) if geometric else np.linspace(lo, hi, points)


def grid(x, domain=None):
    """Points (m, d) covering the extended range of every column of x (n, d)."""
    d = x.shape[1]
    points = GRID_POINTS.get(d, 9)
    axes = [axis(x[:, j], domain[j] if domain else None, points) for j in range(d)]
    return np.column_stack([a.ravel() for a in np.meshgrid(*axes, indexing="ij")])


def _curve_fit(law, x, y, start, sigma=None, tight=False):
    """The law's constants by least squares, or None when the fit fails."""
    tolerances = dict(xtol=1e-15, ftol=1e-15, gtol=1e-15) if tight else {}
    with warnings.catch_warnings(), np.errstate(all="ignore"):
        warnings.simplefilter("ignore", OptimizeWarning)
        try:
            params, _ = curve_fit(lambda columns, *p: law(*columns, *p), x.T, y, p0=list(start), sigma=sigma,
                                  maxfev=20000, **tolerances)
        except (RuntimeError, ValueError, TypeError):
            return None
    return params if np.all(np.isfinite(params)) else None


def fit_law(law, x, y, start, relative=False):
    """(constants, residual rmse) of the law fitted to the data, in relative
    errors for targets spanning decades (whose errors grow with their size);
    ValueError when it cannot be fitted."""
    params = _curve_fit(law, x, y, start, sigma=np.abs(y) if relative else None)
    if params is None:
        raise ValueError("the law could not be fitted to the data")
    with np.errstate(all="ignore"):
        rmse = float(np.sqrt(np.mean((law(*x.T, *params) - y) ** 2)))
    return params, rmse


def form_deviation(law, starts, points, values, relative):
    """Smallest relative deviation of the law's family from `values` on `points`,
    over refits of its constants from each start; inf when none fits."""
    # Every law here describes a dependence; the constant its family reaches in
    # a limit (K -> 0, b -> 0, ...) is not a formula of its form.
    if not np.all(np.isfinite(values)) or np.ptp(values) <= 1e-9 * np.max(np.abs(values)):
        return float("inf")
    scale = np.abs(values)
    if not relative:
        scale = np.maximum(scale, 1e-3 * np.sqrt(np.mean(values**2)))
    if not np.all(scale > 0):
        return float("inf")
    best = float("inf")
    for start in starts:
        params = _curve_fit(law, points, values, start, sigma=scale, tight=True)
        if params is None:
            continue
        with np.errstate(all="ignore"):
            deviation = float(np.max(np.abs(law(*points.T, *params) - values) / scale))
        if np.isfinite(deviation):
            best = min(best, deviation)
    return best


def curve_deviation(law_values, values, relative):
    """Largest deviation of `values` from the law's curve: relative, or in the target's units."""
    with np.errstate(all="ignore"):
        gap = np.abs(values - law_values)
        if relative:
            gap = gap / np.abs(law_values)
    return float(np.max(gap)) if np.all(np.isfinite(gap)) else float("inf")


def curve_tolerance(law_rmse, relative):
    return CURVE_RELATIVE if relative else CURVE_RMSE_FACTOR * law_rmse


def judge(entry, x, y, predict):
    """Verdicts of one fitted formula (predict: (m, d) array -> (m,) values) on one data set."""
    params, law_rmse = fit_law(entry.law, x, y, entry.start, entry.relative)
    points = grid(x, entry.domain)
    with np.errstate(all="ignore"):
        law_values = entry.law(*points.T, *params)
    # Only where the law itself is defined.
    points, law_values = points[np.isfinite(law_values)], law_values[np.isfinite(law_values)]
    values = np.asarray(predict(points), dtype=float)
    form = form_deviation(entry.law, (params, entry.start), points, values, entry.relative)
    curve = curve_deviation(law_values, values, entry.relative)
    tolerance = curve_tolerance(law_rmse, entry.relative)
    return dict(law_constants=[float(p) for p in params], law_rmse=law_rmse, form_deviation=form,
                form=form <= FORM_TOLERANCE, curve_deviation=curve, curve_tolerance=tolerance,
                curve=curve <= tolerance)
