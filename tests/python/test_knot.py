"""ZYLKnot and simulate_pulses_n: stepping, counts, phase, text form and limits."""
import math
import sys

import pytest

from zyl_core import ZYLKnot, ZYLPair, ZYLPoint, simulate_pulses_n

INF, NAN = math.inf, math.nan
K, P = ZYLKnot, ZYLPoint
I64_MAX = 2**63 - 1


def state(k):
    return [k.point.x.hex(), k.point.y.hex(), k.flip_count, k.phase.hex()]


def test_pulse_steps_a_copy():
    k = K(P(1.0, 2.0))
    for stepped in (k.pulse(), k.mirror_pulse()):
        assert state(stepped) == [(2.0).hex(), (2.0251346478990997).hex(), 1, (1.5707963267948966).hex()]
    assert state(k) == [(1.0).hex(), (2.0).hex(), 0, (0.0).hex()]
    assert K(P(0.0, 0.0)).mirror_pulse().point.x == 1e-300


@pytest.mark.parametrize("k", [K(P(1.0, 2.0)), K(P(-3.0, 0.0), I64_MAX - 1, -10.0), K(P(0.5, NAN), -7, 2.0)])
def test_flip_is_four_pulses(k):
    four = k.pulse().pulse().pulse().pulse()
    assert state(k.flip()) == state(k.three_one_flip()) == state(four)
    assert k.flip().flip_count == (k.flip_count + 4 + 2**63) % 2**64 - 2**63


