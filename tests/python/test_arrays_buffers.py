"""The list API reads numpy arrays, array.array and memoryview objects
through the buffer protocol: the same values and the same errors as when
their items are converted one by one."""
import array

import numpy as np
import pytest

import zyl_core as z
from arrays_data import assert_same_bits, floats


# numpy warns while making some of the inputs (casts of NaN to integers).
pytestmark = pytest.mark.filterwarnings("ignore::RuntimeWarning")


def item_by_item(values):
    """The same items in a plain list: what the item path sees."""
    return list(values)


@pytest.fixture
def x():
    return floats(np.random.default_rng(3), 5001)


@pytest.mark.parametrize("view", [
    lambda x: x,
    lambda x: x[::3],
    lambda x: x[::-2],
    lambda x: x.reshape(-1, 3)[:, 1],
    lambda x: x.astype(np.float32),
    lambda x: x.astype(">f8"),
    lambda x: x.astype(np.longdouble),
    lambda x: (x * 1e3).astype(np.int64),
    lambda x: (x * 1e3).astype(np.int8),
    lambda x: (x * 1e3).astype(np.uint64),
    lambda x: (x * 1e3).astype(np.uint16),
    lambda x: x > 0,
    lambda x: memoryview(x),
    lambda x: memoryview(x)[::-5],
    lambda x: memoryview(x.astype(np.int32)),
    lambda x: memoryview(x.tobytes()).cast("f"),
    lambda x: array.array("d", x.tolist()),
    lambda x: array.array("f", x.tolist()),
    lambda x: array.array("q", (x * 1e3).astype(np.int64).tolist()),
    lambda x: array.array("B", (abs(x) % 256).astype(np.uint8).tolist()),
], ids=lambda f: "")
def test_values_equal_the_item_path(x, view):
    values = view(x)
    for fn in (z.exp_n, z.sqrt_n):
        assert_same_bits(fn(values), fn(item_by_item(values)))
    assert_same_bits(z.tension_n(values, values), z.tension_n(item_by_item(values), item_by_item(values)))


@pytest.mark.parametrize("values", [
    np.zeros((2, 2)),
    np.zeros((3, 1)),
    np.array([1 + 2j]),
    np.array(["a"]),
    np.array([1.0, None], dtype=object),
    np.ma.masked_array([1.0, 2.0], mask=[False, True]),
    memoryview(b"ab").cast("c"),
    array.array("w", "ab"),
], ids=lambda v: type(v).__name__)
def test_other_arrays_keep_the_item_path(values):
    """Shapes, formats and subclasses whose items convert differently (or
    fail) behave exactly as their items do, messages included."""
    import warnings

    def outcome(arg):
        with warnings.catch_warnings():
            warnings.simplefilter("ignore")
            try:
                return ("ok", z.sin_n(arg))
            except Exception as e:
                return (type(e), str(e))

    got, want = outcome(values), outcome(item_by_item(values))
    if got[0] == "ok" and want[0] == "ok":
        assert_same_bits(got[1], want[1])
    else:
        assert got == want


def test_zero_dimensional_array_is_refused_as_before():
    with pytest.raises(TypeError, match="^argument 'xs': iteration over a 0-d array$"):
        z.sin_n(np.array(2.5))


def test_octets_from_a_two_dimensional_array(x):
    a, b = x[:800].reshape(100, 8), x[800:1600].reshape(100, 8)
    assert_same_bits(z.octonion_mul_n(a, b[::-1]), z.octonion_mul_n(a.tolist(), b[::-1].tolist()))
    assert_same_bits(z.octonion_mul_n(a.astype(np.float32), b), z.octonion_mul_n(list(a.astype(np.float32)), list(b)))
    with pytest.raises(ValueError, match=r"^expected a sequence of length 8 \(got 7\)$"):
        z.octonion_mul_n(np.zeros((2, 7)), np.zeros((2, 8)))


def test_nested_rows_of_a_two_dimensional_array(x):
    a = x[:400].reshape(100, 4)
    assert_same_bits(z.geometric_product_n(a, a[::-1], [1, -1]), z.geometric_product_n(a.tolist(), a[::-1].tolist(), [1, -1]))


def test_empty_and_released_buffers():
    # Iterating a released memoryview would read its freed format string;
    # the buffer read refuses it with the memoryview's own error instead.
    assert z.exp_n(np.array([])) == []
    assert z.exp_n(memoryview(b"")) == []
    m = memoryview(np.ones(3))
    m.release()
    with pytest.raises(ValueError, match="operation forbidden on released memoryview object"):
        z.exp_n(m)
