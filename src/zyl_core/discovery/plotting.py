# Pictures of a fit: the front's trade-off of size against error, and a
# formula drawn through its data with the uncertainty of its constants and
# the residuals. matplotlib is imported only when a plot is drawn, so the
# rest of the module never needs it.
from zyl_core._discovery import _Formula

from .data import _as_samples, _as_targets, _numpy
from .formula import Formula

_PLOT_NEEDS = (
    "plotting needs matplotlib, which the 'plot' extra installs: "
    "pip install 'zyl_core[plot]' (or pip install matplotlib)"
)

# The fit band is the pointwise 95% confidence band of the curve: +-1.96
# standard deviations of f(x) propagated from the constants' covariance.
_BAND_SIGMAS = 1.96

# Past this ratio of largest to smallest positive value an axis is drawn on a
# log scale: below it a linear axis shows the data as well.
_LOG_SPAN = 1000.0


def _pyplot():
    try:
        import matplotlib.pyplot as plt
    except ImportError as missing:
        raise ImportError(_PLOT_NEEDS) from missing
    return plt


def _plot_front(front, ax=None):
    """Complexity against rmse for each formula of the front, the selected one
    marked and labelled with its text; returns the axes."""
    np = _numpy()
    if ax is None:
        _, ax = _pyplot().subplots(layout="constrained")
    complexity = np.array([f.complexity for f in front], dtype=np.float64)
    rmse = np.array([f.rmse for f in front], dtype=np.float64)
    ax.plot(complexity, rmse, "o-", color="tab:blue", label="best formula of each size")
    chosen = front.best
    ax.plot([chosen.complexity], [chosen.rmse], "o", markersize=14, markerfacecolor="none",
            markeredgecolor="tab:red", markeredgewidth=2, label="selected")
    # The error falls with size, so the upper right of the plot is free for the label.
    ax.annotate(_rounded_text(chosen), (chosen.complexity, chosen.rmse), xytext=(0.97, 0.6),
                textcoords="axes fraction", ha="right", color="tab:red",
                arrowprops={"arrowstyle": "->", "color": "tab:red", "shrinkB": 9})
    _error_scale(ax, rmse)
    from matplotlib.ticker import MaxNLocator

    ax.xaxis.set_major_locator(MaxNLocator(integer=True))
    ax.set_xlabel("complexity (nodes)")
    ax.set_ylabel("rmse on the training data")
    ax.set_title("Pareto front")
    ax.legend(loc="upper right")
    return ax


def _error_scale(ax, rmse):
    """A log scale when the errors span decades; symlog when an exact fit's 0 is among them."""
    np = _numpy()
    positive = rmse[np.isfinite(rmse) & (rmse > 0)]
    if positive.size < 2 or positive.max() < 10 * positive.min():
        return
    if (rmse == 0).any():
        ax.set_yscale("symlog", linthresh=positive.min())
    else:
        ax.set_yscale("log")


def _plot_formula(formula, X, y, ax=None):
    """The formula against the data, with a second axes of residuals beneath;
    returns (axes, residual axes).

    With one input (X has one column, or the formula uses one of its columns)
    it draws the data, the formula's curve across and a little beyond their
    range, and the 95% confidence band of the curve from the constants'
    covariance (none when the covariance is unknown). With several it draws
    measured against predicted values and the identity line.
    """
    samples = _as_samples(X, "this formula", len(formula.feature_names))
    targets = _as_targets(y, samples)
    named = isinstance(getattr(y, "name", None), str)
    target_name = y.name if named else "y"
    predicted = formula._evaluate(samples)
    ax, residual_ax = _fit_axes(ax)
    column = _sole_input(formula, samples)
    if column is None:
        _draw_against_prediction(ax, residual_ax, predicted, targets, target_name)
    else:
        _draw_curve(ax, residual_ax, formula, samples, targets, predicted, column, target_name)
    ax.set_title(f"{target_name} = {_rounded_text(formula)}" if named else _rounded_text(formula))
    ax.legend(loc="best")
    residual_ax.axhline(0.0, color="0.4", linewidth=1)
    return ax, residual_ax


