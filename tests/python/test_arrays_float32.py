"""float32 arrays stay float32: each value is the float64 rule's result on
the operands widened to float64, rounded once to float32. dtype= picks the
loop, `types` lists both loops, and complex input is refused."""
import functools
import itertools

import numpy as np
import pytest

import zyl_core as z
import zyl_core.arrays as za
from arrays_data import assert_same_bits, floats

F32 = np.float32
ELEMENTWISE = {name: 1 for name in ("exp_n", "ln_n", "sqrt_n", "sin_n", "cos_n")} | {
    name: 2 for name in ("add_n", "sub_n", "mul_n", "div_n", "pow_n", "tension_n")}


@pytest.fixture
def rng():
    return np.random.default_rng(32)


def f32(rng, shape):
    """float32 values over their whole range, specials included (out of range ones become +-inf)."""
    with np.errstate(over="ignore"):
        return floats(rng, shape).astype(F32)


def widened_then_rounded(ufunc, *operands, **kwargs):
    """What the float32 loop must give: the float64 loop on exactly widened operands, rounded once."""
    wide = [o.astype(np.float64) if isinstance(o, np.ndarray) and o.dtype == F32 else o for o in operands]
    with np.errstate(over="ignore"):
        return ufunc(*wide, **kwargs).astype(F32)


def assert_same_float32(actual, expected):
    assert actual.dtype == F32 and expected.dtype == F32
    assert_same_bits(actual.astype(np.float64), expected.astype(np.float64))


@pytest.mark.parametrize("n", [0, 1, 4099, 300_001])
@pytest.mark.parametrize("name", ELEMENTWISE)
def test_elementwise_float32_is_the_float64_rule_rounded_once(rng, name, n):
    ufunc = getattr(za, name)
    operands = [f32(rng, n) for _ in range(ELEMENTWISE[name])]
    assert_same_float32(ufunc(*operands), widened_then_rounded(ufunc, *operands))


def test_strided_and_in_place_float32(rng):
    x = f32(rng, (300, 7))
    view = x[::3, 1::2]
    assert_same_float32(za.tension_n(view, view.T[:1].T), widened_then_rounded(za.tension_n, view, view.T[:1].T))
    expected = widened_then_rounded(za.exp_n, x)
    assert za.exp_n(x, out=x) is x
    assert_same_float32(x, expected)


def test_generalized_float32(rng):
    a, b = f32(rng, (5001, 8)), f32(rng, (5001, 8))
    assert_same_float32(za.octonion_mul_n(a, b), widened_then_rounded(za.octonion_mul_n, a, b))
    assert_same_float32(za.octonion_mul_n(a[::-2, :], b[::2, :]),
                        widened_then_rounded(za.octonion_mul_n, a[::-2, :], b[::2, :]))
    mv = f32(rng, (2001, 8))
    sig = [1, -1, 1]
    assert_same_float32(za.geometric_product_n(mv, mv[::-1], sig),
                        widened_then_rounded(za.geometric_product_n, mv, mv[::-1], sig))
    pairs, phis = f32(rng, (3001, 2)), f32(rng, 3001)
    assert_same_float32(za.boost_n(pairs, phis, F32(0.5)), widened_then_rounded(za.boost_n, pairs, phis, F32(0.5)))
    assert_same_float32(za.rotate_phase_n(pairs.T[::-1].T, phis),
                        widened_then_rounded(za.rotate_phase_n, pairs.T[::-1].T, phis))
    points = f32(rng, (1001, 2))
    assert_same_float32(za.christoffel_batch_n(points, 1, 0, 1, F32(0.5)),
                        widened_then_rounded(za.christoffel_batch_n, points, 1, 0, 1, F32(0.5)))


def test_float32_reductions_round_every_step():
    # In float64, 2**24 + 1 is exact; in float32 each step rounds it back to 2**24.
    x = np.array([2.0**24] + [1.0] * 8, dtype=F32)
    assert za.add_n.reduce(x) == F32(2.0**24)
    steps = list(itertools.accumulate(x.tolist(), lambda a, b: float(F32(a + b))))
    assert za.add_n.accumulate(x).tolist() == steps
    assert za.mul_n.reduce(np.full(100, 1.5, dtype=F32)) == functools.reduce(
        lambda a, b: F32(float(a) * float(b)), np.full(100, 1.5, dtype=F32))


@pytest.mark.parametrize("operands, dtype", [
    ((np.ones(3, F32),), F32),
    ((np.ones(3, F32), 2.5), F32),                       # a Python float takes the array's dtype
    ((np.ones(3, F32), np.int16(2)), F32),
    ((np.ones(3, F32), np.float64(2.5)), np.float64),    # a float64 scalar does not
    ((np.ones(3, F32), np.arange(3)), np.float64),       # nor int64
    ((np.ones(3, F32), np.ones(3)), np.float64),
    ((np.ones(3, np.float16),), np.float64),
    (([1, 2],), np.float64),
])
def test_result_dtype_follows_numpys_promotion(operands, dtype):
    ufunc = za.exp_n if len(operands) == 1 else za.add_n
    assert ufunc(*operands).dtype == dtype


def test_dtype_picks_the_loop(rng):
    x64 = floats(rng, 1000)
    with np.errstate(over="ignore"):
        narrowed = x64.astype(F32)
        assert_same_float32(za.sin_n(x64, dtype=F32), widened_then_rounded(za.sin_n, narrowed))
    assert_same_bits(za.sin_n(narrowed, dtype=np.float64), z.sin_n(narrowed.astype(np.float64).tolist()))
    out = np.empty(1000, F32)
    assert za.sin_n(narrowed, out=out) is out
    assert_same_float32(out, widened_then_rounded(za.sin_n, narrowed))
    assert za.add_n(1.0, 2.0, signature=(F32, F32, F32)).dtype == F32


def test_types_lists_the_loops():
    for name in ELEMENTWISE:
        n = ELEMENTWISE[name]
        assert getattr(za, name).types == ["f" * n + "->f", "d" * n + "->d"]
    assert za.octonion_mul_n.types == ["ff->f", "dd->d"]
    int64 = np.dtype(np.int64).char
    assert za.geometric_product_n.types == [f"ff{int64}->f", f"dd{int64}->d"]
    assert za.christoffel_batch_n.types == [f"f{int64 * 3}f->f", f"d{int64 * 3}d->d"]
    assert za.boost_n.types == ["fff->f", "ddd->d"]
    assert za.exp_n.ntypes == 2


@pytest.mark.parametrize("call, position", [
    (lambda: za.exp_n(np.array([1 + 2j])), 0),
    (lambda: za.exp_n(1j), 0),
    (lambda: za.tension_n(np.ones(2), np.ones(2, np.complex64)), 1),
    (lambda: za.octonion_mul_n(np.ones(8), np.ones(8, complex)), 1),
])
def test_complex_input_is_refused_saying_why(call, position):
    with pytest.raises(TypeError, match=rf"takes real numbers only, but input {position} is complex"):
        call()
