"""Random hostile use of zyl_core.arrays and zyl_core.discovery for a fixed
time: every array result is compared bit for bit with the list functions
(dtypes, strides, broadcasting, out=, where=, the ufunc methods), formulas
are built from random and corrupted node lists and pickles, and small fits
run on random data and names with every export checked against predict.
A mismatch or an unexpected exception ends the run with the case and seed.
Run by scripts/sanitize.sh against the module built with AddressSanitizer
and UndefinedBehaviorSanitizer, where any memory fault also ends it.

    python tests/fuzz/fuzz_namespaces.py [--seconds 20] [--seed 1]
"""
import argparse
import os
import pickle
import sys
import time
import traceback
import warnings

import numpy as np

import zyl_core as z
import zyl_core.arrays as za
from zyl_core.discovery import Formula, FormulaRegressor, _Formula

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "python"))
from arrays_data import SPECIALS, bits  # noqa: E402

UNARY = ["exp_n", "ln_n", "sqrt_n", "sin_n", "cos_n"]
BINARY = ["add_n", "sub_n", "mul_n", "div_n", "pow_n", "tension_n"]
DTYPES = [np.float64, np.float32, np.int64, np.int32, np.uint8, np.bool_]
UNARY_OPS = ["neg", "inv", "exp", "log", "sqrt", "sin", "cos", "abs", "square"]
BINARY_OPS = ["add", "sub", "mul", "div", "zyl"]
NAME_PIECES = ["x", "np", "ｎｐ", "ﬁ", "fi", "x²", "if", "_", " ", "\n", '"', "\\", "λ", "1", "value", "float", "é"]


def same_bits(actual, expected, what, *inputs):
    # Inputs that promote to float32 run the float32 loop: the float64 rule's
    # values rounded once, then stored in the output's dtype.
    e = np.asarray(expected, dtype=np.float64)
    if inputs and np.result_type(*inputs) == np.float32:
        with np.errstate(over="ignore"):
            e = e.astype(np.float32)
    e = e.astype(np.asarray(actual).dtype).reshape(np.shape(actual))
    a, e = bits(actual), bits(e)
    if not np.array_equal(a, e):
        raise AssertionError(f"{what}: arrays and list results differ")


def values(rng, shape, dtype=np.float64):
    """Values over many magnitudes with specials, as `dtype`."""
    n = int(np.prod(shape))
    v = rng.standard_normal(n) * 10.0 ** rng.uniform(-3, 3, n)
    pick = rng.random(n) < 0.25
    v[pick] = rng.choice(SPECIALS, int(pick.sum()))
    if np.dtype(dtype).kind in "iub":
        v = np.nan_to_num(np.clip(v, -100, 100))
    with np.errstate(all="ignore"):
        return v.astype(dtype).reshape(shape)


def strided(rng, array):
    """The same values in a random memory layout: reversed, every other, transposed, or as given."""
    choice = rng.integers(4)
    if choice == 0 or array.ndim == 0:
        return array
    if choice == 1:
        return np.ascontiguousarray(array[..., ::-1])[..., ::-1]
    if choice == 2:
        wide = np.repeat(array, 2, axis=-1)
        return wide[..., ::2]
    return np.asfortranarray(array)


def random_shape(rng):
    return tuple(int(s) for s in rng.integers(0, 5, rng.integers(0, 3)))


def list_unary(name, x):
    return getattr(z, name)(np.asarray(x, dtype=np.float64).ravel().tolist())


def list_binary(name, a, b):
    a, b = np.broadcast_arrays(np.asarray(a, dtype=np.float64), np.asarray(b, dtype=np.float64))
    return getattr(z, name)(a.ravel().tolist(), b.ravel().tolist())


def fold(name, acc, v):
    return getattr(z, name)([float(acc)], [float(v)])[0]


# ---- zyl_core.arrays ---------------------------------------------------------

