"""Octonion and geometric products and Schwarzschild Christoffel symbols,
compared bit for bit where the evaluation order fixes the result."""
import math
import random
import struct

import pytest

import zyl_core as z

INF, NAN = math.inf, math.nan


def bits(values):
    # NaN payloads are not part of these rules: any NaN matches any NaN.
    return [b"nan" if math.isnan(v) else struct.pack("<d", v) for v in values]


def same(actual, expected):
    assert bits(actual) == bits(expected), (actual, expected)


def unit(k, size=8, scale=1.0):
    v = [0.0] * size
    v[k] = scale
    return v


def close(actual, expected, scale, rel=1e-12):
    assert all(abs(a - e) <= rel * scale for a, e in zip(actual, expected)), (actual, expected)


# --- octonions -------------------------------------------------------------

# e_p e_q = e_r for each triple, with its cyclic rotations; reversed order
# negates.
OCTONION_TRIPLES = [(1, 2, 4), (2, 3, 5), (3, 4, 6), (4, 5, 7), (5, 6, 1), (6, 7, 2), (7, 1, 3)]


def octonion_rules():
    table = {}
    for k in range(8):
        table[0, k] = table[k, 0] = (1.0, k)
    for k in range(1, 8):
        table[k, k] = (-1.0, 0)
    for p, q, r in OCTONION_TRIPLES:
        for x, y, w in ((p, q, r), (q, r, p), (r, p, q)):
            table[x, y] = (1.0, w)
            table[y, x] = (-1.0, w)
    return table


def test_every_basis_product_follows_the_triple_rules():
    rules = octonion_rules()
    assert len(rules) == 64
    pairs = sorted(rules)
    got = z.octonion_mul_n([unit(i) for i, _ in pairs], [unit(j) for _, j in pairs])
    for (i, j), product in zip(pairs, got):
        sign, k = rules[i, j]
        same(product, unit(k, scale=sign))


def test_product_is_not_associative():
    e1, e2, e3 = unit(1), unit(2), unit(3)
    (e12,), (e23,) = z.octonion_mul_n([e1], [e2]), z.octonion_mul_n([e2], [e3])
    same(e12, unit(4))
    same(z.octonion_mul_n([e2], [e1])[0], unit(4, scale=-1.0))
    same(z.octonion_mul_n([e12], [e3])[0], unit(6, scale=-1.0))
    same(z.octonion_mul_n([e1], [e23])[0], unit(6))


ONE_INF = [INF] + [0.0] * 7
ZEROS = [0.0] * 8

OCTONION_ZERO_SKIPPING = [
    (ZEROS, ONE_INF, ZEROS),
    ([-0.0] * 8, [INF] * 8, ZEROS),
    (ONE_INF, ZEROS, ZEROS),
    (unit(0), [INF] * 8, [INF] * 8),
    (unit(3), ONE_INF, unit(3, scale=INF)),
    ([-0.0, 2.0] + [0.0] * 6, [INF, -0.0, 1.0] + [0.0] * 5, [0.0, INF, 0.0, 0.0, 2.0, 0.0, 0.0, 0.0]),
]

OCTONION_NAN_SPREAD = [
    ([NAN] + [0.0] * 7, unit(3), unit(3, scale=NAN)),
    # a1 meets b0 (-> c1) and b3 (e1 e3 = e7); no other component has a term.
    ([0.0, NAN] + [0.0] * 6, [1.0, 0.0, 0.0, 5.0, 0.0, 0.0, 0.0, 0.0], [0.0, NAN, 0.0, 0.0, 0.0, 0.0, 0.0, NAN]),
    ([0.0] * 7 + [NAN], [1.0] * 8, [NAN] * 8),
    (unit(2), [0.0, NAN] + [0.0] * 6, [0.0, 0.0, 0.0, 0.0, NAN, 0.0, 0.0, 0.0]),
]


