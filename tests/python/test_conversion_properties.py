"""The conversion layer against hostile input, property by property.

Whatever the input, a batch call either returns the scalar rule's value for
what the interpreter's own conversions make of the input, or raises one of
the documented exceptions (TypeError, ValueError, OverflowError) or the
exception the input itself raised (Hostile here). Inputs are built from
recipes, so that the call and the reference each get a fresh copy of
objects that change themselves while being converted."""
import math
import operator
import struct
import warnings

import numpy as np
import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st
from hypothesis.extra import numpy as hnp

import zyl_core as z


class Hostile(Exception):
    """Raised by the hostile objects themselves."""


DOCUMENTED = (TypeError, ValueError, OverflowError, Hostile)

# ---------------------------------------------------------------- recipes --
# A value recipe is a tuple (kind, *args); build_value makes the object. The
# container it will sit in is passed along, for the values that mutate it.


class Floaty:
    def __init__(self, v):
        self.v = v

    def __float__(self):
        return self.v


class Indexy:
    def __init__(self, i):
        self.i = i

    def __index__(self):
        return self.i


class RaisesFloat:
    def __float__(self):
        raise Hostile("__float__")


class RaisesIndex:
    def __index__(self):
        raise Hostile("__index__")


class FloatGivesStr:
    def __float__(self):
        return "1.0"


class Mutator:
    """Changes its container the first time it is converted."""

    def __init__(self, container, op):
        self.container, self.op, self.done = container, op, False

    def __float__(self):
        if not self.done:
            self.done = True
            if self.op == "append":
                self.container.append(2.5)
            elif self.op == "pop":
                if self.container:
                    self.container.pop()
            elif self.op == "clear":
                self.container.clear()
            elif self.op == "shrink3":
                del self.container[-3:]
        return 1.5

    __index__ = None


def build_value(recipe, container):
    kind, *args = recipe
    return {
        "float": lambda: args[0],
        "int": lambda: args[0],
        "bool": lambda: args[0],
        "floaty": lambda: Floaty(args[0]),
        "indexy": lambda: Indexy(args[0]),
        "raises_float": RaisesFloat,
        "raises_index": RaisesIndex,
        "float_gives_str": FloatGivesStr,
        "str": lambda: args[0],
        "none": lambda: None,
        "mutator": lambda: Mutator(container, args[0]),
        "np_scalar": lambda: np.array([args[1]]).astype(args[0])[0],
    }[kind]()


finite_or_not = st.floats(allow_nan=True, allow_infinity=True)
values = st.one_of(
    st.tuples(st.just("float"), finite_or_not),
    st.tuples(st.just("int"), st.one_of(st.integers(-2**70, 2**70), st.sampled_from([2**1024, -2**1100]))),
    st.tuples(st.just("bool"), st.booleans()),
    st.tuples(st.just("floaty"), finite_or_not),
    st.tuples(st.just("indexy"), st.integers(-2**1030, 2**1030)),
    st.sampled_from([("raises_float",), ("raises_index",), ("float_gives_str",), ("none",)]),
    st.tuples(st.just("str"), st.text(max_size=3)),
    st.tuples(st.just("mutator"), st.sampled_from(["append", "pop", "clear", "shrink3"])),
    st.tuples(st.just("np_scalar"), st.sampled_from(["float16", "float32", "int8", "uint64", "bool", "complex64"]),
              st.floats(-100, 100)),
)


class LyingLength:
    """A sequence by index whose __len__ claims `claimed` (or raises)."""

    def __init__(self, items, claimed):
        self.items, self.claimed = items, claimed

    def __len__(self):
        if self.claimed is None:
            raise Hostile("__len__")
        return self.claimed

    def __getitem__(self, i):
        return self.items[i]


class RaisingIter:
    """A sequence whose iterator raises after `k` items."""

    def __init__(self, items, k):
        self.items, self.k = items, k

    def __len__(self):
        return len(self.items)

    def __getitem__(self, i):
        return self.items[i]

    def __iter__(self):
        for i, v in enumerate(self.items):
            if i == self.k:
                raise Hostile("__iter__")
            yield v


