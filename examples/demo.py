"""A tour of zyl_core on real-sized inputs.

Run through the README's demo command (scripts/demo.sh), which sets up the
environment first.
"""
import math
import random
import time

import zyl_core as z


def timed(label, fn):
    t0 = time.perf_counter()
    result = fn()
    print(f"  {label:<46} {1e3 * (time.perf_counter() - t0):8.1f} ms")
    return result


def batch_functions():
    print("Batch functions over one million floats (parallel on the worker pool):")
    rng = random.Random(2026)
    n = 1_000_000
    xs = [rng.uniform(-5.0, 5.0) for _ in range(n)]
    ys = [rng.uniform(-3.0, 3.0) for _ in range(n)]
    e = timed("exp_n(xs)", lambda: z.exp_n(xs))
    timed("list(map(math.exp, xs))  [plain Python]", lambda: list(map(math.exp, xs)))
    t = timed("tension_n(xs, ys) = exp(x) - ln|y|", lambda: z.tension_n(xs, ys))
    q = timed("div_n(xs, ys)", lambda: z.div_n(xs, ys))
    print(f"  exp_n agrees with math.exp on every element: {e == [math.exp(x) for x in xs]}")
    print(f"  tension at (0, 1) = {z.tension_n([0.0], [1.0])[0]}, at (0, 0) = {z.tension_n([0.0], [0.0])[0]}")
    print(f"  first results: tension {t[0]:.6f}, quotient {q[0]:.6f}")
    points = list(zip(xs[:200_000], [abs(y) + 0.5 for y in ys[:200_000]]))
    boosted = timed("boost_n(200k points, rapidities, c=1)", lambda: z.boost_n(points, xs[:200_000], 1.0))
    print(f"  boost of {points[0][0]:.3f}, {points[0][1]:.3f} -> {boosted[0][0]:.6f}, {boosted[0][1]:.6f}")


def main():
    batch_functions()


if __name__ == "__main__":
    main()
