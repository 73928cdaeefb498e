"""ZYLPoint: scalar guards through the methods, text forms and the binding surface."""
import gc
import itertools
import math
import random

import numpy
import pytest

from zyl_core import ZYLPair, ZYLPoint, boost_n, tension_n

INF, NAN = math.inf, math.nan
P = ZYLPoint


def hexes(*values):
    return [v.hex() for v in values]


TENSION_CASES = [  # (x, y, tension)
    (0.0, 1.0, 1.0),
    (0.0, -2.718281828459045, 0.0),
    (0.0, 0.0, 691.7755278982137),
    (0.0, -0.0, 691.7755278982137),
    (710.0, 1.0, 710.0000000000002),
    (1000.0, 1.0, 999.9999999999998),
    (709.782712893384, 1.0, 1.7976931348622732e308),
    (NAN, 1.0, NAN),
]


@pytest.mark.parametrize("x, y, expected", TENSION_CASES)
def test_tension_and_its_alias(x, y, expected):
    p = P(x, y)
    assert hexes(p.tension(), p.zyl()) == hexes(expected, expected)


@pytest.mark.parametrize("x, slipping", [(710.0, True), (709.782712893384, False), (NAN, False), (INF, True)])
def test_is_slipping(x, slipping):
    assert P(x, 1.0).is_slipping() is slipping


CONSERVES_CASES = [  # (receiver, next, tol, result)
    (P(NAN, 1.0), P(0.0, 2.0), NAN, True),
    (P(INF, 1.0), P(0.0, 2.0), -1.0, True),
    (P(1.0, 2.0), P(0.0, 3.0), 0.0, False),
    (P(1.0, 2.0), P(0.0, 3.0), 1e-9, True),
    (P(1.0, 2.0), P(0.0, 3.0), NAN, False),
    # Only the receiver's x and the argument's y are read.
    (P(0.0, 5.0), P(INF, 1e300), 0.5, True),
]


@pytest.mark.parametrize("p, q, tol, result", CONSERVES_CASES)
def test_conserves_tension(p, q, tol, result):
    assert p.conserves_tension(q, tol) is result
    assert p.conserves_tension(tol=tol, next=q) is result


PULSE_CASES = [  # (point, method, new x, new y)
    (P(1.0, 0.0), "pulse", 1e-300, 693.4938097266727),
    (P(0.0, 1e-310), "mirror_pulse", 1e-310, 714.8013788281542),
    (P(0.0, 1e-310), "frame_shift", 1e-300, 691.7755278982137),
    (P(0.0, NAN), "frame_shift", 1e-300, 691.7755278982137),
    (P(0.0, NAN), "pulse", NAN, NAN),
    (P(0.5, 2.0), "boost", 0.5, 2.0),
    (P(0.0, 1e-320), "boost", 0.0, math.exp(-709.0)),
    (P(0.0, 1e308), "boost", 0.0, math.exp(709.0)),
]


@pytest.mark.parametrize("p, name, x, y", PULSE_CASES)
def test_point_results(p, name, x, y):
    args = (0.0, 1.0) if name == "boost" else ()
    q = getattr(p, name)(*args)
    assert type(q) is ZYLPoint and q is not p
    assert hexes(q.x, q.y) == hexes(x, y)


@pytest.mark.parametrize("y, imag", [(0.0, -690.7755278982137), (-1e-310, math.log(1e-300)),
                                     (1e-310, math.log(1e-310))])
def test_pair_is_frame_coordinates(y, imag):
    q = P(0.0, y).pair()
    assert type(q) is ZYLPair
    assert hexes(q.real, q.imag) == hexes(1.0, imag)


def test_deltas():
    assert P(0.5, 2.0).euclidean_delta() == 1.7885007247348956
    rng = random.Random(5)
    for _ in range(200):
        p, c = P(rng.uniform(-5, 5), rng.uniform(-9, 9)), rng.uniform(-3, 3)
        assert p.minkowski_delta(True, c).hex() == p.minkowski_delta(False, c).hex()
    assert P(0.5, 2.0).minkowski_delta(numpy.True_, 1.0) == P(0.5, 2.0).minkowski_delta(False, 1.0)


