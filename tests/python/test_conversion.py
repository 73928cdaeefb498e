"""Argument binding and conversion: the messages are part of the interface."""
import array

import pytest

import zyl_core as z


class Floaty:
    def __float__(self):
        return 2.5


class Indexy:
    def __index__(self):
        return 3


class BadIter:
    """A sequence whose iterator fails half-way."""

    def __len__(self):
        return 3

    def __getitem__(self, i):
        if i == 1:
            raise RuntimeError("boom")
        return 1.0


class LyingLength:
    """Claims far more items than it yields."""

    def __init__(self, items):
        self.items = items

    def __len__(self):
        return 2**62

    def __getitem__(self, i):
        return self.items[i]


class BrokenLength(LyingLength):
    def __len__(self):
        raise ValueError("no length")


BINDING_ERRORS = [
    (lambda: z.add_n([1.0]), "add_n() missing 1 required positional argument: 'bs'"),
    (lambda: z.add_n(), "add_n() missing 2 required positional arguments: 'as_' and 'bs'"),
    (lambda: z.boost_n(), "boost_n() missing 3 required positional arguments: 'points', 'phis', and 'c'"),
    (lambda: z.boost_n([], c=1.0), "boost_n() missing 1 required positional argument: 'phis'"),
    (lambda: z.add_n([1.0], [2.0], [3.0]), "add_n() takes 2 positional arguments but 3 were given"),
    (lambda: z.exp_n([1.0], [2.0]), "exp_n() takes 1 positional arguments but 2 were given"),
    (lambda: z.add_n([1.0], bs=[2.0], cs=[3.0]), "add_n() got an unexpected keyword argument 'cs'"),
    (lambda: z.add_n([1.0], as_=[2.0]), "add_n() got multiple values for argument 'as_'"),
]


@pytest.mark.parametrize("call, message", BINDING_ERRORS)
def test_binding_messages(call, message):
    with pytest.raises(TypeError) as info:
        call()
    assert type(info.value) is TypeError
    assert str(info.value) == message


def test_keywords_bind_like_positionals():
    assert z.sub_n(bs=[3.0], as_=[5.0]) == [2.0]
    assert z.boost_n(c=1.0, phis=[0.5], points=[(1.0, 2.0)]) == z.boost_n([(1.0, 2.0)], [0.5], 1.0)


SEQUENCE_ERRORS = [
    (lambda: z.sin_n("abc"), TypeError, "argument 'xs': Can't extract `str` to `Vec`"),
    (lambda: z.sin_n(5), TypeError, "argument 'xs': 'int' object cannot be converted to 'Sequence'"),
    (lambda: z.sin_n({1.0: 2.0}), TypeError, "argument 'xs': 'dict' object cannot be converted to 'Sequence'"),
    (lambda: z.sin_n({1.0}), TypeError, "argument 'xs': 'set' object cannot be converted to 'Sequence'"),
    (lambda: z.sin_n(x for x in [1.0]), TypeError,
     "argument 'xs': 'generator' object cannot be converted to 'Sequence'"),
    (lambda: z.sin_n([1.0, "x"]), TypeError, "argument 'xs': must be real number, not str"),
    (lambda: z.add_n([1.0], [None]), TypeError, "argument 'bs': must be real number, not NoneType"),
    (lambda: z.sin_n([2**1024]), OverflowError, "int too large to convert to float"),
    (lambda: z.boost_n([[1.0, 2.0]], [0.1], 1.0), TypeError,
     "argument 'points': 'list' object cannot be converted to 'PyTuple'"),
    (lambda: z.boost_n([(1.0, 2.0, 3.0)], [0.1], 1.0), ValueError,
     "expected tuple of length 2, but got tuple of length 3"),
    (lambda: z.boost_n([(1.0, 2.0)], [0.1], "c"), TypeError, "argument 'c': must be real number, not str"),
    (lambda: z.sin_n(BadIter()), RuntimeError, "boom"),
]


@pytest.mark.parametrize("call, exc_type, message", SEQUENCE_ERRORS)
def test_conversion_messages(call, exc_type, message):
    with pytest.raises(exc_type) as info:
        call()
    assert type(info.value) is exc_type
    assert str(info.value) == message


def test_first_failing_argument_wins():
    # points fails before phis would be looked at, and c after both.
    with pytest.raises(TypeError, match="argument 'points'"):
        z.boost_n("ab", "cd", "c")
    with pytest.raises(TypeError, match="argument 'phis'"):
        z.boost_n([], "cd", "c")


def test_prefixed_error_keeps_the_cause():
    class Chained:
        def __float__(self):
            try:
                raise KeyError("inner")
            except KeyError as e:
                raise TypeError("outer") from e

    with pytest.raises(TypeError) as info:
        z.exp_n([Chained()])
    assert str(info.value) == "argument 'xs': outer"
    assert isinstance(info.value.__cause__, KeyError)


def test_subclass_of_type_error_is_not_renamed():
    class Special(TypeError):
        pass

    class Raises:
        def __float__(self):
            raise Special("as is")

    with pytest.raises(Special) as info:
        z.exp_n([Raises()])
    assert str(info.value) == "as is"


ACCEPTED_FLOAT_SEQUENCES = [
    ((1, True, 2.5), [1.0, 1.0, 2.5]),
    (b"\x00\x01", [0.0, 1.0]),
    (range(3), [0.0, 1.0, 2.0]),
    (array.array("d", [0.5, 1.5]), [0.5, 1.5]),
    ([Floaty(), Indexy()], [2.5, 3.0]),
    (LyingLength([1.0, 2.0]), [1.0, 2.0]),
    (BrokenLength([4.0]), [4.0]),
]


@pytest.mark.parametrize("seq, values", ACCEPTED_FLOAT_SEQUENCES, ids=lambda v: type(v).__name__)
def test_accepted_float_sequences(seq, values):
    assert z.add_n(seq, [0.0] * len(values)) == values


def test_list_mutated_during_conversion():
    # An item's __float__ shrinking the list must not make the conversion read
    # freed or missing items.
    xs = []

    class Shrinks:
        def __float__(self):
            xs.clear()
            return 1.0

    xs.extend([Shrinks(), 2.0, 3.0])
    assert z.exp_n(xs) == [2.718281828459045]


def test_float_subclass_stored_value_is_used():
    class F(float):
        def __float__(self):
            return 99.0

    assert z.add_n([F(1.5)], [0.0]) == [1.5]


@pytest.mark.parametrize("value", [128, -129, 2**70, -(2**70)])
def test_small_int_out_of_range_message(value):
    with pytest.raises(OverflowError) as info:
        z.geometric_product_n([[1.0]], [[1.0]], [value])
    assert str(info.value) == "out of range integral type conversion attempted"


def test_flag_accepts_numpy_boolean_types_by_module_and_name():
    fake = type("bool_", (), {"__module__": "numpy", "__bool__": lambda self: False})
    impostor = type("bool_", (), {"__module__": "numpyish", "__bool__": lambda self: False})
    p = z.ZYLPoint(1.0, 2.0)
    assert p.minkowski_delta(fake(), 1.0) == p.minkowski_delta(False, 1.0)
    with pytest.raises(TypeError, match="^argument 'plus_signature': 'bool_' object cannot be converted to 'PyBool'$"):
        p.minkowski_delta(impostor(), 1.0)