def elementwise_case(rng):
    if rng.random() < 0.4:
        name = str(rng.choice(UNARY))
        x = strided(rng, values(rng, random_shape(rng), DTYPES[rng.integers(len(DTYPES))]))
        expected = list_unary(name, x)
        if rng.random() < 0.5:
            same_bits(getattr(za, name)(x), expected, name, x)
            return
        out = np.full(x.shape, 7.0)
        mask = rng.random(x.shape) < 0.5
        getattr(za, name)(x, out=out, where=mask)
        kept = np.reshape(expected, x.shape)
        if x.dtype == np.float32:
            kept = kept.astype(np.float32)
        same_bits(out, np.where(mask, kept, 7.0), name + " where=")
        return
    name = str(rng.choice(BINARY))
    shape = random_shape(rng)
    a = strided(rng, values(rng, shape, DTYPES[rng.integers(len(DTYPES))]))
    # b broadcasts: a trailing part of a's shape with some axes of length one.
    b_shape = tuple(1 if rng.random() < 0.3 else s for s in shape[len(shape) - rng.integers(0, len(shape) + 1):])
    b = strided(rng, values(rng, b_shape, DTYPES[rng.integers(len(DTYPES))]))
    expected = list_binary(name, a, b)
    if rng.random() < 0.3 and a.dtype == np.float64 and a.flags.writeable:
        getattr(za, name)(a, b, out=a)  # in place
        same_bits(a, expected, name + " in place")
    else:
        same_bits(getattr(za, name)(a, b), expected, name, a, b)


def method_case(rng):
    name = str(rng.choice(BINARY))
    ufunc = getattr(za, name)
    x = strided(rng, values(rng, (int(rng.integers(1, 12)),)))
    method = rng.integers(5)
    if method == 0:
        acc = x[0]
        for v in x[1:]:
            acc = fold(name, acc, v)
        same_bits(ufunc.reduce(x), [acc], name + ".reduce")
    elif method == 1:
        acc, expected = x[0], [x[0]]
        for v in x[1:]:
            acc = fold(name, acc, v)
            expected.append(acc)
        same_bits(ufunc.accumulate(x), expected, name + ".accumulate")
    elif method == 2:
        indices = np.sort(rng.integers(0, len(x), rng.integers(1, 4)))
        expected = []
        for k, start in enumerate(indices):
            stop = indices[k + 1] if k + 1 < len(indices) else len(x)
            acc = x[start]
            for v in x[start + 1:stop]:
                acc = fold(name, acc, v)
            expected.append(acc)
        same_bits(ufunc.reduceat(x, indices), expected, name + ".reduceat")
    elif method == 3:
        y = values(rng, (int(rng.integers(0, 5)),))
        expected = list_binary(name, x[:, None], y[None, :])
        same_bits(ufunc.outer(x, y), expected, name + ".outer")
    else:
        target = values(rng, (4,))
        indices = rng.integers(0, 4, rng.integers(0, 10))
        operands = values(rng, indices.shape)
        expected = target.copy()
        for i, v in zip(indices, operands):
            expected[i] = fold(name, expected[i], v)
        ufunc.at(target, indices, operands)
        same_bits(target, expected, name + ".at")


def pairs_list(points):
    return [tuple(p) for p in np.asarray(points, dtype=np.float64).reshape(-1, 2).tolist()]


def generalized_case(rng):
    n = int(rng.integers(0, 40))
    kind = rng.integers(5)
    if kind == 0:
        points, phis, c = strided(rng, values(rng, (n, 2))), values(rng, (n,)), float(values(rng, ()))
        same_bits(za.boost_n(points, phis, c), z.boost_n(pairs_list(points), phis.tolist(), c), "boost_n")
    elif kind == 1:
        pairs, angles = strided(rng, values(rng, (n, 2))), values(rng, (n,))
        same_bits(za.rotate_phase_n(pairs, angles), z.rotate_phase_n(pairs_list(pairs), angles.tolist()),
                  "rotate_phase_n")
    elif kind == 2:
        a, b = strided(rng, values(rng, (n, 8))), values(rng, (n, 8))
        a[rng.random(a.shape) < 0.3] = 0.0
        same_bits(za.octonion_mul_n(a, b), z.octonion_mul_n(a.tolist(), b.tolist()), "octonion_mul_n")
    elif kind == 3:
        points = values(rng, (n, 2))
        counts = [int(c) for c in rng.integers(-1, 5, 3)]
        rs = float(values(rng, ()))
        outcome = expect_same_outcome(lambda: za.christoffel_batch_n(points, *counts, rs),
                                      lambda: z.christoffel_batch_n(pairs_list(points), *counts, rs))
        if outcome is not None:
            same_bits(*outcome, "christoffel_batch_n")
    else:
        geometric_case(rng, n)