@pytest.mark.parametrize("a, b, expected", OCTONION_ZERO_SKIPPING + OCTONION_NAN_SPREAD)
def test_octonion_zero_and_nan_rules(a, b, expected):
    same(z.octonion_mul_n([a], [b])[0], expected)


def test_octonion_terms_accumulate_in_row_order():
    # 1 - 1e16 rounds to -1e16, so summing rows in any other order changes c0.
    a = [1.0, 1.0, 1.0] + [0.0] * 5
    b = [1.0, 1e16, -1e16] + [0.0] * 5
    expected = [((0.0 + 1.0) - 1e16) - -1e16, (0.0 + 1e16) + 1.0, (0.0 + -1e16) + 1.0, 0.0,
                (0.0 + -1e16) - 1e16, 0.0, 0.0, 0.0]
    assert expected[0] == 0.0
    same(z.octonion_mul_n([a], [b])[0], expected)


def random_octonions(rng, n):
    return [[rng.uniform(-2, 2) for _ in range(8)] for _ in range(n)]


def norm(v):
    return math.sqrt(math.fsum(c * c for c in v))


def test_norm_is_multiplicative():
    rng = random.Random(17)
    a, b = random_octonions(rng, 500), random_octonions(rng, 500)
    for x, y, xy in zip(a, b, z.octonion_mul_n(a, b)):
        assert math.isclose(norm(xy), norm(x) * norm(y), rel_tol=1e-12)


def test_product_is_alternative():
    # A sign slip in the table breaks (a a) b = a (a b) and (b a) a = b (a a)
    # even where the norm survives it.
    rng = random.Random(19)
    a, b = random_octonions(rng, 300), random_octonions(rng, 300)
    aa, ab, ba = z.octonion_mul_n(a, a), z.octonion_mul_n(a, b), z.octonion_mul_n(b, a)
    scales = [norm(x) ** 2 * norm(y) for x, y in zip(a, b)]
    for left, right, scale in zip(z.octonion_mul_n(aa, b), z.octonion_mul_n(a, ab), scales):
        close(left, right, scale)
    for left, right, scale in zip(z.octonion_mul_n(ba, a), z.octonion_mul_n(b, aa), scales):
        close(left, right, scale)


# --- geometric products ----------------------------------------------------

S, E0, E1, E01 = (unit(k, 4) for k in range(4))


def scaled(v, s):
    # Absent blades stay +0.0 (and never become 0 x inf).
    return [c * s if c else 0.0 for c in v]


# (signature, a, b, a * b) for n = 2.
GEOMETRIC_N2 = [
    ((1, 1), E0, E1, E01),
    ((1, 1), E1, E0, scaled(E01, -1.0)),
    ((1, 1), E01, E01, scaled(S, -1.0)),
    ((1, 1), E0, E0, S),
    ((-1, -1), E0, E0, scaled(S, -1.0)),
    ((-1, -1), E1, E1, scaled(S, -1.0)),
    ((-1, -1), E01, E01, scaled(S, -1.0)),
    ((1, -1), E0, E0, S),
    ((1, -1), E1, E1, scaled(S, -1.0)),
    ((1, -1), E01, E01, S),
    # Carrying a vector across the bivector: sign and square together.
    ((3, -2), E0, E01, scaled(E1, 3.0)),
    ((3, -2), E01, E0, scaled(E1, -3.0)),
    ((3, -2), E01, E1, scaled(E0, -2.0)),
    ((3, -2), E1, E01, scaled(E0, 2.0)),
    ((3, -2), E01, E01, scaled(S, 6.0)),
    ((-128, 127), E0, E0, scaled(S, -128.0)),
    ((-128, 127), E1, E1, scaled(S, 127.0)),
    ((1, 1), [2.0, 0.0, 0.0, 0.0], E01, scaled(E01, 2.0)),
]

