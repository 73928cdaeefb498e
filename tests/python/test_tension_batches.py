"""rotate_phase_n and schrodinger_step_n: the pair rotation over lists of tuples."""
import math
import random

import pytest

from zyl_core import ZYLPair, rotate_phase_n, schrodinger_step_n

INF, NAN, PI = math.inf, math.nan, math.pi


def hexes(couples):
    return [(type(c), c[0].hex(), c[1].hex()) for c in couples]


def test_examples():
    rotated = rotate_phase_n([(1.0, 0.0), (0.0, 1.0)], [0.0, PI / 2, 1.0])
    assert rotated == [(1.0, 0.0), (-1.0, 6.123233995736766e-17)]
    assert schrodinger_step_n([(1.0, 0.0)], [1.0], 0.5, 1.0) == [(0.8775825618903728, -0.479425538604203)]
    assert rotate_phase_n([], []) == [] and rotate_phase_n([(1.0, 2.0)], []) == []
    assert schrodinger_step_n(psi=[], v=[1.0], dt=1.0, hbar=1.0) == []


def random_data(seed, n=300):
    rng = random.Random(seed)
    values = [(rng.uniform(-1e3, 1e3), rng.uniform(-1e3, 1e3)) for _ in range(n)]
    values += [(NAN, 1.0), (INF, 0.0), (-0.0, -0.0), (1e-310, 5.0)]
    return values, [rng.uniform(-50, 50) for _ in values[:-2]] + [INF, -0.0]


def test_rotate_phase_n_matches_the_pair_method():
    pairs, angles = random_data(1)
    expected = [ZYLPair(*p).rotate_phase(a) for p, a in zip(pairs, angles)]
    assert hexes(rotate_phase_n(pairs, angles)) == hexes([(q.real, q.imag) for q in expected])


def test_schrodinger_angle_is_negated_scaled_then_divided():
    psi, v = random_data(2)
    for dt, hbar in [(0.37, 1.054571817e-34), (1e-3, 3.0), (-2.5, 0.1)]:
        angles = [((-vk) * dt) / hbar for vk in v]
        assert hexes(schrodinger_step_n(psi, v, dt, hbar)) == hexes(rotate_phase_n(psi, angles))


def test_zero_step_and_zero_hbar():
    psi = [(0.6, -0.8), (3.0, 4.0)]
    assert schrodinger_step_n(psi, [2.0, -7.0], 0.0, 1.0) == psi
    for re, im in schrodinger_step_n(psi, [2.0, 0.0], 1.0, 0.0):
        assert math.isnan(re) and math.isnan(im)


ERRORS = [
    (lambda: rotate_phase_n([ZYLPair(1, 0)], [0.5]), TypeError,
     "argument 'pairs': 'ZYLPair' object cannot be converted to 'PyTuple'"),
    (lambda: schrodinger_step_n([ZYLPair(1, 0)], [0.5], 1.0, 1.0), TypeError,
     "argument 'psi': 'ZYLPair' object cannot be converted to 'PyTuple'"),
    (lambda: rotate_phase_n([[1.0, 0.0]], [0.5]), TypeError,
     "argument 'pairs': 'list' object cannot be converted to 'PyTuple'"),
    (lambda: rotate_phase_n([(1.0, 0.0, 0.0)], [0.5]), ValueError,
     "expected tuple of length 2, but got tuple of length 3"),
    (lambda: rotate_phase_n("ab", [0.5]), TypeError, "argument 'pairs': Can't extract `str` to `Vec`"),
    (lambda: rotate_phase_n([(1.0, 0.0)], [0.5, "x"]), TypeError, "argument 'angles': must be real number, not str"),
    (lambda: rotate_phase_n([(1.0, 0.0), (1.0,)], [0.5]), ValueError,
     "expected tuple of length 2, but got tuple of length 1"),
    (lambda: schrodinger_step_n([(1.0, 0.0)], [1.0], 0.5), TypeError,
     "schrodinger_step_n() missing 1 required positional argument: 'hbar'"),
    (lambda: schrodinger_step_n([(1.0, 0.0)], 1.0, 0.5, 1.0), TypeError,
     "argument 'v': 'float' object cannot be converted to 'Sequence'"),
    (lambda: schrodinger_step_n([], [], dt=0.5, hbar=None), TypeError,
     "argument 'hbar': must be real number, not NoneType"),
]


@pytest.mark.parametrize("call, exc, message", ERRORS)
def test_errors(call, exc, message):
    with pytest.raises(exc) as info:
        call()
    assert type(info.value) is exc and str(info.value) == message


def test_docstrings():
    assert rotate_phase_n.__doc__ == "Batch rotate_phase for a list of ZYLPairs."
    assert schrodinger_step_n.__doc__ == (
        "Batch Schrödinger potential-phase step: ψ_n → e^{-iV_n·dt/ħ}·ψ_n for all n.\n"
        "Returns list of (real, imag) tuples.")