def _fit_axes(ax):
    """The axes for the fit and, beneath them, a third as tall for the residuals."""
    if ax is None:
        _, (ax, residual_ax) = _pyplot().subplots(2, 1, height_ratios=(3, 1), figsize=(6.4, 6.0),
                                                  layout="constrained")
        return ax, residual_ax
    from mpl_toolkits.axes_grid1 import make_axes_locatable

    return ax, make_axes_locatable(ax).append_axes("bottom", size="33%", pad=0.6)


def _sole_input(formula, samples):
    """The column the formula can be drawn against, or None when it needs several."""
    if samples.shape[1] == 1:
        return 0
    used = {node[1] for node in formula.nodes if node[0] == "var"}
    return used.pop() if len(used) == 1 else None


def _draw_curve(ax, residual_ax, formula, samples, targets, predicted, column, target_name):
    np = _numpy()
    x = samples[:, column]
    name = formula.feature_names[column]
    log_x = _spans_decades(x)
    grid = _grid(x, log_x)
    # The formula reads only this column; the others hold typical values.
    curve_samples = np.tile(np.nanmedian(samples, axis=0), (grid.size, 1))
    curve_samples[:, column] = grid
    curve = formula._evaluate(curve_samples)
    half_width = _band_half_width(formula, curve_samples)
    if half_width is not None:
        ax.fill_between(grid, curve - half_width, curve + half_width, color="tab:orange", alpha=0.25, linewidth=0,
                        label="95% confidence band")
    ax.plot(grid, curve, "-", color="tab:orange", label="formula")
    ax.plot(x, targets, "o", color="tab:blue", label="measured")
    log_y = _spans_decades(targets)
    inside = (grid >= np.nanmin(x)) & (grid <= np.nanmax(x))
    shown = [targets, curve[inside]]
    if half_width is not None:
        shown += [curve[inside] - half_width[inside], curve[inside] + half_width[inside]]
    shown.append(_near(curve[~inside], np.concatenate(shown), log_y))
    for axes in (ax, residual_ax):
        if log_x:
            axes.set_xscale("log")
    residual_ax.set_xlim(ax.get_xlim())
    if log_y:
        ax.set_yscale("log")
    _limit_to(ax, np.concatenate(shown), log_y)
    ax.set_ylabel(target_name)
    residual_ax.set_xlabel(name)
    _draw_residuals(residual_ax, x, targets, predicted, relative=log_y)


def _draw_against_prediction(ax, residual_ax, predicted, targets, target_name):
    np = _numpy()
    # Measured on the vertical axis and predicted on the horizontal one, so the
    # residuals beneath share the horizontal axis and read as the vertical
    # distance of each point from the identity line.
    ends = np.array([min(np.nanmin(predicted), np.nanmin(targets)), max(np.nanmax(predicted), np.nanmax(targets))])
    ax.plot(ends, ends, "-", color="0.4", linewidth=1, label="measured = predicted")
    ax.plot(predicted, targets, "o", color="tab:blue", label="measured")
    log = _spans_decades(targets) and _spans_decades(predicted)
    if log:
        ax.set_xscale("log")
        ax.set_yscale("log")
        residual_ax.set_xscale("log")
    residual_ax.set_xlim(ax.get_xlim())
    ax.set_xlabel(f"predicted {target_name}")
    ax.set_ylabel(f"measured {target_name}")
    residual_ax.set_xlabel(f"predicted {target_name}")
    _draw_residuals(residual_ax, predicted, targets, predicted, relative=log)


def _draw_residuals(residual_ax, x, targets, predicted, relative):
    # Where the targets span decades their errors grow with them: relative
    # residuals show every point on one footing.
    residuals = (targets - predicted) / targets if relative else targets - predicted
    residual_ax.plot(x, residuals, "o", color="tab:blue", markersize=4)
    residual_ax.set_ylabel("relative residual" if relative else "residual")


