"""Random inputs salted with the special values every element rule must get
right, shared by the tests of zyl_core.arrays."""
import math

import numpy as np

INF, NAN = math.inf, math.nan

SPECIALS = np.array([
    0.0, -0.0, INF, -INF, NAN, -NAN,
    5e-324, -5e-324, 2.225073858507201e-308, 2.2250738585072014e-308, 1e-310, -1e-310,
    1e-300, -1e-300, 1e-301, 9.999999999999999e-301,
    709.78, 709.78271, 709.782712893384, 709.7827128933841, 709.0, 710.0, 800.0, -745.2, -800.0,
    1.0, -1.0, 0.5, 2.0, -8.0, 1e308, -1e308, math.pi / 2,
])


def floats(rng, shape, special_share=0.3):
    """float64 values over many magnitudes, a share of them special."""
    n = int(np.prod(shape))
    values = rng.standard_normal(n) * 10.0 ** rng.uniform(-4, 3, n)
    pick = rng.random(n) < special_share
    values[pick] = rng.choice(SPECIALS, int(pick.sum()))
    return values.reshape(shape)


def with_zeros(rng, values, share=0.3):
    """Exact zeros of both signs mixed in, for the products that skip them."""
    values = values.copy()
    pick = rng.random(values.shape) < share
    values[pick] = rng.choice([0.0, -0.0], int(pick.sum()))
    return values


def bits(values):
    """The exact bit patterns, every NaN made the default one: which of two
    NaN operands an operation passes on is left open by IEEE 754 and by the
    compiler's operand order, so NaN payloads are not part of the results
    (the one rule that fixes them, div_n's, is tested on its own)."""
    v = np.array(values, dtype=np.float64)
    v[np.isnan(v)] = np.nan
    return v.view(np.uint64)


def assert_same_bits(actual, expected):
    a, e = bits(actual), bits(expected)
    assert a.shape == e.shape, (a.shape, e.shape)
    diff = np.flatnonzero(a.ravel() != e.ravel())
    assert diff.size == 0, f"{diff.size} values differ, first at flat index {diff[0]}: " \
        f"{np.asarray(actual).ravel()[diff[0]]!r} vs {np.asarray(expected).ravel()[diff[0]]!r}"
