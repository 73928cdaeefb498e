"""A tour of zyl_core on real-sized inputs and real data.

Each comparison runs zyl_core and what a user would write instead side by
side in this one run, in turn for several rounds, and prints the median time
of each with the range over the rounds (ms), and the ratio of the medians
(theirs / ours: above 1 means zyl_core is faster) with the range of the
per-round ratios. The machine's load moves absolute times from run to run;
the ratios move much less. Every "equals" line says what it compares with.

Run through the README's demo command (scripts/demo.sh), which sets up the
environment first.
"""
import csv
import math
import pathlib
import random
import sys

import numpy as np

import zyl_core as z
import zyl_core.arrays as za
from timing import compare, race, spread

HERE = pathlib.Path(__file__).resolve().parent
DATA = HERE / "data"
sys.path.insert(0, str(HERE.parent / "bench"))
from bench_algebra import bilinear, cayley_tensor, octonion_structure  # noqa: E402
from bench_batch import python_boost  # noqa: E402


def numpy_has_avx512():
    """Whether numpy found AVX-512 on this processor, where it runs its own vectorised exp."""
    try:
        from numpy._core._multiarray_umath import __cpu_features__
    except ImportError:
        return False
    return bool(__cpu_features__.get("AVX512F"))


def ulps_apart(a, b):
    """Per element, how many representable doubles lie between a and b (same sign assumed)."""
    return np.abs(a.view(np.int64) - b.view(np.int64))


def array_path():
    n = 1_000_000
    print(f"Array path: numpy float64 arrays in and out, {n:,} elements, against numpy:")
    rng = np.random.default_rng(2026)
    xs = rng.uniform(-5.0, 5.0, n)
    ys = rng.uniform(-3.0, 3.0, n)
    ratio = compare("exp_n(xs) vs np.exp(xs)", lambda: za.exp_n(xs), lambda: np.exp(xs), "np.exp")
    compare("tension_n(xs, ys)", lambda: za.tension_n(xs, ys),
            lambda: np.exp(xs) - np.log(np.abs(ys)), "np exp - log|y|")
    libm = np.array(list(map(math.exp, xs.tolist())))
    print(f"  exp_n equals math.exp (the platform libm) on all {n:,} elements: {np.array_equal(za.exp_n(xs), libm)}")
    apart = ulps_apart(np.exp(xs), libm)
    if apart.any():
        where = " (AVX-512 here)" if numpy_has_avx512() else ""
        print(f"  np.exp differs from math.exp on {np.count_nonzero(apart):,} of them ({np.mean(apart > 0):.1%}), "
              f"by at most {apart.max()} ulp:\n  numpy uses its own vectorised exp where the processor allows"
              f"{where}; zyl_core keeps libm's values, the list API's.")
    else:
        print(f"  np.exp equals math.exp on all {n:,} elements here as well.")
    if ratio < 1:
        print(f"  np.exp is {1 / ratio:.1f}x faster than exp_n here; what exp_n offers on arrays is libm's values "
              "(those of math.exp\n  and the list API) and the guards of its rule, such as exp(710) staying finite.")
    x32 = xs.astype(np.float32)
    same = np.array_equal(za.exp_n(x32), za.exp_n(x32.astype(np.float64)).astype(np.float32))
    print(f"  float32 in gives {za.exp_n(x32).dtype} out, equal to the float64 values rounded once: {same}")


