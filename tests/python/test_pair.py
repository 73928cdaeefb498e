"""ZYLPair: constructors, properties, operators, tolerant equality and text form."""
import math
import operator

import pytest

from zyl_core import ZYLPair

INF, NAN, PI = math.inf, math.nan, math.pi
Z = ZYLPair


def parts(p):
    assert type(p) is ZYLPair
    return [p.real.hex(), p.imag.hex()]


def hexes(*values):
    return [v.hex() for v in values]


VALUE_CASES = [  # (pair, real, imag)
    (Z(NAN, -0.0), NAN, -0.0),
    (Z.from_values(imag=INF, real=-INF), -INF, INF),
    (Z.from_polar(2.0, 0.0), 2.0, 0.0),
    (Z.from_polar(r=1.0, theta=PI / 2), 6.123233995736766e-17, 1.0),
    (Z.one(), 1.0, 0.0),
    (Z.zero(), 0.0, 0.0),
    (Z(5, 5).unit_i(), 0.0, 1.0),
    (Z(1, 0).rotate_phase(PI), -1.0, 1.2246467991473532e-16),
    (Z(0.1, -0.7).rotate_phase(angle=0.0), 0.1, -0.7),
    (Z(1, 2).conjugate(), 1.0, -2.0),
    (Z(1, 0.0).conjugate(), 1.0, -0.0),
    (Z(1, 2) + Z(0.5, -0.25), 1.5, 1.75),
    (Z(1, 2) - Z(0.5, -0.25), 0.5, 2.25),
    (Z(1, 2) * Z(3, 4), -5.0, 10.0),
    (Z(-5, 10) / Z(3, 4), 1.0, 2.0),
    (Z(1, 0) / Z(0, 0), 0.0, 0.0),
    (Z(1, 1) / Z(1e-160, 0), 1e140, 1e140),
    (Z(1, 1) / Z(1e-200, 0), 1e100, 1e100),
]


@pytest.mark.parametrize("p, real, imag", VALUE_CASES)
def test_values(p, real, imag):
    assert parts(p) == hexes(real, imag)


PROPERTY_CASES = [  # (pair, modulus, argument)
    (Z(3, 4), 5.0, math.atan2(4, 3)),
    (Z(1e200, 0), INF, 0.0),
    (Z(-1, 0), 1.0, PI),
    (Z(-1, -0.0), 1.0, -PI),
]


@pytest.mark.parametrize("p, modulus, argument", PROPERTY_CASES)
def test_properties(p, modulus, argument):
    assert hexes(p.modulus, abs(p), p.argument) == hexes(modulus, modulus, argument)
    assert hexes(p.real_tension, p.imag_tension) == hexes(p.real, p.imag)


EQUALITY_CASES = [  # (a, b, a == b)
    (Z(1, 2), Z(1 + 5e-10, 2), True),
    (Z(1, 2), Z(1 + 2e-9, 2), False),
    (Z(0, 0), Z(6e-10, 0), True),
    (Z(6e-10, 0), Z(1.2e-9, 0), True),
    (Z(0, 0), Z(1.2e-9, 0), False),
    (Z(1, 2), (1, 2), False),
    (Z(1, 2), 3, False),
]


@pytest.mark.parametrize("a, b, equal", EQUALITY_CASES)
def test_equality(a, b, equal):
    assert (a == b) is equal and (a != b) is (not equal)
    assert (b == a) is equal and (b != a) is (not equal)


def test_nan_pair_is_not_equal_to_itself():
    p = Z(NAN, 0.0)
    assert not p == p and p != p


class Reflected:
    def __radd__(self, other):
        return "radd"

    def __gt__(self, other):
        return "gt"


ARITHMETIC = [operator.add, operator.sub, operator.mul, operator.truediv]
ORDERING = [operator.lt, operator.le, operator.gt, operator.ge]
TYPE_ERROR_CASES = [(op, a, b) for op in ARITHMETIC for a, b in [(Z(1, 2), 1.0), (2.0, Z(1, 2)), (Z(1, 2), 1)]]
TYPE_ERROR_CASES += [(op, Z(1, 2), b) for op in ORDERING for b in (Z(3, 4), 1.0)]


@pytest.mark.parametrize("op, a, b", TYPE_ERROR_CASES)
def test_operand_type_errors(op, a, b):
    with pytest.raises(TypeError):
        op(a, b)


def test_operators_leave_other_types_to_the_interpreter():
    assert Z(1, 2) + Reflected() == "radd"
    assert (Z(1, 2) < Reflected()) == "gt"
    p = q = Z(1, 2)
    p += Z(1, 1)
    assert parts(q) == hexes(1.0, 2.0) and parts(p) == hexes(2.0, 3.0)


def test_unhashable():
    assert ZYLPair.__hash__ is None
    for use in (hash, lambda p: {p}, lambda p: {p: 1}):
        with pytest.raises(TypeError):
            use(Z(0, 0))


REPRS = [
    (Z(1, -2), "ZYLPair(1.000000 - 2.000000i)"),
    (Z(0.5, 0.25), "ZYLPair(0.500000 + 0.250000i)"),
    (Z(1, NAN), "ZYLPair(1.000000 - NaNi)"),
    (Z(-0.0, -0.0), "ZYLPair(-0.000000 + 0.000000i)"),
    (Z(INF, -INF), "ZYLPair(inf - infi)"),
    (Z(1, 0.0).conjugate(), "ZYLPair(1.000000 + 0.000000i)"),
]


@pytest.mark.parametrize("p, text", REPRS)
def test_repr(p, text):
    assert repr(p) == text


def test_surface():
    assert Z.__text_signature__ == "(real, imag)" and Z.__doc__ == ""
    assert [n for n in vars(Z) if not n.startswith("__")] == [
        "from_values", "from_polar", "unit_i", "one", "zero", "rotate_phase", "conjugate",
        "real_tension", "imag_tension", "modulus", "argument", "real", "imag"]
    signatures = {"from_values": "(real, imag)", "from_polar": "(r, theta)", "unit_i": "()",
                  "rotate_phase": "($self, angle)", "conjugate": "($self)"}
    assert {n: getattr(Z, n).__text_signature__ for n in signatures} == signatures
    with pytest.raises(TypeError) as info:
        Z.from_polar(1.0, theta="x")
    assert str(info.value) == "argument 'theta': must be real number, not str"
    with pytest.raises(TypeError):
        Z.one(1)
    with pytest.raises(AttributeError):
        Z(1, 2).modulus = 3.0
