"""Element rules of the batch kernels, compared bit for bit."""
import math
import random
import struct

import pytest

import zyl_core as z

INF, NAN = math.inf, math.nan


def bits(values):
    # Any NaN matches any NaN here; the one rule that fixes the NaN's bits is
    # tested on its own.
    return [b"nan" if math.isnan(v) else struct.pack("<d", v) for v in values]


def same(actual, expected):
    assert bits(actual) == bits(expected), (actual, expected)


E_CASES = [
    (709.0, 8.218407461554972e307),
    (710.0, 710.0000000000002),
    (1000.0, 999.9999999999998),
    (709.782712893384, 1.7976931348622732e308),
    (INF, INF),
    (-INF, 0.0),
    (0.0, 1.0),
]

L_CASES = [
    (0.0, -690.7755278982137),
    (-0.0, -690.7755278982137),
    (-2.0, 0.6931471805599453),
    (1e-310, math.log(1e-310)),
    (-INF, INF),
    (1.0, 0.0),
]


@pytest.mark.parametrize("x, expected", E_CASES)
def test_exp_term(x, expected):
    same(z.exp_n([x]), [expected])


@pytest.mark.parametrize("y, expected", L_CASES)
def test_log_term(y, expected):
    same(z.ln_n([y]), [expected])


def test_nan_passes_through_every_unary_rule():
    for fn in (z.exp_n, z.ln_n, z.sqrt_n, z.sin_n, z.cos_n):
        assert math.isnan(fn([NAN])[0]), fn.__name__


ZIPPED_CASES = [
    (z.div_n, [1.0, 1.0, 1.0, 1.0, 1.0, 1.0], [0.0, -0.0, 1e-301, 1e-300, INF, 5e-324],
     [NAN, NAN, NAN, 9.999999999999999e299, 0.0, NAN]),
    (z.pow_n, [-8.0, 0.0, NAN, 1.0, -0.0], [2.0, -1.0, 0.0, NAN, -1.0], [64.0, INF, 1.0, 1.0, INF]),
    (z.sub_n, [5.0, 0.0], [3.0, 0.0], [2.0, 0.0]),
    (z.add_n, [0.1, -0.0, INF], [0.2, -0.0, -INF], [0.30000000000000004, -0.0, NAN]),
    (z.mul_n, [0.1, -0.0, 0.0], [3.0, 1.0, INF], [0.30000000000000004, -0.0, NAN]),
    (z.tension_n, [0.0, 0.0, 0.0, 710.0], [1.0, 0.0, -1.0, 1.0], [1.0, 691.7755278982137, 1.0, 710.0000000000002]),
]


@pytest.mark.parametrize("fn, a, b, expected", ZIPPED_CASES, ids=lambda v: getattr(v, "__name__", ""))
def test_zipped_rules(fn, a, b, expected):
    same(fn(a, b), expected)


def test_div_nan_is_the_default_quiet_nan():
    assert struct.pack("<d", z.div_n([1.0], [0.0])[0]) == struct.pack("<d", float("nan"))


def test_sqrt_of_magnitude():
    same(z.sqrt_n([-4.0, -0.0, 2.0]), [2.0, 0.0, math.sqrt(2.0)])


def test_zipped_inputs_stop_at_the_shorter():
    assert z.add_n([1.0, 2.0, 3.0], [10.0]) == [11.0]
    assert z.boost_n([(1.0, 2.0), (3.0, 4.0)], [0.1], 1.0) == z.boost_n([(1.0, 2.0)], [0.1], 1.0)
    assert z.exp_n([]) == [] and z.add_n([], [1.0]) == [] and z.boost_n([], [], 1.0) == []


BOOST_CASES = [
    ((0.0, 0.0), 0.0, 1.0, (0.0, math.exp(-690.7755278982137))),
    ((1.0, 2.0), 0.5, 1.0, (0.9947356451247424, 0.5300027195037522)),
    ((1.0, 2.0), 0.0, 0.0, (-690.7755278982137, 2.0)),
    ((0.5, 2.0), 0.0, 1.0, (0.5, 2.0)),
    ((0.0, 1e-320), 0.0, 1.0, (0.0, math.exp(-709.0))),
    ((0.0, 1e308), 0.0, 1.0, (0.0, math.exp(709.0))),
]


@pytest.mark.parametrize("point, phi, c, expected", BOOST_CASES)
def test_boost_rule(point, phi, c, expected):
    (result,) = z.boost_n([point], [phi], c)
    same(result, expected)


def reference_boost(x, y, phi, c):
    sh, ch = math.sinh(phi), math.cosh(phi)
    yy = y if not y <= 0 else (abs(y) if abs(y) > 1e-300 else 1e-300)
    s = math.log(yy) if yy == yy else yy
    t = math.exp(math.log(x)) if x > 709.782712893384 else math.exp(x)
    s1 = ch * s - (c * t) * sh
    s1 = -709.0 if s1 < -709.0 else s1
    s1 = 709.0 if s1 > 709.0 else s1
    t1 = t * ch - (s / c) * sh
    t1 = t1 if t1 > 1e-300 else 1e-300
    return (math.log(t1), math.exp(s1) if s1 == s1 else s1)


def test_boost_matches_reference_on_random_points():
    rng = random.Random(7)
    points = [(rng.uniform(-5, 5), rng.uniform(-10, 10)) for _ in range(2000)]
    phis = [rng.uniform(-2, 2) for _ in points]
    for got, p, phi in zip(z.boost_n(points, phis, 1.5), points, phis):
        same(got, reference_boost(p[0], p[1], phi, 1.5))


def test_large_inputs_match_math_module():
    rng = random.Random(3)
    xs = [rng.uniform(-700, 700) for _ in range(100_003)]
    same(z.exp_n(xs), [math.exp(x) for x in xs])
    same(z.sin_n(xs), [math.sin(x) for x in xs])
    ys = [rng.uniform(-5, 5) for _ in xs]
    same(z.add_n(xs, ys), [a + b for a, b in zip(xs, ys)])
    exps = [rng.uniform(-3, 3) for _ in ys]
    same(z.pow_n(ys, exps), [math.pow(abs(b), e) for b, e in zip(ys, exps)])
