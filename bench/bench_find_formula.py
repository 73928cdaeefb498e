"""find_formula with default settings on noisy data (so no search stops
early), timed from Python with 1 and 2 worker threads.

Each thread count runs in its own process, because the pool size is fixed
when the pool starts. Reports the median wall time per problem and the
speed-up from 1 to 2 threads; the native benchmark bench/bench_search.cpp
reports the candidate counts of the same kind of problems.

    .venv/bin/python bench/bench_find_formula.py [--repeat N]
"""
import argparse
import json
import os
import subprocess
import sys
import textwrap

RUN = """
import json, math, random, statistics, sys, time, zyl_core as z
rng = random.Random(2024)
problems = {
    "x*x + sin(x), 1 var, 50 samples": (1, 50, lambda v: v[0] * v[0] + math.sin(v[0])),
    "x*y + ln(x), 2 vars, 100 samples": (2, 100, lambda v: v[0] * v[1] + math.log(v[0])),
    "x*y - z/x, 3 vars, 200 samples": (3, 200, lambda v: v[0] * v[1] - v[2] / v[0]),
}
out = {}
for name, (n_vars, n, f) in problems.items():
    cols = [[rng.uniform(0.5, 3.0) for _ in range(n)] for _ in range(n_vars)]
    ys = [f([c[i] for c in cols]) + rng.gauss(0, 0.01) for i in range(n)]
    times = []
    for _ in range(int(sys.argv[1])):
        t0 = time.perf_counter()
        r = z.find_formula(cols, ys)
        times.append(time.perf_counter() - t0)
    out[name] = (statistics.median(times), r.formula, r.error)
print(json.dumps(out))
"""


def run(threads, repeat):
    env = dict(os.environ, RAYON_NUM_THREADS=str(threads))
    proc = subprocess.run([sys.executable, "-c", textwrap.dedent(RUN), str(repeat)],
                          env=env, capture_output=True, text=True, check=True)
    return json.loads(proc.stdout)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--repeat", type=int, default=7)
    args = ap.parse_args()
    one, two = run(1, args.repeat), run(2, args.repeat)
    print(f"{'problem':<36} {'1 thread s':>11} {'2 threads s':>12} {'speed-up':>9}  best (error)")
    for name in one:
        t1, formula, error = one[name]
        t2, formula2, error2 = two[name]
        assert (formula, error) == (formula2, error2), "results must not depend on the pool size"
        print(f"{name:<36} {t1:>11.3f} {t2:>12.3f} {t1 / t2:>8.2f}x  {formula} ({error:.3g})")


if __name__ == "__main__":
    main()