def geometric_case(rng, n):
    length = int(rng.choice([1, 2, 3, 4, 8, 16, 32, 64, 2048 if n < 3 else 64]))
    m = int(rng.integers(0, 7))
    a, b = values(rng, (n, length)), values(rng, (n, length))
    for v in (a, b):
        v[rng.random(v.shape) < 0.5] = 0.0
    signature = rng.integers(-3, 4, m)
    if rng.random() < 0.05 and m > 0:
        signature[rng.integers(m)] = int(rng.choice([128, -129, 1000]))
    if rng.random() < 0.5 or n == 0:
        outcome = expect_same_outcome(lambda: za.geometric_product_n(strided(rng, a), b, signature),
                                      lambda: z.geometric_product_n(a.tolist(), b.tolist(), signature.tolist()))
        if outcome is not None:
            same_bits(*outcome, "geometric_product_n")
        return
    # A signature per pair: each compared with the list function alone.
    signatures = np.clip(rng.integers(-2, 3, (n, m)), -128, 127)
    expected, first_error = [], None
    for k in range(n):
        try:
            expected.append(z.geometric_product_n([a[k].tolist()], [b[k].tolist()], signatures[k].tolist())[0])
        except (ValueError, OverflowError) as e:
            first_error = first_error or str(e).removeprefix("pair 0: ")
            expected.append([0.0] * length)
    try:
        got = za.geometric_product_n(a, b, signatures)
    except (ValueError, OverflowError) as e:
        if str(e) != first_error:
            raise AssertionError(f"per-pair signatures: {e!r}, the list functions say {first_error!r}") from None
        return
    if first_error is not None:
        raise AssertionError(f"per-pair signatures: no error, the list functions say {first_error!r}")
    same_bits(got, expected, "geometric_product_n, per-pair signatures")


def expect_same_outcome(arrayed, listed):
    """Both results, or None when both raised the same kind of error. With no
    elements numpy never runs the loop that would look at the other
    arguments, so an empty result may stand for the list function's error."""
    try:
        expected = listed()
    except (ValueError, OverflowError, TypeError) as e:
        try:
            got = arrayed()
        except type(e):
            return None
        if got.size == 0:
            return None
        raise AssertionError(f"the list function raised {e!r}, the array function did not") from None
    return arrayed(), expected


# ---- zyl_core.discovery ------------------------------------------------------

def random_nodes(rng, n_vars, size):
    nodes, depth = [], 0
    while len(nodes) < size or depth != 1:
        r = rng.random()
        if depth >= 2 and r < 0.3:
            nodes.append(("op", str(rng.choice(BINARY_OPS))))
            depth -= 1
        elif depth >= 1 and r < 0.55:
            nodes.append(("op", str(rng.choice(UNARY_OPS))))
        elif r < 0.85:
            nodes.append(("var", int(rng.integers(n_vars))))
            depth += 1
        else:
            nodes.append(("const", float(values(rng, ())), None))
            depth += 1
        if len(nodes) > 300:
            return nodes
    return nodes


def corrupted(rng, nodes):
    nodes = list(nodes)
    if not nodes:
        return nodes
    k = int(rng.integers(len(nodes)))
    nodes[k] = [("var", -1), ("var", 2**40), ("op", "pow"), ("const", 1, None), ("const", 1.0, (1, 0, "1")),
                ("const", 3.0, (1, 1, "pi")), ("op",), "var", None, ("op", "add")][rng.integers(10)]
    return nodes


def random_names(rng, n):
    names = []
    while len(names) < n:
        name = "".join(rng.choice(NAME_PIECES, rng.integers(1, 4)))
        if name.strip() and name not in names:
            names.append(name)
    return names