# A null vector: the e0 e0 term is still formed, so it reaches r[0] as 0 x
# a x b, which is NaN when the other factor is infinite.
GEOMETRIC_NULL = [
    ((0, 1), E0, E0, [0.0, 0.0, 0.0, 0.0]),
    ((0, 1), E0, scaled(E0, INF), [NAN, 0.0, 0.0, 0.0]),
    ((0, 1), scaled(E0, -INF), E0, [NAN, 0.0, 0.0, 0.0]),
    ((0, 1), E0, [0.0, INF, 1.0, 0.0], [NAN, 0.0, 0.0, 1.0]),
    ((0, 1), E01, scaled(E01, INF), [NAN, 0.0, 0.0, 0.0]),
    ((0, 1), E1, E1, S),
    ((0, 1), E0, scaled(E1, INF), scaled(E01, INF)),
]

GEOMETRIC_ZERO_AND_NAN = [
    ((1, 1), [0.0] * 4, [INF] * 4, [0.0] * 4),
    ((1, 1), [-0.0, 1.0, 0.0, 0.0], [INF, 0.0, -0.0, 0.0], [0.0, INF, 0.0, 0.0]),
    ((1, 1), E0, [NAN, 0.0, 0.0, 0.0], [0.0, NAN, 0.0, 0.0]),
    ((1, 1), [NAN, 0.0, 0.0, 0.0], [1.0] * 4, [NAN] * 4),
    ((1, 1), [0.0, 0.0, NAN, 0.0], E0, [0.0, 0.0, 0.0, NAN]),
]


@pytest.mark.parametrize("signature, a, b, expected", GEOMETRIC_N2 + GEOMETRIC_NULL + GEOMETRIC_ZERO_AND_NAN)
def test_geometric_product_rules(signature, a, b, expected):
    same(z.geometric_product_n([a], [b], list(signature))[0], expected)


def test_geometric_evaluation_order():
    # r[k] = b[j] * (g * a[i]) + r[k]: g * a overflows before b scales it down.
    same(z.geometric_product_n([[0.0, 1e308]], [[0.0, 0.5]], [2])[0], [INF, 0.0])
    # Terms meet r[0] in increasing i: 1 + 1e16 rounds away the 1.
    same(z.geometric_product_n([[1.0, 1.0, 1.0, 0.0]], [[1.0, 1e16, -1e16, 0.0]], [1, 1])[0],
         [(1.0 + 1e16) + -1e16, 1e16 + 1.0, -1e16 + 1.0, 1e16 * -1.0 + -1e16])
    # The squares of shared vectors multiply in ascending p; for this
    # signature the descending product rounds differently. The top blade of
    # ten vectors squares with sign (-1)^45.
    sig = [111, 113, -125, 107, 123, 121, 107, 123, 111, -125]
    g = -1.0
    for s in sig:
        g *= s
    top = unit(1023, 1024)
    same(z.geometric_product_n([top], [top], sig)[0], unit(0, 1024, g))


def test_vector_product_is_dot_plus_wedge():
    rng = random.Random(23)
    for n in range(2, 6):
        size = 1 << n
        us = [[rng.uniform(-3, 3) for _ in range(n)] for _ in range(50)]
        vs = [[rng.uniform(-3, 3) for _ in range(n)] for _ in range(50)]

        def vector(c):
            mv = [0.0] * size
            for p, x in enumerate(c):
                mv[1 << p] = x
            return mv

        got = z.geometric_product_n([vector(u) for u in us], [vector(v) for v in vs], [1] * n)
        for u, v, r in zip(us, vs, got):
            expected = [0.0] * size
            dot = 0.0
            for p in range(n):
                dot = v[p] * u[p] + dot
            expected[0] = dot
            for p in range(n):
                for q in range(p + 1, n):
                    expected[(1 << p) | (1 << q)] = u[p] * v[q] - u[q] * v[p]
            same(r, expected)


def test_geometric_product_is_associative_under_any_diagonal_metric():
    rng = random.Random(29)
    sig = [1, -1, 0, 2]

    def batch():
        return [[rng.uniform(-1, 1) for _ in range(16)] for _ in range(200)]

    a, b, c = batch(), batch(), batch()
    left = z.geometric_product_n(z.geometric_product_n(a, b, sig), c, sig)
    right = z.geometric_product_n(a, z.geometric_product_n(b, c, sig), sig)
    for x, y in zip(left, right):
        close(x, y, 1e3)


