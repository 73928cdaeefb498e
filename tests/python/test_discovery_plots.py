"""Plots of a fit drawn with matplotlib's Agg backend, and how formulas, fronts
and estimators show in a notebook."""
import sys

import pytest

np = pytest.importorskip("numpy")
matplotlib = pytest.importorskip("matplotlib")
matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

from zyl_core.discovery import Formula, FormulaRegressor, Front, _Formula  # noqa: E402

FAST = dict(max_evaluations=100_000)


@pytest.fixture(autouse=True)
def close_figures():
    yield
    plt.close("all")


@pytest.fixture(scope="module")
def line_fit():
    """y = a x + b with noise, both constants fitted and free."""
    rng = np.random.default_rng(1)
    X = rng.uniform(1.0, 4.0, (30, 1))
    y = 1.7 * X[:, 0] + 0.8 + 0.1 * rng.standard_normal(30)
    model = FormulaRegressor(exact_constants=False, **FAST).fit(X, y)
    assert len(model.best_.free_constants) == 2, model.best_.summary()
    return model, X, y


def points(axes, marker="o"):
    """The (x, y) data of the axes' lines drawn with this marker and no line."""
    return [np.column_stack(line.get_data()) for line in axes.lines
            if line.get_marker() == marker and line.get_linestyle() == "None"]


def test_one_input_draws_data_curve_band_and_residuals(line_fit):
    model, X, y = line_fit
    best = model.best_
    ax, residual_ax = best.plot(X, y)
    assert ax.figure is residual_ax.figure and ax is not residual_ax
    (data,) = points(ax)
    np.testing.assert_array_equal(data, np.column_stack([X[:, 0], y]))
    (curve,) = [line for line in ax.lines if line.get_linestyle() == "-"]
    grid, values = curve.get_data()
    # Across the data and a little beyond each end.
    assert grid.min() < X.min() and grid.max() > X.max() and grid.max() - grid.min() < 1.5 * np.ptp(X)
    np.testing.assert_allclose(values, best.predict(grid[:, None]), rtol=1e-12)
    (residuals,) = points(residual_ax)
    np.testing.assert_allclose(residuals[:, 1], y - best.predict(X), atol=1e-12)
    assert residual_ax.get_xlim() == ax.get_xlim()


def test_the_band_is_the_least_squares_confidence_band(line_fit):
    model, X, y = line_fit
    ax, _ = model.best_.plot(X, y)
    (band,) = ax.collections
    # For a line the band is exact: 1.96 sqrt(var(a) x^2 + 2 cov(a, b) x + var(b)).
    (slope, intercept), covariance = np.polyfit(X[:, 0], y, 1, cov="unscaled")
    covariance *= np.sum((y - slope * X[:, 0] - intercept) ** 2) / (len(y) - 2)
    edges = band.get_paths()[0].vertices
    x = edges[:, 0]
    half_width = 1.96 * np.sqrt(covariance[0, 0] * x**2 + 2 * covariance[0, 1] * x + covariance[1, 1])
    np.testing.assert_allclose(np.abs(edges[:, 1] - (slope * x + intercept)), half_width, rtol=1e-5)


def test_no_band_without_a_covariance(line_fit):
    _, X, y = line_fit
    # A formula built from nodes alone has no uncertainties, as after Ctrl-C.
    bare = Formula(_Formula([("const", 1.5, None), ("var", 0), ("op", "mul")], 0.0), ["x"])
    ax, _ = bare.plot(X, y)
    assert not ax.collections
    assert len(points(ax)) == 1