@pytest.mark.parametrize("n, tread", [(7, 2), (8, 4), (-5, -2), (I64_MAX, 2 * (I64_MAX // 4)), (-2**63, -2**62)])
def test_tread_yield(n, tread):
    assert K(P(0.0, 1.0), n=n).tread_yield() == tread


PHASE_CASES = [(7.0, 0.7168146928204138), (-10.0, -3.7168146928204138), (-0.0, -0.0), (INF, NAN)]


@pytest.mark.parametrize("theta, phase", PHASE_CASES)
def test_phase_is_a_remainder(theta, phase):
    assert K(P(0.0, 1.0), theta=theta).phase.hex() == phase.hex()


def test_count_wraps_and_rho():
    assert K(P(0.0, 1.0), I64_MAX).pulse().flip_count == -(2**63)
    assert K(P(0.0, 1.0)).rho == 1.0 and K(P(0.0, 0.0)).rho == 691.7755278982137
    assert K(P(0.0, -2.718281828459045 ** 3)).rho == 2.0


def test_point_attribute_is_a_new_copy():
    p = P(1.0, 2.0)
    k = K(p)
    assert k.point is not k.point and k.point != k.point and k.point is not p
    assert (k.point.x, k.point.y) == (1.0, 2.0)


REPRS = [
    (K(P(1.0, 2.0)), "ZYLKnot(n=0, rho=2.025135, theta=0.0000, point=ZYLPoint { x: 1.0, y: 2.0 })"),
    (K(P(1.0, 2.0), -3, -0.0), "ZYLKnot(n=-3, rho=2.025135, theta=-0.0000, point=ZYLPoint { x: 1.0, y: 2.0 })"),
    (K(P(NAN, 1.0), theta=NAN), "ZYLKnot(n=0, rho=NaN, theta=NaN, point=ZYLPoint { x: NaN, y: 1.0 })"),
]


@pytest.mark.parametrize("k, text", REPRS)
def test_repr(k, text):
    assert repr(k) == text


DEBUG_FORMS = [  # the point's shortest form switches to an exponent outside [1e-4, 1e16)
    (1e16, "1e16"), (9999999999999998.0, "9999999999999998.0"), (1e-4, "0.0001"),
    (9.999999999999999e-05, "9.999999999999999e-5"), (1.5e-10, "1.5e-10"), (-0.0, "-0.0"),
    (1.2345678901234567e19, "1.2345678901234567e19"), (1234.5, "1234.5"), (-INF, "-inf"), (1e20, "1e20"),
]


@pytest.mark.parametrize("x, text", DEBUG_FORMS)
def test_point_debug_form(x, text):
    assert repr(K(P(x, -0.5))).endswith(f", point=ZYLPoint {{ x: {text}, y: -0.5 }})")


ERRORS = [
    (lambda: K(), TypeError, "ZYLKnot.__new__() missing 1 required positional argument: 'point'"),
    (lambda: K(3), TypeError, "argument 'point': 'int' object cannot be converted to 'ZYLPoint'"),
    (lambda: K(P(0, 1), None), TypeError, "argument 'n': 'NoneType' object cannot be interpreted as an integer"),
    (lambda: K(P(0, 1), theta=None), TypeError, "argument 'theta': must be real number, not NoneType"),
    (lambda: K(P(0, 1), 2**63), OverflowError, "int too big to convert"),
    (lambda: K(P(0, 1), 1, 0.0, 2), TypeError,
     "ZYLKnot.__new__() takes from 1 to 3 positional arguments but 4 were given"),
    (lambda: K(P(0, 1), point=P(0, 1)), TypeError, "ZYLKnot.__new__() got multiple values for argument 'point'"),
    (lambda: simulate_pulses_n(0.0, 1.0, -1), OverflowError, "can't convert negative int to unsigned"),
    (lambda: simulate_pulses_n(0.0, 1.0, 2**64), OverflowError, "int too big to convert"),
    (lambda: simulate_pulses_n(0.0, 1.0, 1.0), TypeError,
     "argument 'n_pulses': 'float' object cannot be interpreted as an integer"),
]


@pytest.mark.parametrize("call, exc, message", ERRORS)
def test_errors(call, exc, message):
    with pytest.raises(exc) as info:
        call()
    assert type(info.value) is exc and str(info.value) == message


def test_simulate_pulses():
    assert simulate_pulses_n(0.0, 1.0, 3) == [
        (0.0, 1.0, 1.0), (1.0, 1.0, 2.718281828459045), (1.0, 2.718281828459045, 1.718281828459045),
        (2.718281828459045, 1.718281828459045, 14.612937386866344)]
    assert simulate_pulses_n(x0=0.5, y0=-2.0, n_pulses=0) == [(0.5, -2.0, P(0.5, -2.0).tension())]


@pytest.mark.parametrize("x0, y0", [(1.0, 2.0), (0.0, 0.0), (-3.0, NAN), (710.0, -1e-310), (-INF, INF)])
def test_trajectory_follows_the_knot(x0, y0):
    k = K(P(x0, y0))
    for x, y, tension in simulate_pulses_n(x0, y0, 6):
        p = k.point
        assert [x.hex(), y.hex(), tension.hex()] == [p.x.hex(), p.y.hex(), p.tension().hex()]
        k = k.pulse()


@pytest.mark.parametrize("n", [2**48, 2**62, 2**64 - 1])
def test_unaddressable_trajectory_is_memory_error(n):
    with pytest.raises(MemoryError):
        simulate_pulses_n(0.0, 1.0, n)


def test_freed_instances_release_their_type():
    def churn():
        for _ in range(1000):
            K(P(1.0, 2.0)).pulse().point.pair().conjugate()

    churn()
    before = [sys.getrefcount(t) for t in (K, P, ZYLPair)]
    churn()
    assert [sys.getrefcount(t) for t in (K, P, ZYLPair)] == before


def test_surface():
    assert K.__text_signature__ == "(point, n=0, theta=0.0)" and K.__doc__ == ""
    assert [n for n in vars(K) if not n.startswith("__")] == [
        "mirror_pulse", "pulse", "three_one_flip", "flip", "tread_yield", "rho", "point", "flip_count", "phase"]
    assert K.flip.__text_signature__ == "($self)" and K.flip.__doc__ == "Alias for three_one_flip()."
    assert K.pulse.__doc__ == "Alias for mirror_pulse()."
    assert simulate_pulses_n.__doc__ == "Simulate n_pulses of mirror_pulse, returning (x, y, tension) per step."
    with pytest.raises(AttributeError):
        K(P(0, 1)).flip_count = 3