def _grid(x, log):
    """Points across the data's range and a tenth of it beyond each end (on a
    log scale, a tenth of its decades); never across zero from data of one sign."""
    np = _numpy()
    lo, hi = float(np.nanmin(x)), float(np.nanmax(x))
    if log:
        reach = (hi / lo) ** 0.1
        return np.geomspace(lo / reach, hi * reach, 400)
    reach = 0.1 * (hi - lo) if hi > lo else max(abs(lo), 1.0) * 0.1
    start, stop = lo - reach, hi + reach
    if lo >= 0 > start:
        start = 0.0
    if hi <= 0 < stop:
        stop = 0.0
    return np.linspace(start, stop, 400)


def _band_half_width(formula, samples):
    """1.96 standard deviations of the formula's value at each row, from the
    covariance of its free constants through the Jacobian (central
    differences); None when there are no free constants or their covariance
    is unknown (an interrupted fit, constants the data cannot tell apart)."""
    np = _numpy()
    free = formula.free_constants
    covariance = formula.covariance
    if not free or not np.isfinite(covariance).all():
        return None
    jacobian = np.empty((samples.shape[0], len(free)))
    for j, index in enumerate(free):
        value, error = formula.constants[index], formula.standard_errors[index]
        # The step that balances truncation against rounding error, scaled
        # to the constant (or to its uncertainty when it is near zero).
        step = 6e-6 * max(abs(value), error, 1e-300)
        up = _with_constant(formula, index, value + step)._evaluate(samples)
        down = _with_constant(formula, index, value - step)._evaluate(samples)
        jacobian[:, j] = (up - down) / ((value + step) - (value - step))
    variance = np.einsum("ij,jk,ik->i", jacobian, covariance, jacobian)
    return _BAND_SIGMAS * np.sqrt(np.maximum(variance, 0.0))


def _with_constant(formula, index, value):
    """The formula with its index-th constant set to value."""
    nodes = list(formula.nodes)
    positions = [i for i, node in enumerate(nodes) if node[0] == "const"]
    nodes[positions[index]] = ("const", value, None)
    return Formula(_Formula(nodes, formula.rmse), formula.feature_names)


def _spans_decades(values):
    np = _numpy()
    finite = values[np.isfinite(values)]
    return finite.size > 1 and bool((finite > 0).all()) and finite.max() >= _LOG_SPAN * finite.min()


def _near(values, reference, log):
    """The values within half the reference's span of it: the curve beyond the
    data is shown as far as it stays near them, not out to a pole."""
    np = _numpy()
    reference = reference[np.isfinite(reference) & ((reference > 0) if log else True)]
    if reference.size == 0:
        return values[:0]
    lo, hi = reference.min(), reference.max()
    if log:
        reach = np.sqrt(hi / lo)
        return values[(values >= lo / reach) & (values <= hi * reach)]
    reach = (hi - lo) / 2
    return values[(values >= lo - reach) & (values <= hi + reach)]


def _limit_to(ax, values, log):
    """Vertical limits around what lies over the data's range, so that a curve
    leaving the picture beyond it does not squash the data."""
    np = _numpy()
    values = values[np.isfinite(values) & ((values > 0) if log else True)]
    if values.size == 0:
        return
    lo, hi = float(values.min()), float(values.max())
    if log:
        pad = (hi / lo) ** 0.05
        ax.set_ylim(lo / pad, hi * pad)
    elif hi > lo:
        pad = 0.05 * (hi - lo)
        ax.set_ylim(lo - pad, hi + pad)


def _rounded_text(formula, limit=70):
    """The formula's text for a label: each fitted constant to the second
    significant digit of its standard error (where that is known), as the
    summary writes it, and cut short past `limit` characters."""
    import math

    nodes = list(formula.nodes)
    positions = [i for i, node in enumerate(nodes) if node[0] == "const"]
    for index in formula.free_constants:
        value, error = formula.constants[index], formula.standard_errors[index]
        if math.isfinite(error) and error > 0:
            # Never fewer than two significant digits of the value itself.
            digits = error if value == 0 else min(error, abs(value))
            decimals = 1 - math.floor(math.log10(digits))
            nodes[positions[index]] = ("const", round(value, decimals), None)
    text = _Formula(nodes, formula.rmse).to_text(formula.feature_names)
    return text if len(text) <= limit else text[: limit - 1] + "\u2026"