def test_curve_stays_on_the_data_side_of_zero():
    # Vmax*c/(K + c) has a pole at c = -K: the curve starts at 0, not across it.
    c = np.array([0.02, 0.02, 0.06, 0.11, 0.22, 0.56, 1.1])[:, None]
    rate = 210 * c[:, 0] / (0.064 + c[:, 0])
    law = Formula(_Formula([("const", 210.0, None), ("var", 0), ("op", "mul"), ("var", 0),
                            ("const", 0.064, None), ("op", "add"), ("op", "div")], 0.0), ["conc"])
    ax, _ = law.plot(c, rate)
    (curve,) = [line for line in ax.lines if line.get_linestyle() == "-"]
    assert curve.get_xdata().min() == 0.0
    low, high = ax.get_ylim()
    assert low <= 0.0 and high < 1.2 * rate.max()
    # A pole just past the data does not squash them into a corner.
    x = np.linspace(0.5, 1.9, 15)[:, None]
    pole = Formula(_Formula([("const", 2.05, None), ("var", 0), ("op", "sub"), ("op", "inv")], 0.0), ["x"])
    ax, _ = pole.plot(x, 1 / (2.05 - x[:, 0]))
    assert ax.lines[0].get_ydata().max() > 50 and ax.get_ylim()[1] < 2 * (1 / 0.15)


def test_several_inputs_draw_measured_against_predicted():
    rng = np.random.default_rng(2)
    X = rng.uniform(1.0, 3.0, (40, 2))
    y = X[:, 0] * X[:, 1] + 0.01 * rng.standard_normal(40)
    best = FormulaRegressor(**FAST).fit(X, y).best_
    ax, residual_ax = best.plot(X, y)
    (data,) = points(ax)
    np.testing.assert_allclose(data, np.column_stack([best.predict(X), y]))
    (identity,) = [line for line in ax.lines if line.get_linestyle() == "-"]
    xs, ys = identity.get_data()
    np.testing.assert_array_equal(xs, ys)
    assert xs.min() <= min(y.min(), data[:, 0].min()) and xs.max() >= max(y.max(), data[:, 0].max())
    (residuals,) = points(residual_ax)
    np.testing.assert_allclose(residuals, np.column_stack([best.predict(X), y - best.predict(X)]))
    assert not ax.collections


def test_a_formula_of_one_of_several_columns_is_drawn_against_it():
    X = np.column_stack([np.linspace(1, 2, 20), np.linspace(-5, 5, 20)])
    square = Formula(_Formula([("var", 1), ("op", "square")], 0.0), ["a", "b"])
    ax, residual_ax = square.plot(X, X[:, 1] ** 2)
    (curve,) = [line for line in ax.lines if line.get_linestyle() == "-"]
    np.testing.assert_allclose(curve.get_ydata(), curve.get_xdata() ** 2)
    assert residual_ax.get_xlabel() == "b"


def test_targets_over_decades_get_log_axes_and_relative_residuals():
    x = np.geomspace(1, 1e4, 25)[:, None]
    y = 3.0 * x[:, 0] ** 1.5
    power = Formula(_Formula([("const", 3.0, None), ("var", 0), ("op", "mul"), ("var", 0), ("op", "sqrt"),
                              ("op", "mul")], 0.0), ["x"])
    ax, residual_ax = power.plot(x, y)
    assert ax.get_xscale() == "log" and ax.get_yscale() == "log" and residual_ax.get_xscale() == "log"
    assert residual_ax.get_ylabel() == "relative residual"
    (residuals,) = points(residual_ax)
    np.testing.assert_allclose(residuals[:, 1], (y - power.predict(x)) / y)


def test_plots_into_given_axes_and_names_the_target(line_fit):
    pandas = pytest.importorskip("pandas")
    model, X, y = line_fit
    figure, given = plt.subplots()
    ax, residual_ax = model.best_.plot(X, pandas.Series(y, name="rate"))
    assert ax.get_ylabel() == "rate" and ax.get_title().startswith("rate = ")
    ax, residual_ax = model.best_.plot(X, y, ax=given)
    assert ax is given and residual_ax.figure is figure and len(figure.axes) == 2
    front_ax = model.front_.plot(ax=given)
    assert front_ax is given


def test_bad_data_is_named(line_fit):
    model, X, y = line_fit
    with pytest.raises(ValueError, match="X has 2 features"):
        model.best_.plot(np.hstack([X, X]), y)
    with pytest.raises(ValueError, match="different numbers of samples"):
        model.best_.plot(X, y[:-1])


