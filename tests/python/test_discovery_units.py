"""Units: the unit strings fit accepts, the dimensional consistency of what the
search returns with them, and the constants' units it reports."""
import warnings
from fractions import Fraction

import pytest

np = pytest.importorskip("numpy")
from zyl_core._discovery import _fit  # noqa: E402
from zyl_core.discovery import FormulaRegressor  # noqa: E402
from zyl_core.discovery.units import parse_unit, unit_text  # noqa: E402

FAST = dict(max_evaluations=300_000)


def data(law, ranges, n=60, seed=0):
    rng = np.random.default_rng(seed)
    X = np.column_stack([rng.uniform(lo, hi, n) for lo, hi in ranges])
    return X, law(*X.T)


def test_unit_strings_name_the_same_dimension_however_written():
    same = [
        ("J", "N*m", "kg*m^2/s^2", "kg m**2 s**-2".replace(" ", "*"), "eV", "W*s", "C*V"),
        ("Ohm*F", "s", "1/Hz", "Hz^-1", "(Hz)**(-1)"),
        ("m^(1/2)", "m**0.5", "(m^3)^(1/6)"),
        ("", "1", "m/m", "J/(N*m)"),
        ("Wb", "V*s", "T*m^2", "H*A"),
    ]
    for group in same:
        dims = {parse_unit(text, "y_units") for text in group}
        assert len(dims) == 1, group
    assert unit_text(parse_unit("Pa", "y_units")) == "kg/(m*s^2)"
    assert unit_text(parse_unit("m^(-3/2)", "y_units")) == "1/m^(3/2)"
    assert parse_unit("mol*K*cd*A", "y_units")[3:] == (Fraction(1),) * 4


    assert parse_unit("mol*K*cd*A", "y_units")[3:] == (Fraction(1),) * 4


def test_a_string_that_does_not_parse_is_named_with_where_it_came_from():
    for text in ("kg/m^", "km", "m s", "m^(1/0)", "-2", "m*", "(m", "m)^2", "m^x"):
        with pytest.raises(ValueError, match=r"X_units\[2\]: cannot parse '"):
            parse_unit(text, "X_units[2]")
    with pytest.raises(TypeError, match="y_units: a unit is a str"):
        parse_unit(1, "y_units")


def test_a_bad_unit_string_is_named_with_its_column():
    X, y = data(lambda a, b: a * b, [(1, 2), (1, 2)])
    cases = [
        (dict(X_units=["m", "kg/m^"], y_units="kg"), r"X_units\[1\]: cannot parse 'kg/m\^'"),
        (dict(X_units=["m", "s"], y_units="furlong"), r"y_units: cannot parse 'furlong'"),
        (dict(X_units=["m", "km"], y_units="m"), r"X_units\[1\]"),
        (dict(X_units=["m", "m s"], y_units="m"), r"X_units\[1\]"),
        (dict(X_units=["m", "m^(1/0)"], y_units="m"), r"X_units\[1\]"),
        (dict(X_units=["m"], y_units="m"), "X_units has 1 units but X has 2 columns"),
        (dict(X_units=["m", "s"]), "X_units was given without y_units"),
        (dict(y_units="m"), "y_units was given without X_units"),
    ]
    for units, message in cases:
        with pytest.raises(ValueError, match=message):
            FormulaRegressor(**FAST).fit(X, y, **units)
    with pytest.raises(TypeError, match="sequence of unit strings"):
        FormulaRegressor(**FAST).fit(X, y, X_units="m", y_units="m")
    with pytest.raises(TypeError, match="must be a bool"):
        FormulaRegressor(dimensional_constants="yes", **FAST).fit(X, y, X_units=["m", "m"], y_units="m^2")


def test_the_engine_refuses_dimension_rows_that_do_not_match_the_data():
    columns = np.ones((2, 5))
    y = np.ones(5)
    row = ((1, 1),) + ((0, 1),) * 6
    with pytest.raises(ValueError, match="1 column rows but columns has shape"):
        _fit(columns, y, None, {"dimensions": (row, row)}, None)
    with pytest.raises(ValueError, match="row 1 must be 7"):
        _fit(columns, y, None, {"dimensions": (row, ((1, 0),) * 7, row)}, None)
    with pytest.raises(ValueError, match="row 0 must be 7"):
        _fit(columns, y, None, {"dimensions": (row[:6], row, row)}, None)