def build_container(recipe, build_item=build_value):
    kind, item_recipes, extra = recipe
    items = []
    if kind == "list":
        items.extend(build_item(r, items) for r in item_recipes)
        return items
    items.extend(build_item(r, items) for r in item_recipes)
    if kind == "tuple":
        return tuple(items)
    if kind == "lying":
        return LyingLength(items, extra)
    return RaisingIter(items, extra)


def containers(item_recipe, max_size=10):
    items = st.lists(item_recipe, max_size=max_size)
    return st.one_of(
        st.tuples(st.sampled_from(["list", "tuple"]), items, st.none()),
        st.tuples(st.just("lying"), items, st.one_of(st.none(), st.integers(0, 2**62), st.just(-1))),
        st.tuples(st.just("raising_iter"), items, st.integers(0, max_size)),
    )


# ------------------------------------------------------------- reference --
# What the interpreter's own conversions make of the input.


def as_double(v):
    if isinstance(v, float):
        return float.__float__(v)
    t = type(v)
    if getattr(t, "__float__", None) is not None:
        r = t.__float__(v)
        if not isinstance(r, float):
            raise TypeError("__float__ returned non-float")
        return float.__float__(r)
    if getattr(t, "__index__", None) is not None:
        return float(operator.index(v))
    raise TypeError(f"must be real number, not {t.__name__}")


def as_sequence(obj):
    if isinstance(obj, str) or isinstance(obj, dict) or getattr(type(obj), "__getitem__", None) is None:
        raise TypeError("not a sequence")
    return iter(obj)


def ref_floats(obj):
    return [as_double(v) for v in as_sequence(obj)]


def outcome(call):
    """('ok', result) or ('raised', exception type)."""
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        try:
            return "ok", call()
        except BaseException as e:  # noqa: BLE001 - a panic or crash must show up as a failure
            assert isinstance(e, DOCUMENTED), f"undocumented {type(e).__name__}: {e}"
            return "raised", type(e)


def bits(values):
    return [struct.pack("<d", v) if not math.isnan(v) else b"nan" for v in values]


def rows_bits(rows):
    return [bits(r) for r in rows]


def assert_same(got, expected, as_bits=bits):
    """Both accepted with the same bits, or both refused with one type."""
    assert got[0] == expected[0], (got, expected)
    if got[0] == "ok":
        assert as_bits(got[1]) == as_bits(expected[1])
    else:
        assert got[1] is expected[1]


PROPERTY = settings(max_examples=100, deadline=None, suppress_health_check=[HealthCheck.too_slow])

# ------------------------------------------------------------- properties --


@PROPERTY
@given(containers(values))
def test_float_sequences(recipe):
    got = outcome(lambda: z.sqrt_n(build_container(recipe)))
    expected = outcome(lambda: [math.sqrt(abs(v)) for v in ref_floats(build_container(recipe))])
    assert_same(got, expected)


def build_pair(recipe, container):
    kind, items = recipe
    made = [build_value(r, container) for r in items]
    return tuple(made) if kind == "tuple" else made


pairs = st.tuples(st.sampled_from(["tuple", "tuple", "tuple", "list"]), st.lists(values, min_size=1, max_size=3))


@PROPERTY
@given(containers(pairs, max_size=6))
def test_pair_sequences(recipe):
    got = outcome(lambda: z.rotate_phase_n(build_container(recipe, build_pair), [0.25] * 10))

    def reference():
        out = []
        for p in as_sequence(build_container(recipe, build_pair)):
            if not isinstance(p, tuple):
                raise TypeError("not a tuple")
            if len(p) != 2:
                raise ValueError("length")
            out.append((as_double(p[0]), as_double(p[1])))
        return z.rotate_phase_n(out, [0.25] * len(out))

    assert_same(got, outcome(reference), rows_bits)


def build_row(recipe, container):
    return build_container(recipe)


rows = containers(values, max_size=9)
E0 = [1.0] + [0.0] * 7