def test_front_marks_and_labels_the_selected_formula(line_fit):
    model, _, _ = line_fit
    front = model.front_
    ax = front.plot()
    (line,) = [line for line in ax.lines if line.get_linestyle() == "-"]
    np.testing.assert_array_equal(line.get_xdata(), [f.complexity for f in front])
    np.testing.assert_array_equal(line.get_ydata(), [f.rmse for f in front])
    (mark,) = [line for line in ax.lines if line.get_linestyle() == "None"]
    assert (mark.get_xdata()[0], mark.get_ydata()[0]) == (front.best.complexity, front.best.rmse)
    (label,) = ax.texts
    assert label.xy == (front.best.complexity, front.best.rmse)
    # The label writes each constant to the precision of its standard error.
    best = front.best
    for index in best.free_constants:
        assert f"{best.constants[index]:.3g}" in label.get_text() or \
            f"{best.constants[index]:.2g}" in label.get_text(), (label.get_text(), best.summary())
    assert ax.get_yscale() == "log"  # the line's error is a tenth of the constant's


def test_front_scale_follows_the_errors():
    def front(*errors):
        shapes = [[("var", 0)], [("var", 0), ("op", "square")], [("var", 0), ("op", "exp")]]
        return Front([Formula(_Formula(nodes, e), ["x"]) for nodes, e in zip(shapes, errors)], len(errors) - 1)

    # An exact fit's 0 stays in the picture beside errors that span decades.
    assert front(5.0, 0.05, 0.0).plot().get_yscale() == "symlog"
    assert front(5.0, 0.05, 1e-4).plot().get_yscale() == "log"
    assert front(5.0, 2.0, 1.0).plot().get_yscale() == "linear"


def test_missing_matplotlib_names_the_extra(line_fit, monkeypatch):
    model, X, y = line_fit
    for name in [m for m in sys.modules if m == "matplotlib" or m.startswith("matplotlib.")]:
        monkeypatch.setitem(sys.modules, name, None)
    for draw in (lambda: model.best_.plot(X, y), model.front_.plot):
        with pytest.raises(ImportError, match=r"pip install 'zyl_core\[plot\]'"):
            draw()


def test_formula_shows_as_typeset_math_with_its_names(line_fit, monkeypatch):
    pytest.importorskip("sympy")
    model, _, _ = line_fit
    assert model.best_._repr_latex_() == f"$\\displaystyle {model.best_.latex()}$"
    X = np.linspace(1, 3, 20)[:, None]
    odd = FormulaRegressor(feature_names=["a$b c}"], **FAST).fit(X, 2 * X[:, 0]).best_
    assert odd._repr_latex_() == r"$\displaystyle 2 \mathrm{a\$b\ c\}}$"
    monkeypatch.setitem(sys.modules, "sympy", None)
    assert odd._repr_latex_() is None


def test_front_html_marks_the_selected_row_and_escapes_names():
    X = np.linspace(1, 3, 20)[:, None]
    model = FormulaRegressor(feature_names=["<i>x</i>"], **FAST).fit(X, 2.5 * X[:, 0] + 1)
    html = model.front_._repr_html_()
    rows = html.split("<tbody>")[1].split("</tr>")[:-1]
    assert len(rows) == len(model.front_)
    marked = [i for i, row in enumerate(rows) if 'title="selected"' in row]
    assert marked == [model.front_.selected]
    assert "<i>" not in html and "&lt;i&gt;x&lt;/i&gt;" in html
    for row, (complexity, rmse, *_ ) in zip(rows, model.front_.rows()):
        assert f"<td>{complexity}</td><td>{rmse:.6g}</td>" in row


def test_estimator_html_shows_parameters_then_the_fit():
    names = np.array(["<b>conc</b>"])
    model = FormulaRegressor(feature_names=names, **FAST)
    html = model._repr_html_()
    assert "not fitted" in html and "<b><code>100000</code></b>" in html and "<code>&#x27;mdl&#x27;</code>" in html
    assert "<b>conc</b>" not in html and "selected formula" not in html
    assert repr(model).startswith("FormulaRegressor(")  # an array of names has no truth value
    X = np.linspace(1, 3, 20)[:, None]
    model.fit(X, 2.5 * X[:, 0] + 1)
    html = model._repr_html_()
    assert "(fitted)" in html and "<b>conc</b>" not in html
    from html import escape

    assert escape(model.best_.summary()) in html and 'title="selected"' in html