SPECIALS = [NAN, INF, -INF, 0.0, -0.0, 1e-310, 710.0, -5.0, 1.0]


def test_methods_agree_with_batch_kernels_bit_for_bit():
    rng = random.Random(11)
    points = list(itertools.product(SPECIALS, SPECIALS))
    points += [(rng.uniform(-20, 720), rng.uniform(-1e3, 1e3)) for _ in range(500)]
    for phi, c in [(0.0, 1.0), (0.7, 1.5), (-2.0, 0.0), (NAN, 1.0), (1.0, INF)]:
        boosted = boost_n(points, [phi] * len(points), c)
        for (x, y), (bx, by) in zip(points, boosted):
            q = P(x, y).boost(phi, c)
            assert hexes(q.x, q.y) == hexes(bx, by), (x, y, phi, c)
    tensions = tension_n([x for x, _ in points], [y for _, y in points])
    assert hexes(*(P(x, y).tension() for x, y in points)) == hexes(*tensions)


REPRS = [
    ((1, 2), "ZYLPoint(x=1.000000, y=2.000000)"),
    ((NAN, -INF), "ZYLPoint(x=NaN, y=-inf)"),
    ((0.0078125, -0.0), "ZYLPoint(x=0.007812, y=-0.000000)"),
    ((1e20, INF), "ZYLPoint(x=100000000000000000000.000000, y=inf)"),
]


@pytest.mark.parametrize("xy, text", REPRS)
def test_repr(xy, text):
    assert repr(P(*xy)) == text


ERRORS = [
    (lambda: P(), TypeError, "ZYLPoint.__new__() missing 2 required positional arguments: 'x' and 'y'"),
    (lambda: P(1.0, y="a"), TypeError, "argument 'y': must be real number, not str"),
    (lambda: P(1, 2).conserves_tension(3, 1.0), TypeError,
     "argument 'next': 'int' object cannot be converted to 'ZYLPoint'"),
    (lambda: P(1, 2).conserves_tension(ZYLPair(1, 2), 1.0), TypeError,
     "argument 'next': 'ZYLPair' object cannot be converted to 'ZYLPoint'"),
    (lambda: P(1, 2).minkowski_delta(1, 1.0), TypeError,
     "argument 'plus_signature': 'int' object cannot be converted to 'PyBool'"),
    (lambda: P(1, 2).boost(1.0), TypeError, "ZYLPoint.boost() missing 1 required positional argument: 'c'"),
    (lambda: P(1, 2).boost(0.0, 1.0, phi=1.0), TypeError,
     "ZYLPoint.boost() got multiple values for argument 'phi'"),
    (lambda: P(1, 2).boost(0.0, 1.0, 2.0), TypeError,
     "ZYLPoint.boost() takes 2 positional arguments but 3 were given"),
    (lambda: P(1, 2).tension(1), TypeError, "ZYLPoint.tension() takes no arguments (1 given)"),
    (lambda: P(2**1024, 1.0), OverflowError, "int too large to convert to float"),
]


@pytest.mark.parametrize("call, exc, message", ERRORS)
def test_errors(call, exc, message):
    with pytest.raises(exc) as info:
        call()
    assert type(info.value) is exc and str(info.value) == message


def test_surface():
    assert P.__text_signature__ == "(x, y)" and P.__doc__ == ""
    assert [n for n in vars(P) if not n.startswith("__")] == [
        "tension", "zyl", "mirror_pulse", "pulse", "frame_shift", "is_slipping", "conserves_tension", "pair",
        "euclidean_delta", "minkowski_delta", "boost", "x", "y"]
    assert P.conserves_tension.__text_signature__ == "($self, next, tol)"
    assert P.zyl.__doc__ == "Alias for tension() — zyl(x, y) = exp(x) - ln(y)."
    assert P.boost.__doc__.startswith("Lorentz boost by rapidity phi. Returns new ZYLPoint with identical Δ_M.\n")
    p = P(y=2.0, x=1.0)
    assert (p.x, p.y) == (1.0, 2.0)
    with pytest.raises(AttributeError):
        p.x = 3.0
    assert p != P(p.x, p.y) and p == p and hash(p) == hash(p)
    assert not gc.is_tracked(p)