def test_result_length_follows_each_a():
    got = z.geometric_product_n([[2.0], E01, [1.0, 0.0, 0.0, 0.0]],
                                [[3.0], E01 + [INF] * 4, [5.0, 6.0, 7.0, 8.0, INF]], [1, 1])
    same(got[0], [6.0])
    same(got[1], scaled(S, -1.0))
    same(got[2], [5.0, 6.0, 7.0, 8.0])
    assert z.geometric_product_n([[2.0]], [[3.0]], []) == [[6.0]]


# Pairs that would break a precondition if their terms were formed.
GEOMETRIC_NO_DEMAND = [
    ([0.0] * 4, [], [], [0.0] * 4),
    ([0.0] * 3, [1.0], [], [0.0] * 3),
    ([1.0, 0.0, 0.0], [1.0, 2.0, 3.0], [], [1.0, 2.0, 3.0]),
    ([0.0, 0.0, 1.0], [0.0, 0.0, 1.0], [1, 1], [1.0, 0.0, 0.0]),
    (E0, E1, [], E01),
    (E01, E0, [1], scaled(E1, -1.0)),
    (E01, [0.0, 0.0, 0.0, 0.0, INF], [1], [0.0] * 4),
]


@pytest.mark.parametrize("a, b, signature, expected", GEOMETRIC_NO_DEMAND)
def test_terms_not_formed_make_no_demand(a, b, signature, expected):
    same(z.geometric_product_n([a], [b], signature)[0], expected)


GEOMETRIC_FAULTS = [
    ([[0.0] * 4, [1.0, 0.0, 0.0, 0.0]], [[0.0] * 4, [1.0, 2.0]], [1, 1],
     "pair 1: b has 2 coefficients but a has 4"),
    ([E0], [[]], [1, 1], "pair 0: b has 0 coefficients but a has 4"),
    ([[0.0, 1.0, 0.0]], [[0.0, 0.0, 1.0]], [1, 1],
     "pair 0: blade index 3 is outside a multivector of 3 coefficients (the length must be a power of two)"),
    ([S, E01], [S, E01], [1], "pair 1: basis vector e1 is shared but the signature has only 1 entry"),
    ([E0], [E0], [], "pair 0: basis vector e0 is shared but the signature has only 0 entries"),
    # The lowest faulty pair is named, whatever fault a later one has.
    ([S, S, [0.0, 1.0, 0.0], E01], [S, S, [0.0, 0.0, 1.0], [1.0]], [1],
     "pair 2: blade index 3 is outside a multivector of 3 coefficients (the length must be a power of two)"),
]


@pytest.mark.parametrize("a, b, signature, message", GEOMETRIC_FAULTS)
def test_broken_preconditions_fail_the_whole_call(a, b, signature, message):
    with pytest.raises(ValueError) as info:
        z.geometric_product_n(a, b, signature)
    assert str(info.value) == message


FAULTS_ACROSS_POOL_SIZES = """
    import hashlib, random, struct, zyl_core as z
    rng = random.Random(5)
    a = [[rng.uniform(-3, 3) for _ in range(8)] for _ in range(20000)]
    b = [[rng.uniform(-3, 3) for _ in range(8)] for _ in range(20000)]
    out = [v for row in z.octonion_mul_n(a, b) + z.geometric_product_n(a, b, [1, -1, 0]) for v in row]
    out += z.christoffel_batch_n([(m[0], m[1]) for m in a], 1, 0, 0, 0.5)
    print(hashlib.sha256(struct.pack(f"<{len(out)}d", *out)).hexdigest())
    a[19999] = b[19999] = [1.0] * 16
    b[15000] = b[15000][:4]
    a[7001] = a[7001][:6]
    for fixed in (None, 7001, 15000):
        if fixed is not None:
            a[fixed], b[fixed] = [1.0] * 8, [1.0] * 8
        try:
            z.geometric_product_n(a, b, [1, 1, 1])
            print("no error")
        except ValueError as e:
            print(e)
"""


