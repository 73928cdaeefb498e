"""The kernels' NaN rules hold for signalling NaNs too. glibc treats a
signalling NaN differently from a quiet one in a few places (pow(x, 0) and
pow(1, y) give NaN, fmax does not ignore it), so every rule that fixes a
result for NaN input is checked with both kinds, bit for bit."""
import math
import struct

import pytest

import zyl_core as z


def from_bits(b):
    return struct.unpack("<d", b.to_bytes(8, "little"))[0]


def to_bits(v):
    return int.from_bytes(struct.pack("<d", v), "little")


SNANS = [from_bits(0x7FF0000000000001), from_bits(0xFFF0000000000001), from_bits(0x7FF4000000000000)]
QNAN = math.nan
DEFAULT_QNAN_BITS = 0x7FF8000000000000


def test_the_signalling_nans_survive_the_trip_into_python():
    assert [to_bits(s) & 0x0008000000000000 for s in SNANS] == [0, 0, 0]
    assert all(math.isnan(s) for s in SNANS)


# Rules with a fixed, non-NaN result for NaN input: exact bits.
FIXED = [
    ("pow(nan, 0) = 1", lambda n: z.pow_n([n, n], [0.0, -0.0]), [1.0, 1.0]),
    ("pow(1, nan) = 1", lambda n: z.pow_n([1.0, -1.0], [n, n]), [1.0, 1.0]),
    ("boost: NaN time clamped to the floor", lambda n: [z.boost_n([(0.0, n)], [0.0], 1.0)[0][0]],
     [-690.7755278982137]),
    ("christoffel: a NaN radius sits at the horizon", lambda n: z.christoffel_batch_n([(n, 0.0)], 0, 0, 1, 0.5),
     z.christoffel_batch_n([(math.log(0.5 + 1e-9), 0.0)], 0, 0, 1, 0.5)),
    ("christoffel: a NaN rs is ignored by the clamp", lambda n: z.christoffel_batch_n([(1.0, 0.0)], 1, 0, 1, n),
     [0.0]),
]


@pytest.mark.parametrize("nan", SNANS + [QNAN], ids=["snan", "-snan", "snan-payload", "qnan"])
@pytest.mark.parametrize("name, call, expected", FIXED, ids=[f[0] for f in FIXED])
def test_fixed_results_for_nan_input(nan, name, call, expected):
    assert [to_bits(v) for v in call(nan)] == [to_bits(v) for v in expected], name


def test_tiny_divisor_gives_the_default_quiet_nan_whatever_the_dividend():
    for a in SNANS + [QNAN, 1.0]:
        assert to_bits(z.div_n([a], [0.0])[0]) == DEFAULT_QNAN_BITS


# Rules that say "NaN stays NaN": any NaN, whichever kind went in.
PROPAGATING = [
    lambda n: z.exp_n([n]),
    lambda n: z.ln_n([n]),
    lambda n: z.sqrt_n([n]),
    lambda n: z.sin_n([n]),
    lambda n: z.cos_n([n]),
    lambda n: z.div_n([1.0, n], [n, 2.0]),
    lambda n: z.pow_n([n, 2.0], [2.0, n]),
    lambda n: z.tension_n([n, 0.0], [1.0, n]),
    lambda n: [z.boost_n([(0.0, n)], [0.0], 1.0)[0][1]],
    lambda n: z.octonion_mul_n([[n] + [0.0] * 7], [[1.0] * 8])[0],
    lambda n: z.geometric_product_n([[n, 0.0]], [[1.0, 1.0]], [1])[0],
    lambda n: z.christoffel_batch_n([(1.0, 0.0)], 0, 0, 1, n),
]


@pytest.mark.parametrize("call", PROPAGATING)
def test_nan_stays_nan(call):
    for nan in SNANS:
        assert all(math.isnan(v) for v in call(nan))
