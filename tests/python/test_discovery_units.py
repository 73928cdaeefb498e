"""Units: the unit strings fit accepts, the dimensional consistency of what the
search returns with them, and the constants' units it reports."""
from fractions import Fraction

import pytest

from zyl_core.discovery.units import parse_unit, unit_text


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


def test_a_string_that_does_not_parse_is_named_with_where_it_came_from():
    for text in ("kg/m^", "km", "m s", "m^(1/0)", "-2", "m*", "(m", "m)^2", "m^x"):
        with pytest.raises(ValueError, match=r"X_units\[2\]: cannot parse '"):
            parse_unit(text, "X_units[2]")
    with pytest.raises(TypeError, match="y_units: a unit is a str"):
        parse_unit(1, "y_units")
