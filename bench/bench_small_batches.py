"""Every list-API batch function against the plain-Python loop it replaces,
from one element to a million, side by side in one process.

For each function and size the two contenders run interleaved; a sample is
enough back-to-back calls to last about 2 ms (one call for big sizes), and
the median time per call over the samples is reported. The ratio is
zyl / python: at most 1.0 is the goal at every size. A second table lists
the time per call at n = 2, which is almost all call overhead.

    .venv/bin/python bench/bench_small_batches.py [--sizes 1,2,10] [--only exp_n,add_n] [--samples N]
"""
import argparse
import math
import random
import statistics
import time

import zyl_core as z

OVERFLOW = 709.782712893384
FLOOR = 1e-300
FLOOR_LOG = -690.7755278982137


def e_term(x):
    return math.exp(math.log(x) if x > OVERFLOW else x)


def l_term(y):
    m = abs(y)
    return FLOOR_LOG if m == 0.0 else math.log(m)


def py_boost(points, phis, c):
    out = []
    for (x, y), phi in zip(points, phis):
        sh, ch = math.sinh(phi), math.cosh(phi)
        yy = y if not y <= 0 else (-y if -y > FLOOR else FLOOR)
        s = math.log(yy)
        t = e_term(x)
        s1 = min(max(ch * s - (c * t) * sh, -709.0), 709.0)
        t1 = t * ch - (s / c) * sh
        out.append((math.log(t1 if t1 > FLOOR else FLOOR), math.exp(s1)))
    return out


def py_rotate(pairs, angles):
    out = []
    for (re, im), a in zip(pairs, angles):
        c, s = math.cos(a), math.sin(a)
        out.append((c * re - s * im, c * im + s * re))
    return out


def py_schrodinger(psi, v, dt, hbar):
    out = []
    for (re, im), vk in zip(psi, v):
        a = ((-vk) * dt) / hbar
        c, s = math.cos(a), math.sin(a)
        out.append((c * re - s * im, c * im + s * re))
    return out


def py_pulses(x0, y0, n):
    x, y = x0, y0
    out = [(x, y, e_term(x) - l_term(y))]
    for _ in range(n):
        yy = y if not y <= 0 else -y
        if yy == 0.0:
            yy = FLOOR
        x, y = yy, e_term(x) - math.log(yy)
        out.append((x, y, e_term(x) - l_term(y)))
    return out


OCT = [[(1, 0), (1, 1), (1, 2), (1, 3), (1, 4), (1, 5), (1, 6), (1, 7)],
       [(1, 1), (-1, 0), (1, 4), (1, 7), (-1, 2), (1, 6), (-1, 5), (-1, 3)],
       [(1, 2), (-1, 4), (-1, 0), (1, 5), (1, 1), (-1, 3), (1, 7), (-1, 6)],
       [(1, 3), (-1, 7), (-1, 5), (-1, 0), (1, 6), (1, 2), (-1, 4), (1, 1)],
       [(1, 4), (1, 2), (-1, 1), (-1, 6), (-1, 0), (1, 7), (1, 3), (-1, 5)],
       [(1, 5), (-1, 6), (1, 3), (-1, 2), (-1, 7), (-1, 0), (1, 1), (1, 4)],
       [(1, 6), (1, 5), (-1, 7), (1, 4), (-1, 3), (-1, 1), (-1, 0), (1, 2)],
       [(1, 7), (1, 3), (1, 6), (-1, 1), (1, 5), (-1, 4), (-1, 2), (-1, 0)]]


def py_octonion(a_batch, b_batch):
    out = []
    for a, b in zip(a_batch, b_batch):
        c = [0.0] * 8
        for i, ai in enumerate(a):
            if ai == 0.0:
                continue
            row = OCT[i]
            for j, bj in enumerate(b):
                if bj != 0.0:
                    sign, k = row[j]
                    c[k] = sign * ai * bj + c[k]
        out.append(c)
    return out


def blade_product_table(n, signature):
    """(i ^ j, sign times metric) for every pair of blades, built once."""
    table = []
    for i in range(n):
        row = []
        for j in range(n):
            g = 1.0
            for p in range(n.bit_length() - 1):
                if j >> p & 1:
                    if bin(i >> (p + 1)).count("1") & 1:
                        g = -g
                    if i >> p & 1:
                        g *= signature[p]
            row.append((i ^ j, g))
        table.append(row)
    return table


def py_geometric(a_batch, b_batch, signature):
    tables = {}
    out = []
    for a, b in zip(a_batch, b_batch):
        n = len(a)
        table = tables.get(n) or tables.setdefault(n, blade_product_table(n, signature))
        r = [0.0] * n
        for i, ai in enumerate(a):
            if ai == 0.0:
                continue
            row = table[i]
            for j, bj in enumerate(b):
                if bj != 0.0:
                    k, g = row[j]
                    r[k] = bj * (g * ai) + r[k]
        out.append(r)
    return out


def py_christoffel(points, lam, mu, nu, rs):
    out = []
    for x, _ in points:
        if x > 709.78:
            x = math.log(x)
        r = max(math.exp(x), rs + 1e-9)
        out.append(0.0 if rs >= r else rs / ((r - rs) * (r + r)))
    return out