def list_path():
    n = 100_000
    print(f"\nList path: Python lists in and out, on the worker pool, against plain Python ({n:,} elements):")
    rng = random.Random(2026)
    xs = [rng.uniform(-5.0, 5.0) for _ in range(n)]
    ys = [rng.uniform(-3.0, 3.0) for _ in range(n)]
    exp_ratio = compare("exp_n", lambda: z.exp_n(xs), lambda: list(map(math.exp, xs)), "map(math.exp)")
    compare("tension_n", lambda: z.tension_n(xs, ys),
            lambda: [math.exp(x) - math.log(abs(y)) for x, y in zip(xs, ys)], "comprehension")
    points, phis = list(zip(xs, [abs(y) + 0.5 for y in ys]))[: n // 4], xs[: n // 4]
    compare(f"boost_n, {len(points):,} points", lambda: z.boost_n(points, phis, 1.0),
            lambda: python_boost(points, phis, 1.0), "Python loop", rounds=5)
    print(f"  exp_n equals map(math.exp) on every element: {z.exp_n(xs) == list(map(math.exp, xs))}")
    print(f"  boost_n equals the Python loop (same formulas with math) bit for bit: "
          f"{z.boost_n(points, phis, 1.0) == python_boost(points, phis, 1.0)}")
    print(f"  On lists, reading and creating Python floats costs more than one exp, so exp_n is only "
          f"{exp_ratio:.1f}x map(math.exp);\n  the list path pays off for rules with more work per element "
          f"(tension, boost). For plain exp use zyl_core.arrays on numpy arrays.")
    print(f"  guarded: div_n([1.0], [0.0]) = {z.div_n([1.0], [0.0])}, exp_n([710.0]) = {z.exp_n([710.0])}")


def tension_plane():
    print("\nThe tension plane:")
    p = z.ZYLPoint(1.0, 2.0)
    print(f"  {p!r}: tension {p.tension()}, pair {p.pair()!r}")
    knot = z.ZYLKnot(p)
    print(f"  {knot!r}")
    print(f"  after a 3-1 flip: {knot.flip()!r}")
    print(f"  pulses from (0, 1): {z.simulate_pulses_n(0.0, 1.0, 3)}")


def algebra():
    n = 10_000
    print(f"\nAlgebra batches, {n:,} products of lists of 8 floats, against numpy (tensordot + einsum,"
          " including its list conversions):")
    e = [[1.0 if k == i else 0.0 for k in range(8)] for i in range(8)]
    (e1e2, e2e1) = z.octonion_mul_n([e[1], e[2]], [e[2], e[1]])
    print(f"  octonions: e1*e2 = e{e1e2.index(1.0)} and e2*e1 = -e{e2e1.index(-1.0)}")
    rng = random.Random(8)
    a = [[rng.gauss(0, 1) for _ in range(8)] for _ in range(n)]
    b = [[rng.gauss(0, 1) for _ in range(8)] for _ in range(n)]
    numpy_octonion, numpy_geometric = bilinear(octonion_structure()), bilinear(cayley_tensor([1, 1, 1]))
    compare("octonion_mul_n", lambda: z.octonion_mul_n(a, b), lambda: numpy_octonion(a, b), "numpy")
    compare("geometric_product_n in Cl(3)", lambda: z.geometric_product_n(a, b, [1, 1, 1]),
            lambda: numpy_geometric(a, b), "numpy")
    gap = np.max(np.abs(np.asarray(z.octonion_mul_n(a, b)) - np.asarray(numpy_octonion(a, b))))
    print(f"  largest difference from numpy's octonion products: {gap:.1e} (numpy sums the terms in another order)")
    radii = [(math.log(r), 0.0) for r in (1.5, 2.0, 5.0, 100.0)]
    print(f"  Schwarzschild rs=1, Gamma^t_tr at r = 1.5, 2, 5, 100: "
          f"{[f'{g:.5f}' for g in z.christoffel_batch_n(radii, 0, 0, 1, 1.0)]}")


def kepler():
    print("\nFormula discovery on measured data: the planets' orbits")
    with open(DATA / "planets.csv") as f:
        rows = [r for r in csv.reader(line for line in f if not line.startswith("#"))]
    axis = [float(r[1]) for r in rows]      # semi-major axis, AU
    period = [float(r[2]) for r in rows]    # orbital period, years
    (seconds,) = race(5, lambda: z.find_formula([axis], period))
    result = z.find_formula([axis], period)
    print(f"  find_formula(axis -> period) in {spread(seconds, 1e3).strip()} ms: {result!r}")
    print(f"  formula: {result.formula}   (Kepler's third law: T = a^(3/2))")
    print(f"  LaTeX:   {result.to_latex()}")
    namespace = {}
    exec(result.to_python(), namespace)
    slope, intercept = np.polyfit(np.log(axis), np.log(period), 1)
    fitted = np.exp(intercept) * np.asarray(axis) ** slope
    found = np.asarray([namespace["f"](a) for a in axis])
    rms = lambda v: math.sqrt(float(np.mean((v - np.asarray(period)) ** 2)))  # noqa: E731
    print(f"  the numpy way, a power law fitted on log-log axes: T = {np.exp(intercept):.4f} a^{slope:.4f}")
    print(f"  RMS error in years: found formula {rms(found):.4f}, numpy power law {rms(fitted):.4f}"
          f"   ratio {rms(fitted) / rms(found):5.2f}x")
    for name, a, t, f_a in zip((r[0] for r in rows), axis, period, found):
        print(f"    {name:<8} a = {a:8.4f} AU   T = {t:9.4f} y   formula gives {f_a:9.4f} y")


def enzyme_kinetics():
    print("\nFormula discovery with fitted constants: enzyme kinetics (examples/enzyme_kinetics.py)\n")
    import enzyme_kinetics as demo  # beside this file

    try:
        demo.main()
    except ImportError as missing:  # an optional package the example's exports use
        print(f"\n  the rest of this example is skipped: {missing}")


def main():
    print(f"zyl_core {z.__version__}, Python {sys.version.split()[0]}, numpy {np.__version__}\n")
    array_path()
    list_path()
    tension_plane()
    algebra()
    kepler()
    enzyme_kinetics()


if __name__ == "__main__":
    main()
