"""zyl_core.arrays as kernels of dask arrays, on dask's threaded scheduler:
the element-wise ufuncs dispatch to dask through __array_ufunc__, every
function serves as the block function of map_blocks or apply_gufunc, and the
bits are those of the direct call on the whole array."""
import numpy as np
import pytest

import zyl_core.arrays as za
from arrays_data import assert_same_bits, floats, with_zeros

da = pytest.importorskip("dask.array")


@pytest.fixture
def rng():
    return np.random.default_rng(77)


def compute(lazy):
    assert isinstance(lazy, da.Array)
    return lazy.compute(scheduler="threads")


def test_element_wise_ufuncs_build_dask_graphs(rng):
    x, y = floats(rng, 100_003), floats(rng, 100_003)
    dx, dy = da.from_array(x, chunks=30_000), da.from_array(y, chunks=25_000)
    for fn in (za.exp_n, za.ln_n, za.sqrt_n, za.sin_n, za.cos_n):
        assert_same_bits(compute(fn(dx)), fn(x))
    for fn in (za.add_n, za.sub_n, za.mul_n, za.div_n, za.pow_n, za.tension_n):
        assert_same_bits(compute(fn(dx, dy)), fn(x, y))
    grid = da.from_array(x[:99_900].reshape(999, 100), chunks=(300, 40))
    assert_same_bits(compute(za.tension_n(grid, 2.0)), za.tension_n(x[:99_900].reshape(999, 100), 2.0))


def test_map_blocks(rng):
    x = floats(rng, (400, 300))
    dx = da.from_array(x, chunks=(150, 100))
    assert_same_bits(compute(da.map_blocks(za.exp_n, dx, dtype=np.float64)), za.exp_n(x))
    pairs = da.from_array(x.reshape(-1, 2), chunks=(7_000, 2))
    lazy = da.map_blocks(za.boost_n, pairs, 0.25, 1.5, dtype=np.float64)
    assert_same_bits(compute(lazy), za.boost_n(x.reshape(-1, 2), 0.25, 1.5))


def gufunc(fn, *args):
    """dask's apply_gufunc with the output dtype given: dask cannot infer it
    for core axes of fixed size (it tries the function on 1-element dummies),
    so calling a generalized ufunc on dask arrays directly needs this."""
    return da.apply_gufunc(fn, fn.signature, *args, output_dtypes=np.float64)


def test_generalized_ufuncs_through_apply_gufunc(rng):
    a, b = with_zeros(rng, floats(rng, (20_001, 8))), with_zeros(rng, floats(rng, (20_001, 8)))
    da_, db = da.from_array(a, chunks=(6_000, 8)), da.from_array(b, chunks=(6_000, 8))
    phis = da.from_array(b[:, 0], chunks=6_000)
    sig = np.array([1, 1, 1])
    for fn, lazy_args, args in [
        (za.octonion_mul_n, (da_, db), (a, b)),
        (za.geometric_product_n, (da_, db, sig), (a, b, sig)),
        (za.boost_n, (da_[:, :2], phis, 0.5), (a[:, :2], b[:, 0], 0.5)),
        (za.rotate_phase_n, (da_[:, 2:4], phis), (a[:, 2:4], b[:, 0])),
        (za.schrodinger_step_n, (da_[:, 2:4], phis, 0.1, 1.0), (a[:, 2:4], b[:, 0], 0.1, 1.0)),
        (za.christoffel_batch_n, (da_[:, :2], 1, 0, 0, 0.5), (a[:, :2], 1, 0, 0, 0.5)),
    ]:
        assert_same_bits(compute(gufunc(fn, *lazy_args)), fn(*args))