def test_faults_and_results_do_not_depend_on_pool_size(python_in_subprocess):
    outputs = {python_in_subprocess(FAULTS_ACROSS_POOL_SIZES, RAYON_NUM_THREADS=str(n)) for n in (1, 2, 7)}
    assert len(outputs) == 1
    assert outputs.pop().splitlines()[1:] == [
        "pair 7001: blade index 6 is outside a multivector of 6 coefficients (the length must be a power of two)",
        "pair 15000: b has 4 coefficients but a has 8",
        "pair 19999: basis vector e3 is shared but the signature has only 3 entries",
    ]


# --- Christoffel symbols ---------------------------------------------------

def r_rr(r, rs):
    return (-rs) / ((r - rs) * (r + r))


def r_tt(r, rs):
    return ((1.0 - rs / r) * rs) / ((r + r) * r)


def t_tr(r, rs):
    return rs / ((r - rs) * (r + r))


SYMBOLS = [((1, 1, 1), r_rr), ((1, 0, 0), r_tt), ((0, 0, 1), t_tr), ((0, 1, 0), t_tr)]

# (x, rs, the radius the symbol is evaluated at)
CHRISTOFFEL_RADII = [
    (0.5, 1.0, math.exp(0.5)),
    (3.0, 2.5, math.exp(3.0)),
    (-30.0, -1.0, math.exp(-30.0)),
    (0.0, 0.0, 1.0),
    (-800.0, 0.0, 1e-9),
    # Beyond the guard the radius is exp(ln x), not an overflow to inf.
    (800.0, 1.0, math.exp(math.log(800.0))),
    (1e300, 1.0, math.exp(math.log(1e300))),
    # At the guard exp is taken as is; r + r then overflows.
    (709.78, 1.0, math.exp(709.78)),
    (INF, 1.0, INF),
    # At or inside the horizon, and NaN radii, are evaluated just outside.
    (0.0, 2.0, 2.0 + 1e-9),
    (math.log(2.0), 2.0, 2.0 + 1e-9),
    (-INF, 1.0, 1.0 + 1e-9),
    (NAN, 1.0, 1.0 + 1e-9),
]


@pytest.mark.parametrize("x, rs, radius", CHRISTOFFEL_RADII)
def test_christoffel_values(x, rs, radius):
    for (lam, mu, nu), symbol in SYMBOLS:
        same(z.christoffel_batch_n([(x, 0.0)], lam, mu, nu, rs), [symbol(radius, rs)])


def test_christoffel_named_values():
    same(z.christoffel_batch_n([(0.0, 0.0)], 1, 1, 1, 0.0), [-0.0])
    assert math.isclose(z.christoffel_batch_n([(800.0, 0.0)], 1, 1, 1, 1.0)[0], -1.0 / (799.0 * 1600.0),
                        rel_tol=1e-12)
    same(z.christoffel_batch_n([(709.78, 0.0)], 1, 1, 1, 1.0), [-0.0])
    inside = z.christoffel_batch_n([(0.0, 0.0)], 0, 0, 1, 2.0)[0]
    assert math.isclose(inside, 2.0 / (1e-9 * 2 * (2.0 + 1e-9)), rel_tol=1e-6)


# Clamped radius not strictly outside rs, or not positive: +0.0.
CHRISTOFFEL_ZERO = [
    (0.0, INF), (800.0, INF), (INF, INF), (NAN, INF),
    (-800.0, -1.0), (-800.0, -1e-9), (-INF, -1.0),
    # rs + 1e-9 rounds back to rs.
    (0.0, 1e10), (30.0, 1e17),
]