@PROPERTY
@given(st.lists(rows, max_size=4))
def test_octet_sequences(row_recipes):
    got = outcome(lambda: z.octonion_mul_n([build_container(r) for r in row_recipes], [E0] * 4))

    def reference():
        out = []
        for row in (build_container(r) for r in row_recipes):
            as_sequence(row)
            n = len(row)
            if n != 8:
                raise ValueError("length")
            octet = []
            for k in range(8):
                try:
                    item = row[k]
                except IndexError:
                    raise ValueError("shrunk") from None
                octet.append(as_double(item))
            out.append(octet)
        return z.octonion_mul_n(out, [E0] * len(out))

    assert_same(got, outcome(reference), rows_bits)


small_ints = st.one_of(
    st.tuples(st.just("int"), st.integers(-200, 200)),
    st.tuples(st.just("indexy"), st.integers(-200, 200)),
    st.tuples(st.just("bool"), st.booleans()),
    st.sampled_from([("raises_index",), ("none",), ("float", 1.0)]),
)


@PROPERTY
@given(st.lists(rows, max_size=3), containers(small_ints, max_size=4))
def test_nested_and_small_int_sequences(row_recipes, sig_recipe):
    ones = [[1.0] * 16] * 3
    got = outcome(lambda: z.geometric_product_n([build_container(r) for r in row_recipes], ones,
                                                build_container(sig_recipe)))

    def reference():
        a = [ref_floats(build_container(r)) for r in row_recipes]
        sig = []
        for v in as_sequence(build_container(sig_recipe)):
            i = operator.index(v)
            if not -128 <= i <= 127:
                raise OverflowError("out of range")
            sig.append(i)
        return z.geometric_product_n(a, ones, sig)

    assert_same(got, outcome(reference), rows_bits)


every_dtype = st.one_of(hnp.scalar_dtypes(), hnp.byte_string_dtypes(max_len=3), hnp.unicode_string_dtypes(max_len=3))


@PROPERTY
@given(hnp.arrays(every_dtype, hnp.array_shapes(min_dims=0, max_dims=3, min_side=0, max_side=9)))
def test_numpy_arrays_of_every_dtype_and_shape(arr):
    # Every kind of sequence argument gets the array; whatever it accepts
    # must be what the array's items convert to.
    got = outcome(lambda: z.sqrt_n(arr))
    if got[0] == "ok":
        with warnings.catch_warnings():
            warnings.simplefilter("ignore")
            assert bits(got[1]) == bits([math.sqrt(abs(as_double(v))) for v in arr])
    octets = outcome(lambda: z.octonion_mul_n(arr, [E0] * len(arr)))
    if octets[0] == "ok":
        with warnings.catch_warnings():
            warnings.simplefilter("ignore")
            plain = [[as_double(v) for v in row] for row in arr]
        assert rows_bits(octets[1]) == rows_bits(z.octonion_mul_n(plain, [E0] * len(plain)))
    outcome(lambda: z.geometric_product_n(arr, arr, [1, -1, 1, 0]))
    outcome(lambda: z.geometric_product_n([[1.0, 0.0]], [[1.0, 0.0]], arr))
    outcome(lambda: z.rotate_phase_n(arr, arr))


# -------------------------------------------------------------- examples --


def test_octet_row_that_shrinks_while_converted():
    row = [1.0] * 8
    row[2] = Mutator(row, "shrink3")
    with pytest.raises(ValueError, match=r"^expected a sequence of length 8 \(got 5\)$"):
        z.octonion_mul_n([row], [E0])


def test_octet_row_whose_getitem_gives_up_early():
    with pytest.raises(ValueError, match=r"^expected a sequence of length 8 \(got 3\)$"):
        z.octonion_mul_n([LyingLength([1.0, 2.0, 3.0], 8)], [E0])


def test_list_that_grows_while_converted_is_read_to_its_end():
    xs = [4.0, 9.0]
    xs[0] = Mutator(xs, "append")
    assert z.sqrt_n(xs) == [math.sqrt(1.5), 3.0, math.sqrt(2.5)]
