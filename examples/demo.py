"""A tour of zyl_core on real-sized inputs and real data.

Each comparison runs zyl_core and what a user would write instead side by
side in this one run, repeats both and prints the medians and their ratio
(theirs / ours: above 1 means zyl_core is faster). The machine's load moves
absolute times from run to run; the ratios move much less.

Run through the README's demo command (scripts/demo.sh), which sets up the
environment first.
"""
import csv
import importlib.util
import math
import pathlib
import random
import statistics
import sys
import time

import numpy as np

import zyl_core as z

HERE = pathlib.Path(__file__).resolve().parent
DATA = HERE / "data"
sys.path.insert(0, str(HERE.parent / "bench"))
from bench_algebra import bilinear, cayley_tensor, octonion_structure  # noqa: E402
from bench_batch import python_boost  # noqa: E402


def race(repeat, ours, theirs):
    """Median seconds of each contender, run alternately."""
    times = ([], [])
    for _ in range(repeat):
        for fn, slot in ((ours, times[0]), (theirs, times[1])):
            t0 = time.perf_counter()
            fn()
            slot.append(time.perf_counter() - t0)
    return statistics.median(times[0]), statistics.median(times[1])


def compare(label, ours, theirs, their_name, repeat=5):
    t_ours, t_theirs = race(repeat, ours, theirs)
    print(f"  {label:<34} zyl_core {1e3 * t_ours:7.1f} ms   {their_name:<14} {1e3 * t_theirs:7.1f} ms"
          f"   ratio {t_theirs / t_ours:5.2f}x")
    return t_theirs / t_ours


def array_path():
    print("Array path: numpy float64 arrays in and out, one million elements, against numpy:")
    arrays = z.arrays
    if not all(hasattr(arrays, name) for name in ("exp_n", "tension_n")):
        print("  this build's zyl_core.arrays has no exp_n / tension_n yet: skipped")
        return
    rng = np.random.default_rng(2026)
    xs = rng.uniform(-5.0, 5.0, 1_000_000)
    ys = rng.uniform(-3.0, 3.0, 1_000_000)
    compare("exp_n(xs) vs np.exp(xs)", lambda: arrays.exp_n(xs), lambda: np.exp(xs), "np.exp")
    compare("tension_n(xs, ys)", lambda: arrays.tension_n(xs, ys),
            lambda: np.exp(xs) - np.log(np.abs(ys)), "numpy exp-log")
    same = np.array_equal(arrays.exp_n(xs), np.exp(xs))
    print(f"  exp_n equals np.exp on every element: {same}")


def list_path():
    print("\nList path: Python lists in and out, on the worker pool, against plain Python:")
    rng = random.Random(2026)
    n = 1_000_000
    xs = [rng.uniform(-5.0, 5.0) for _ in range(n)]
    ys = [rng.uniform(-3.0, 3.0) for _ in range(n)]
    exp_ratio = compare("exp_n, 1e6 floats", lambda: z.exp_n(xs), lambda: list(map(math.exp, xs)), "map(math.exp)")
    compare("tension_n, 1e6 pairs", lambda: z.tension_n(xs, ys),
            lambda: [math.exp(x) - math.log(abs(y)) for x, y in zip(xs, ys)], "comprehension")
    points = list(zip(xs[:200_000], [abs(y) + 0.5 for y in ys[:200_000]]))
    phis = xs[:200_000]
    compare("boost_n, 2e5 points", lambda: z.boost_n(points, phis, 1.0),
            lambda: python_boost(points, phis, 1.0), "Python loop", repeat=3)
    print(f"  exp_n equals math.exp on every element: {z.exp_n(xs) == list(map(math.exp, xs))}")
    print(f"  batch boost equals the Python loop bit for bit: "
          f"{z.boost_n(points[:1000], phis[:1000], 1.0) == python_boost(points[:1000], phis[:1000], 1.0)}")
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
    print("\nAlgebra batches, 1e5 products of lists of 8 floats, against numpy (tensordot + einsum,"
          " including its list conversions):")
    e = [[1.0 if k == i else 0.0 for k in range(8)] for i in range(8)]
    (e1e2, e2e1) = z.octonion_mul_n([e[1], e[2]], [e[2], e[1]])
    print(f"  octonions: e1*e2 = e{e1e2.index(1.0)} and e2*e1 = -e{e2e1.index(-1.0)}")
    rng = random.Random(8)
    a = [[rng.gauss(0, 1) for _ in range(8)] for _ in range(100_000)]
    b = [[rng.gauss(0, 1) for _ in range(8)] for _ in range(100_000)]
    numpy_octonion, numpy_geometric = bilinear(octonion_structure()), bilinear(cayley_tensor([1, 1, 1]))
    compare("octonion_mul_n", lambda: z.octonion_mul_n(a, b), lambda: numpy_octonion(a, b), "numpy")
    compare("geometric_product_n in Cl(3)", lambda: z.geometric_product_n(a, b, [1, 1, 1]),
            lambda: numpy_geometric(a, b), "numpy")
    gap = np.max(np.abs(np.asarray(z.octonion_mul_n(a, b)) - np.asarray(numpy_octonion(a, b))))
    print(f"  largest difference from numpy's octonion products: {gap:.1e} (numpy sums in another order)")
    radii = [(math.log(r), 0.0) for r in (1.5, 2.0, 5.0, 100.0)]
    print(f"  Schwarzschild rs=1, Gamma^t_tr at r = 1.5, 2, 5, 100: "
          f"{[f'{g:.5f}' for g in z.christoffel_batch_n(radii, 0, 0, 1, 1.0)]}")


def kepler():
    print("\nFormula discovery on measured data: the planets' orbits")
    with open(DATA / "planets.csv") as f:
        rows = [r for r in csv.reader(line for line in f if not line.startswith("#"))]
    axis = [float(r[1]) for r in rows]      # semi-major axis, AU
    period = [float(r[2]) for r in rows]    # orbital period, years
    t0 = time.perf_counter()
    result = z.find_formula([axis], period)
    seconds = time.perf_counter() - t0
    print(f"  find_formula(axis -> period) in {seconds:.2f} s: {result!r}")
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
    path = HERE / "enzyme_kinetics.py"
    print("\nFormula discovery on measured enzyme kinetics:")
    if not path.exists():
        print("  examples/enzyme_kinetics.py is not in this checkout yet: skipped")
        return
    found = importlib.util.spec_from_file_location("enzyme_kinetics", path)
    example = importlib.util.module_from_spec(found)
    try:
        found.loader.exec_module(example)
    except ModuleNotFoundError as missing:
        print(f"  needs the package {missing.name!r}, which the demo does not install: skipped "
              f"(run .venv/bin/python {path.relative_to(HERE.parent)} after bash scripts/test.sh)")
        return
    example.main()


def enzyme_kinetics():
    print("\nFormula discovery with fitted constants: enzyme kinetics (examples/enzyme_kinetics.py)\n")
    import enzyme_kinetics as demo  # beside this file

    demo.main()


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
