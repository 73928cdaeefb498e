"""A tour of zyl_core on real-sized inputs and real data.

Run through the README's demo command (scripts/demo.sh), which sets up the
environment first.
"""
import csv
import math
import pathlib
import random
import time

import zyl_core as z

DATA = pathlib.Path(__file__).parent / "data"


def timed(label, fn):
    t0 = time.perf_counter()
    result = fn()
    print(f"  {label:<48} {1e3 * (time.perf_counter() - t0):8.1f} ms")
    return result


def batch_functions():
    print("Batch functions over one million floats, on the worker pool:")
    rng = random.Random(2026)
    n = 1_000_000
    xs = [rng.uniform(-5.0, 5.0) for _ in range(n)]
    ys = [rng.uniform(-3.0, 3.0) for _ in range(n)]
    e = timed("exp_n(xs)", lambda: z.exp_n(xs))
    timed("list(map(math.exp, xs))   (plain Python)", lambda: list(map(math.exp, xs)))
    timed("tension_n(xs, ys) = exp(x) - ln|y|", lambda: z.tension_n(xs, ys))
    q = timed("div_n(xs, ys)", lambda: z.div_n(xs, ys))
    print(f"  exp_n equals math.exp on every element: {e == [math.exp(x) for x in xs]}")
    print(f"  guarded: div_n([1.0], [0.0]) = {z.div_n([1.0], [0.0])}, exp_n([710.0]) = {z.exp_n([710.0])}"
          f", first quotient {q[0]:.6f}")
    points = list(zip(xs[:200_000], [abs(y) + 0.5 for y in ys[:200_000]]))
    boosted = timed("boost_n(200k points, rapidities, c=1)", lambda: z.boost_n(points, xs[:200_000], 1.0))
    same = boosted[0] == (lambda p: (p.x, p.y))(z.ZYLPoint(*points[0]).boost(xs[0], 1.0))
    print(f"  batch boost equals ZYLPoint.boost bit for bit: {same}")


def tension_plane():
    print("\nThe tension plane:")
    p = z.ZYLPoint(1.0, 2.0)
    print(f"  {p!r}: tension {p.tension()}, pair {p.pair()!r}")
    knot = z.ZYLKnot(p)
    print(f"  {knot!r}")
    print(f"  after a 3-1 flip: {knot.flip()!r}")
    print(f"  pulses from (0, 1): {z.simulate_pulses_n(0.0, 1.0, 3)}")
    psi = [(math.cos(k / 10), math.sin(k / 10)) for k in range(5)]
    print(f"  one Schrodinger phase step of psi[0]: {z.schrodinger_step_n(psi, [1.0] * 5, 0.5, 1.0)[0]}")


def algebra():
    print("\nAlgebra batches:")
    e = [[1.0 if k == i else 0.0 for k in range(8)] for i in range(8)]
    (e1e2, e2e1) = z.octonion_mul_n([e[1], e[2]], [e[2], e[1]])
    print(f"  octonions: e1*e2 = e{e1e2.index(1.0)} and e2*e1 = -e{e2e1.index(-1.0)}")
    rng = random.Random(8)
    a = [[rng.gauss(0, 1) for _ in range(8)] for _ in range(100_000)]
    b = [[rng.gauss(0, 1) for _ in range(8)] for _ in range(100_000)]
    timed("octonion_mul_n, 100k products", lambda: z.octonion_mul_n(a, b))
    timed("geometric_product_n, 100k products in Cl(3)", lambda: z.geometric_product_n(a, b, [1, 1, 1]))
    radii = [(math.log(r), 0.0) for r in (1.5, 2.0, 5.0, 100.0)]
    print(f"  Schwarzschild rs=1, Gamma^t_tr at r = 1.5, 2, 5, 100: "
          f"{[f'{g:.5f}' for g in z.christoffel_batch_n(radii, 0, 0, 1, 1.0)]}")


def kepler():
    print("\nFormula discovery on measured data: the planets' orbits")
    with open(DATA / "planets.csv") as f:
        rows = [r for r in csv.reader(line for line in f if not line.startswith("#"))]
    axis = [float(r[1]) for r in rows]      # semi-major axis, AU
    period = [float(r[2]) for r in rows]    # orbital period, years
    result = timed("find_formula(axis -> period)", lambda: z.find_formula([axis], period))
    print(f"  {result!r}")
    print(f"  formula: {result.formula}   (Kepler's third law: T = a^(3/2))")
    print(f"  LaTeX:   {result.to_latex()}")
    print(f"  Python:  {result.to_python()!r}")
    namespace = {}
    exec(result.to_python(), namespace)
    for name, a, t in zip((r[0] for r in rows), axis, period):
        print(f"    {name:<8} a = {a:8.4f} AU   T = {t:9.4f} y   formula gives {namespace['f'](a):9.4f} y")


def enzyme_kinetics():
    print("\nFormula discovery with fitted constants: enzyme kinetics (examples/enzyme_kinetics.py)\n")
    import enzyme_kinetics as demo  # beside this file

    demo.main()


def main():
    batch_functions()
    tension_plane()
    algebra()
    kepler()
    enzyme_kinetics()


if __name__ == "__main__":
    main()
