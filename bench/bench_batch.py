"""Element-wise batch functions against what a user would write instead.

For each size, every contender runs in the same process, interleaved, and
the median of repeated runs is reported as a ratio. The floor is the cost of
reading every input float and creating every output float, which no
list-in, list-out function can avoid: array('d', xs) per input list and
.tolist() per output list. For boost_n, whose points and results are
2-tuples, the floor also reads the tuples (array('d', chain(points))) and
creates the result tuples (list(zip(xs', ys'))).

    .venv/bin/python bench/bench_batch.py [--repeat N]
"""
import argparse
import math
import random
import statistics
import time
from array import array
from itertools import chain

import numpy as np

import zyl_core as z


def median_time(fn, repeat):
    times = []
    for _ in range(repeat):
        t0 = time.perf_counter()
        fn()
        times.append(time.perf_counter() - t0)
    return statistics.median(times)


def python_boost(points, phis, c):
    out = []
    for (x, y), phi in zip(points, phis):
        sh, ch = math.sinh(phi), math.cosh(phi)
        yy = y if not y <= 0 else (-y if -y > 1e-300 else 1e-300)
        s = math.log(yy)
        t = math.exp(math.log(x)) if x > 709.782712893384 else math.exp(x)
        s1 = min(max(ch * s - (c * t) * sh, -709.0), 709.0)
        t1 = t * ch - (s / c) * sh
        out.append((math.log(t1 if t1 > 1e-300 else 1e-300), math.exp(s1)))
    return out


def numpy_boost(points, phis, c):
    p = np.asarray(points)
    phi = np.asarray(phis)
    x, y = p[:, 0], p[:, 1]
    sh, ch = np.sinh(phi), np.cosh(phi)
    yy = np.where(y > 0, y, np.maximum(np.abs(y), 1e-300))
    s = np.log(yy)
    t = np.exp(np.where(x > 709.782712893384, np.log(np.maximum(x, 1e-300)), x))
    s1 = np.clip(ch * s - (c * t) * sh, -709.0, 709.0)
    t1 = t * ch - (s / c) * sh
    return list(zip(np.log(np.where(t1 > 1e-300, t1, 1e-300)).tolist(), np.exp(s1).tolist()))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--repeat", type=int, default=0, help="runs per contender (default: by size)")
    args = ap.parse_args()
    rng = random.Random(1)
    print("worker threads: RAYON_NUM_THREADS, or all usable CPUs when unset")
    print(f"{'function':<10} {'n':>8} {'vs floor':>9} {'vs numpy':>9} {'python/zyl':>11}")
    for n in (10_000, 1_000_000):
        repeat = args.repeat or (61 if n <= 10_000 else 9)
        xs = [rng.uniform(-20, 20) for _ in range(n)]
        ys = [rng.uniform(0.1, 20) for _ in range(n)]
        points = list(zip(xs, ys))
        read = median_time(lambda: array("d", xs), repeat)
        arr = array("d", xs)
        create = median_time(lambda: arr.tolist(), repeat)
        flat = array("d", chain.from_iterable(points))
        tuple_floor = (median_time(lambda: array("d", chain.from_iterable(points)), repeat)
                       + median_time(lambda: list(zip(flat[0::2].tolist(), flat[1::2].tolist())), repeat)
                       + read)
        cases = {
            "exp_n": (lambda: z.exp_n(xs), lambda: np.exp(np.asarray(xs)).tolist(),
                      lambda: list(map(math.exp, xs)), read + create),
            "add_n": (lambda: z.add_n(xs, ys), lambda: (np.asarray(xs) + np.asarray(ys)).tolist(),
                      lambda: [a + b for a, b in zip(xs, ys)], 2 * read + create),
            "tension_n": (lambda: z.tension_n(xs, ys),
                          lambda: (np.exp(np.asarray(xs)) - np.log(np.abs(np.asarray(ys)))).tolist(),
                          lambda: [math.exp(a) - math.log(abs(b)) for a, b in zip(xs, ys)], 2 * read + create),
            "boost_n": (lambda: z.boost_n(points, xs, 1.0), lambda: numpy_boost(points, xs, 1.0),
                        lambda: python_boost(points, xs, 1.0), tuple_floor),
        }
        for name, (ours, numpy_way, python_way, floor) in cases.items():
            t_ours = median_time(ours, repeat)
            t_np = median_time(numpy_way, repeat)
            t_py = median_time(python_way, max(3, repeat // 4))
            print(f"{name:<10} {n:>8} {t_ours / floor:>8.2f}x {t_ours / t_np:>8.2f}x {t_py / t_ours:>10.1f}x")


if __name__ == "__main__":
    main()