@pytest.mark.parametrize("x, rs", CHRISTOFFEL_ZERO)
def test_christoffel_guards_give_positive_zero(x, rs):
    for (lam, mu, nu), _ in SYMBOLS:
        same(z.christoffel_batch_n([(x, 0.0)], lam, mu, nu, rs), [0.0])


def test_nan_rs_leaves_the_radius_alone():
    for (lam, mu, nu), _ in SYMBOLS:
        assert math.isnan(z.christoffel_batch_n([(0.5, 0.0)], lam, mu, nu, NAN)[0])


OTHER_TRIPLES = [(1, 1, 0), (1, 0, 1), (0, 0, 0), (0, 1, 1), (0, 1, 2), (2, 0, 0), (2, 1, 1),
                 (1, 1, 2), (3, 0, 1), (2**64 - 1, 1, 1), (1, 2**64 - 1, 2**64 - 1)]


@pytest.mark.parametrize("lam, mu, nu", OTHER_TRIPLES)
def test_other_index_triples_are_positive_zero(lam, mu, nu):
    points = [(0.5, 0.0), (NAN, 0.0), (800.0, 0.0), (-800.0, 0.0), (0.0, 0.0)]
    for rs in (1.0, NAN, 0.0, -1.0, 5.0):
        same(z.christoffel_batch_n(points, lam, mu, nu, rs), [0.0] * len(points))


def ulps(a, b):
    return abs(a - b) / math.ulp(b)


def test_christoffel_matches_closed_forms():
    rng = random.Random(31)
    xs = [rng.uniform(-5, 5) for _ in range(2000)]
    # Well outside the horizon, where 1 - rs/r does not cancel.
    for rs_fraction in (0.0001, 0.1, 0.4):
        for x in xs:
            r = math.exp(x)
            rs = r * rs_fraction
            got = [z.christoffel_batch_n([(x, 0.0)], *idx, rs)[0] for idx in ((1, 1, 1), (1, 0, 0), (0, 1, 0))]
            closed = [-rs / (2 * r * (r - rs)), rs * (r - rs) / (2 * r**3), rs / (2 * r * (r - rs))]
            assert all(ulps(g, c) <= 4 for g, c in zip(got, closed)), (x, rs, got, closed)


def test_second_coordinate_is_ignored_and_order_kept():
    got = z.christoffel_batch_n([(0.5, 1.0), (0.5, NAN), (0.5, -INF), (1.5, 0.0)], 1, 0, 0, 0.3)
    same(got, [r_tt(math.exp(0.5), 0.3)] * 3 + [r_tt(math.exp(1.5), 0.3)])


class One:
    def __index__(self):
        return 1


def test_indices_accept_index_objects():
    same(z.christoffel_batch_n([(0.5, 0.0)], One(), One(), True, 1.0), [r_rr(math.exp(0.5), 1.0)])


# --- batch lengths and conversion ------------------------------------------

def test_batches_pair_up_to_the_shorter():
    e1, e2, e3 = unit(1), unit(2), unit(3)
    assert z.octonion_mul_n([e1, e2, e3], [e2]) == [unit(4)]
    assert z.octonion_mul_n([e1], [e2, e3, e1]) == [unit(4)]
    assert z.geometric_product_n([E0, E1], [E1], [1, 1]) == [E01]
    # Surplus pairs are not multiplied, so their preconditions do not matter.
    assert z.geometric_product_n([[1.0], [0.0, 1.0, 0.0]], [[2.0]], []) == [[2.0]]
    assert z.octonion_mul_n((range(8),), [b"\x01" * 8]) == z.octonion_mul_n([list(range(8))], [[1.0] * 8])
    assert z.octonion_mul_n([], []) == [] and z.octonion_mul_n([e1], []) == []
    assert z.geometric_product_n([], [E0], [1]) == []
    assert z.christoffel_batch_n([], 1, 1, 1, 1.0) == []


OCTET = unit(1)