class _LibmNumpy:
    """numpy with exp, log, sin and cos of the platform's libm, as the engine
    calls them: numpy's own differ in the last bit, which a chaotic formula
    (sin of 1e86, say) makes into any difference at all."""

    def __init__(self):
        import ctypes
        import ctypes.util

        libm = ctypes.CDLL(ctypes.util.find_library("m"))
        for name in ("exp", "log", "sin", "cos"):
            fn = getattr(libm, name)
            fn.restype, fn.argtypes = ctypes.c_double, [ctypes.c_double]
            setattr(self, name, np.vectorize(fn, otypes=[np.float64]))

    def __getattr__(self, name):
        return getattr(np, name)


LIBM_NUMPY = _LibmNumpy()


def assert_exports_agree(f, X):
    expected = f.predict(X)
    function = f.to_function()
    function.__globals__["np"] = LIBM_NUMPY
    with np.errstate(all="ignore"):
        got = np.broadcast_to(function(*X.T), expected.shape)
    if not np.array_equal(np.isnan(got), np.isnan(expected)) or not np.allclose(
            got, expected, rtol=1e-9, atol=1e-300, equal_nan=True):
        raise AssertionError(f"to_function and predict differ for {f.nodes!r}")
    again = pickle.loads(pickle.dumps(f))
    # repr, not ==: a NaN constant is unequal to itself.
    if repr(again.nodes) != repr(f.nodes) or again.feature_names != f.feature_names or str(again) != str(f):
        raise AssertionError("a formula changed in a pickle round trip")


def formula_case(rng):
    n_vars = int(rng.integers(1, 4))
    nodes = random_nodes(rng, n_vars, int(rng.integers(1, 40)))
    if rng.random() < 0.3:
        nodes = corrupted(rng, nodes)
    try:
        native = _Formula(nodes, float(rng.random()))
    except (ValueError, TypeError):
        return
    f = Formula(native, random_names(rng, n_vars))
    X = values(rng, (int(rng.integers(1, 30)), n_vars))
    assert_exports_agree(f, X)
    data = bytearray(pickle.dumps(f))
    for _ in range(int(rng.integers(1, 4))):
        data[rng.integers(len(data))] = int(rng.integers(256))
    try:
        g = pickle.loads(bytes(data))
    except Exception:
        return
    if isinstance(g, Formula):
        assert_exports_agree(g, values(rng, (5, len(g.feature_names))))


def fit_case(rng):
    n, n_vars = int(rng.integers(5, 60)), int(rng.integers(1, 3))
    X = rng.uniform(0.5, 3.0, (n, n_vars))
    y = X[:, 0] * rng.uniform(-2, 2) + rng.uniform(-1, 1) + 0.01 * rng.standard_normal(n)
    if rng.random() < 0.2:
        X[rng.integers(n), rng.integers(n_vars)] = float(rng.choice([np.nan, np.inf]))
    model = FormulaRegressor(feature_names=random_names(rng, n_vars), max_complexity=int(rng.integers(1, 6)),
                             max_evaluations=2000, drop_nonfinite=bool(rng.random() < 0.5))
    try:
        with warnings.catch_warnings():
            warnings.simplefilter("ignore")
            model.fit(X, y)
    except ValueError:
        return
    clean = np.nan_to_num(X, nan=1.0, posinf=1.0)
    for f in model.front_:
        assert_exports_agree(f, clean)


CASES = [elementwise_case, method_case, generalized_case, formula_case, fit_case]


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--seconds", type=float, default=20.0)
    ap.add_argument("--seed", type=int, default=1)
    args = ap.parse_args()
    deadline = time.monotonic() + args.seconds
    counts = dict.fromkeys((c.__name__ for c in CASES), 0)
    case_number = 0
    while time.monotonic() < deadline:
        rng = np.random.default_rng([args.seed, case_number])
        case = CASES[case_number % len(CASES)]
        try:
            case(rng)
        except Exception:
            traceback.print_exc()
            print(f"fuzz: {case.__name__} failed: --seed {args.seed}, case {case_number}", file=sys.stderr)
            sys.exit(1)
        counts[case.__name__] += 1
        case_number += 1
    print("fuzz: " + ", ".join(f"{count} {name}" for name, count in counts.items()) + " cases passed",
          file=sys.stderr)


if __name__ == "__main__":
    main()
