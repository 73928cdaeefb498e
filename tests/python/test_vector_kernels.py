"""The functions that run the vector exp/log/pow/sin/cos kernels give, element for
element, the bits of the C library's scalar functions (called here through
ctypes, the same library the module uses), NaN payloads included, over
contiguous, strided and in-place arrays and the list functions alike."""
import ctypes
import ctypes.util
import math

import numpy as np
import pytest

import zyl_core as z
import zyl_core.arrays as za

LIBM = ctypes.CDLL(ctypes.util.find_library("m"))
for _name, _nargs in (("exp", 1), ("log", 1), ("pow", 2), ("sin", 1), ("cos", 1)):
    getattr(LIBM, _name).restype = ctypes.c_double
    getattr(LIBM, _name).argtypes = [ctypes.c_double] * _nargs

FLOOR_LOG = -690.7755278982137


def exp_term(x):
    return LIBM.exp(LIBM.log(x) if x > 709.782712893384 else x)


def log_term(y):
    m = y if not y <= 0.0 else -y
    return FLOOR_LOG if m == 0.0 else LIBM.log(m)


def pow_abs(base, e):
    m = abs(base)
    return 1.0 if e == 0.0 or m == 1.0 else LIBM.pow(m, e)


def tension(x, y):
    return exp_term(x) - log_term(y)


SPECIALS = [0.0, -0.0, math.inf, -math.inf, math.nan, 5e-324, -5e-324, 2.2250738585072014e-308, 1.7976931348623157e308,
            1.0, -1.0, 2.0 ** -54, 512.0, -512.0, 709.782712893384, 710.0, -745.2, 0.9375, 1.0647, 1e-300, -1e-300]


def inputs(n, low, high, seed):
    """Specials (as many as fit), a quarter random bit patterns (NaN
    payloads, subnormals, every exponent) and the rest uniform over
    [low, high)."""
    rng = np.random.default_rng(seed)
    v = rng.uniform(low, high, n)
    v[: n // 4] = rng.integers(0, 2**64, n // 4, dtype=np.uint64).view(np.float64)
    k = min(n, len(SPECIALS))
    v[n - k:] = np.roll(SPECIALS, seed)[:k]
    rng.shuffle(v)
    return v


def expected(rule, *args):
    return np.array([rule(*map(float, vals)) for vals in zip(*args)], dtype=np.float64)


def assert_bits(got, want):
    got, want = np.asarray(got, dtype=np.float64), np.asarray(want, dtype=np.float64)
    assert got.shape == want.shape
    diff = np.flatnonzero(got.view(np.uint64) != want.view(np.uint64))
    assert diff.size == 0, [(int(i), float(got[i]), float(want[i])) for i in diff[:5]]


UNARY = [(za.exp_n, z.exp_n, exp_term, -800.0, 800.0), (za.ln_n, z.ln_n, log_term, -3.0, 3.0),
         (za.ln_n, z.ln_n, log_term, 1e-300, 1e300), (za.sin_n, z.sin_n, LIBM.sin, -10.0, 10.0),
         (za.cos_n, z.cos_n, LIBM.cos, -1e6, 1e6)]
BINARY = [(za.pow_n, z.pow_n, pow_abs, (-10.0, 10.0), (-60.0, 60.0)),
          (za.tension_n, z.tension_n, tension, (-30.0, 30.0), (-5.0, 5.0))]


@pytest.mark.parametrize("ufunc, listfn, rule, low, high", UNARY, ids=["exp_n", "ln_n", "ln_n wide", "sin_n", "cos_n"])
@pytest.mark.parametrize("n", [1, 7, 1023, 20001])
def test_unary_functions_give_the_library_bits(ufunc, listfn, rule, low, high, n):
    x = inputs(n, low, high, seed=n)
    want = expected(rule, x)
    assert_bits(ufunc(x), want)
    assert_bits(listfn(x.tolist()), want)
    assert_bits(ufunc(np.repeat(x, 2)[::2]), want)  # strided
    same = x.copy()
    ufunc(same, out=same)
    assert_bits(same, want)


@pytest.mark.parametrize("ufunc, listfn, rule, a_range, b_range", BINARY, ids=["pow_n", "tension_n"])
@pytest.mark.parametrize("n", [3, 9, 20001])
def test_binary_functions_give_the_library_bits(ufunc, listfn, rule, a_range, b_range, n):
    a, b = inputs(n, *a_range, seed=2 * n), inputs(n, *b_range, seed=2 * n + 1)
    want = expected(rule, a, b)
    assert_bits(ufunc(a, b), want)
    assert_bits(listfn(a.tolist(), b.tolist()), want)
    out = b.copy()
    ufunc(a, out, out=out)
    assert_bits(out, want)


def test_every_pair_of_special_values():
    a, b = np.meshgrid(np.array(SPECIALS), np.array(SPECIALS))
    a, b = a.ravel(), b.ravel()
    assert_bits(za.pow_n(a, b), expected(pow_abs, a, b))
    assert_bits(za.tension_n(a, b), expected(tension, a, b))


@pytest.mark.parametrize("mode", ["upward", "downward"])
def test_other_rounding_modes_get_the_library_in_that_mode(mode):
    # Small arrays run on the calling thread, in its rounding mode: there
    # the library's own functions must decide, as they did before.
    LIBM.fesetround.argtypes = [ctypes.c_int]
    x = inputs(200, -20.0, 20.0, seed=3)
    old = LIBM.fegetround()
    assert LIBM.fesetround({"upward": 0x800, "downward": 0x400}[mode]) == 0
    try:
        got = [za.exp_n(x), za.ln_n(x), z.ln_n(x.tolist()), za.pow_n(x, x), za.sin_n(x), za.cos_n(x)]
        want = [expected(exp_term, x), expected(log_term, x), expected(log_term, x), expected(pow_abs, x, x),
                expected(LIBM.sin, x), expected(LIBM.cos, x)]
    finally:
        LIBM.fesetround(old)
    for g, w in zip(got, want):
        assert_bits(g, w)


def test_vector_kernels_reports_each_function():
    active = za.vector_kernels()
    assert set(active) == {"exp", "log", "pow", "sin", "cos", "exp_n", "ln_n", "pow_n", "tension_n", "zyl"}
    assert set(active.values()) <= {"avx512", "avx2", "scalar"}
    assert "vector_kernels" not in z.__all__ and "vector_kernels" not in za.__all__


def test_results_do_not_depend_on_the_pool_size(python_in_subprocess):
    code = """
        import numpy as np, zyl_core.arrays as za
        x = np.random.default_rng(5).uniform(-700, 700, 300_000)
        print(za.exp_n(x).tobytes().hex()[:64], za.exp_n(x).view(np.uint64).sum() % 2**61)
    """
    runs = {python_in_subprocess(code, RAYON_NUM_THREADS=t) for t in ("1", "2", "5")}
    assert len(runs) == 1