CONVERSION_ERRORS = [
    (lambda: z.octonion_mul_n([[1.0] * 7], [OCTET]), ValueError, "expected a sequence of length 8 (got 7)"),
    (lambda: z.octonion_mul_n([OCTET], [OCTET, [1.0] * 9]), ValueError, "expected a sequence of length 8 (got 9)"),
    (lambda: z.octonion_mul_n([[1.0] * 7], [[1.0] * 9]), ValueError, "expected a sequence of length 8 (got 7)"),
    (lambda: z.octonion_mul_n("abc", [OCTET]), TypeError, "argument 'a_batch': Can't extract `str` to `Vec`"),
    (lambda: z.octonion_mul_n([], "abc"), TypeError, "argument 'b_batch': Can't extract `str` to `Vec`"),
    (lambda: z.octonion_mul_n([OCTET, 5], []), TypeError,
     "argument 'a_batch': 'int' object cannot be converted to 'Sequence'"),
    (lambda: z.geometric_product_n("ab", [[1.0]], "cd"), TypeError, "argument 'a_batch': Can't extract `str` to `Vec`"),
    (lambda: z.geometric_product_n([[1.0], "ab"], [], []), TypeError,
     "argument 'a_batch': Can't extract `str` to `Vec`"),
    (lambda: z.geometric_product_n([[1.0]], [[1.0], "ab"], [1]), TypeError,
     "argument 'b_batch': Can't extract `str` to `Vec`"),
    (lambda: z.geometric_product_n([[1.0]], [[1.0]], "ab"), TypeError,
     "argument 'signature': Can't extract `str` to `Vec`"),
    (lambda: z.geometric_product_n([[1.0]], [[1.0]], [1, 200]), OverflowError,
     "out of range integral type conversion attempted"),
    (lambda: z.geometric_product_n([], [], [-129]), OverflowError, "out of range integral type conversion attempted"),
    (lambda: z.geometric_product_n([[0.0, 1.0, 0.0]], [[0.0, 0.0, 1.0]], [128]), OverflowError,
     "out of range integral type conversion attempted"),
    (lambda: z.christoffel_batch_n("ab", 1, 1, 1, 1.0), TypeError, "argument 'points': Can't extract `str` to `Vec`"),
    (lambda: z.christoffel_batch_n([[0.0, 1.0]], 1, 1, 1, 1.0), TypeError,
     "argument 'points': 'list' object cannot be converted to 'PyTuple'"),
    (lambda: z.christoffel_batch_n([(0.0, 1.0, 2.0)], -1, 1, 1, 1.0), ValueError,
     "expected tuple of length 2, but got tuple of length 3"),
]


@pytest.mark.parametrize("call, exc, message", CONVERSION_ERRORS)
def test_conversion_messages(call, exc, message):
    with pytest.raises(exc) as info:
        call()
    assert type(info.value) is exc
    assert str(info.value) == message


# Failures whose wording is the interpreter's: only the type and whether the
# parameter is named are ours.
NAMED_FAILURES = [
    (lambda: z.octonion_mul_n(["abcdefgh"], []), TypeError, "argument 'a_batch': "),
    (lambda: z.geometric_product_n([[1.0]], [[1.0]], [1.5]), TypeError, "argument 'signature': "),
    (lambda: z.christoffel_batch_n([], 1.0, 1, 1, 1.0), TypeError, "argument 'lam': "),
    (lambda: z.christoffel_batch_n([], 1, 1, 1, "a"), TypeError, "argument 'rs': "),
    (lambda: z.christoffel_batch_n([], -1, "a", 1, 1.0), OverflowError, None),
    (lambda: z.christoffel_batch_n([], 1, 1, 2**64, 1.0), OverflowError, None),
]


@pytest.mark.parametrize("call, exc, prefix", NAMED_FAILURES)
def test_failures_name_the_argument_only_for_type_errors(call, exc, prefix):
    with pytest.raises(exc) as info:
        call()
    assert type(info.value) is exc
    if prefix is None:
        assert not str(info.value).startswith("argument")
    else:
        assert str(info.value).startswith(prefix)