def test_with_units_the_law_is_found_and_knows_its_units():
    X, y = data(lambda m, v: m * v**2 / 2, [(1, 5), (1, 5)])
    best = FormulaRegressor(**FAST).fit(X, y, X_units=["kg", "m/s"], y_units="J").best_
    assert np.allclose(best.predict(X), y, rtol=1e-9), str(best)
    assert best.units == "J"
    assert set(best.constant_units) <= {"1"}
    assert "units: [J]" in best.summary()
    plain = FormulaRegressor(**FAST).fit(X, y).best_
    assert plain.units is None and plain.constant_units == ()
    assert "units" not in plain.summary()


def test_a_formula_of_the_wrong_dimension_is_never_returned():
    # y = x0 + x1 fits exactly, but a length plus a time is no law: with
    # units, no front formula adds them.
    X, y = data(lambda a, b: a + b, [(1, 5), (1, 5)])
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        front = FormulaRegressor(**FAST).fit(X, y, X_units=["m", "s"], y_units="m").front_
    for f in front:
        assert not np.allclose(f.predict(X), y, rtol=1e-6), str(f)
    # exp of a length: nothing consistent reads x0, and the warning says so
    # and names the option that would let a constant carry the dimension.
    X, y = data(lambda a: np.exp(a), [(0, 2)])
    with pytest.warns(UserWarning, match="dimensional_constants=True"):
        front = FormulaRegressor(**FAST).fit(X, y, X_units=["m"], y_units="").front_
    assert [f.complexity for f in front] == [1]


def test_dimensional_constants_carry_the_missing_unit():
    X, y = data(lambda x: 3.7 * x, [(0, 2)])
    with pytest.warns(UserWarning, match="no dimensionally consistent formula"):
        FormulaRegressor(**FAST).fit(X, y, X_units=["m"], y_units="N")
    best = FormulaRegressor(dimensional_constants=True, **FAST).fit(X, y, X_units=["m"], y_units="N").best_
    assert np.allclose(best.predict(X), y, rtol=1e-9), str(best)
    assert best.constant_units == ("kg/s^2",)
    assert "[kg/s^2]" in best.summary()
    # Vmax*S/(K + S): K takes the unit of S, Vmax that of the rate.
    X, y = data(lambda s: 2.5 * s / (1.5 + s), [(0.1, 8)])
    model = FormulaRegressor(dimensional_constants=True, **FAST)
    best = model.fit(X, y, X_units=["mol/m^3"], y_units="mol/(m^3*s)").best_
    assert np.allclose(best.predict(X), y, rtol=1e-9), str(best)
    assert sorted(best.constant_units) == ["mol/(m^3*s)", "mol/m^3"]
    # A constant with a unit is never snapped to an exact number: its value
    # would change with the units.
    X, y = data(lambda x: 2.0 * x, [(0, 2)])
    best = FormulaRegressor(dimensional_constants=True, **FAST).fit(X, y, X_units=["m"], y_units="m/s").best_
    assert best.free_constants == (0,) and best.constant_units == ("1/s",)


def test_units_leave_the_estimator_contract_alone():
    model = FormulaRegressor(dimensional_constants=True)
    assert model.get_params()["dimensional_constants"] is True
    assert "dimensional_constants=True" in repr(model)
    sklearn_base = pytest.importorskip("sklearn.base")
    assert sklearn_base.clone(model).dimensional_constants is True


def test_a_stopped_fit_with_units_keeps_consistent_formulas_that_read_the_data():
    # Stopped after a few levels, the quick front of a dimensional y cannot
    # have fitted offsets: its formulas are fitted through zero instead.
    X, y = data(lambda m, v: m * v**2 / 2 + 0.1 * m * v, [(1, 5), (1, 5)])

    def stop(report):
        if report["level"] == 4:
            raise RuntimeError("enough")

    model = FormulaRegressor(callback=stop, **FAST)
    with pytest.raises(RuntimeError, match="enough"):
        model.fit(X, y, X_units=["kg", "m/s"], y_units="J")
    reading = [f for f in model.front_ if any(n[0] == "var" for n in f.nodes)]
    assert reading, str(model.front_)
    for f in reading:
        assert f.constant_units == ("1",), str(f)