def cases(rng, n):
    """(name, zyl call, python call) for every list-API batch function."""
    xs = [rng.uniform(-20.0, 20.0) for _ in range(n)]
    ps = [rng.uniform(0.1, 20.0) for _ in range(n)]
    small = [rng.uniform(-2.0, 2.0) for _ in range(n)]
    points = list(zip(xs, ps))
    octs = [[rng.uniform(-1, 1) for _ in range(8)] for _ in range(min(n, 200_000))] * max(1, n // 200_000)
    mvs = [[rng.uniform(-1, 1) for _ in range(8)] for _ in range(min(n, 200_000))] * max(1, n // 200_000)
    sig = [1, 1, -1]
    return [
        ("exp_n", lambda: z.exp_n(xs), lambda: [math.exp(x) for x in xs]),
        ("ln_n", lambda: z.ln_n(ps), lambda: [math.log(y) for y in ps]),
        ("sqrt_n", lambda: z.sqrt_n(ps), lambda: [math.sqrt(x) for x in ps]),
        ("sin_n", lambda: z.sin_n(xs), lambda: [math.sin(x) for x in xs]),
        ("cos_n", lambda: z.cos_n(xs), lambda: [math.cos(x) for x in xs]),
        ("add_n", lambda: z.add_n(xs, ps), lambda: [a + b for a, b in zip(xs, ps)]),
        ("sub_n", lambda: z.sub_n(xs, ps), lambda: [a - b for a, b in zip(xs, ps)]),
        ("mul_n", lambda: z.mul_n(xs, ps), lambda: [a * b for a, b in zip(xs, ps)]),
        ("div_n", lambda: z.div_n(xs, ps), lambda: [a / b for a, b in zip(xs, ps)]),
        ("pow_n", lambda: z.pow_n(ps, small), lambda: [a ** b for a, b in zip(ps, small)]),
        ("tension_n", lambda: z.tension_n(xs, ps), lambda: [math.exp(x) - math.log(y) for x, y in zip(xs, ps)]),
        ("boost_n", lambda: z.boost_n(points, small, 1.5), lambda: py_boost(points, small, 1.5)),
        ("rotate_phase_n", lambda: z.rotate_phase_n(points, xs), lambda: py_rotate(points, xs)),
        ("schrodinger_step_n", lambda: z.schrodinger_step_n(points, xs, 0.1, 1.0),
         lambda: py_schrodinger(points, xs, 0.1, 1.0)),
        ("simulate_pulses_n", lambda: z.simulate_pulses_n(0.1, 1.2, n - 1), lambda: py_pulses(0.1, 1.2, n - 1)),
        ("octonion_mul_n", lambda: z.octonion_mul_n(octs, octs), lambda: py_octonion(octs, octs)),
        ("geometric_product_n", lambda: z.geometric_product_n(mvs, mvs, sig), lambda: py_geometric(mvs, mvs, sig)),
        ("christoffel_batch_n", lambda: z.christoffel_batch_n(points, 0, 0, 1, 0.5),
         lambda: py_christoffel(points, 0, 0, 1, 0.5)),
    ]


def calls_per_sample(fn):
    """Back-to-back calls that last about 2 ms."""
    calls = 1
    while True:
        t0 = time.perf_counter()
        for _ in range(calls):
            fn()
        if time.perf_counter() - t0 > 2e-3 or calls >= 1 << 16:
            return calls
        calls *= 2


def side_by_side(fns, samples):
    """Median seconds per call of each function, the samples interleaved."""
    counts = [calls_per_sample(f) for f in fns]
    times = [[] for _ in fns]
    for _ in range(samples):
        for f, k, out in zip(fns, counts, times):
            t0 = time.perf_counter()
            for _ in range(k):
                f()
            out.append((time.perf_counter() - t0) / k)
    return [statistics.median(t) for t in times]


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--sizes", default="1,2,10,100,1000,10000,1000000")
    ap.add_argument("--only", default="", help="comma-separated function names")
    ap.add_argument("--samples", type=int, default=0, help="samples per contender (default: by size)")
    args = ap.parse_args()
    sizes = [int(float(s)) for s in args.sizes.split(",")]
    only = set(filter(None, args.only.split(",")))
    names = [c[0] for c in cases(random.Random(0), 1) if not only or c[0] in only]
    ratios = {name: {} for name in names}
    at_two = {}
    for n in sizes:
        samples = args.samples or (31 if n <= 10_000 else 3)
        for name, zyl, plain in cases(random.Random(n), n):
            if name not in ratios:
                continue
            t_zyl, t_py = side_by_side([zyl, plain], samples)
            ratios[name][n] = t_zyl / t_py
            if n == 2:
                at_two[name] = (t_zyl, t_py)
        print(f"n = {n} done", flush=True)

    print("\nzyl / python, median time per call (goal: <= 1.00)")
    print(f"{'function':<20}" + "".join(f"{n:>9}" for n in sizes))
    for name in names:
        print(f"{name:<20}" + "".join(f"{ratios[name][n]:>9.2f}" for n in sizes))
    worst = max(r for per in ratios.values() for r in per.values())
    print(f"worst ratio: {worst:.2f}")
    if at_two:
        print("\ncall overhead at n = 2 (microseconds per call)")
        print(f"{'function':<20}{'zyl':>9}{'python':>9}{'ratio':>8}")
        for name in names:
            t_zyl, t_py = at_two[name]
            print(f"{name:<20}{t_zyl * 1e6:>9.2f}{t_py * 1e6:>9.2f}{t_zyl / t_py:>8.2f}")


if __name__ == "__main__":
    main()
