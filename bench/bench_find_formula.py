"""find_formula with default settings on noisy problems that never meet the
precision goal (so every level runs): this build against the previous
implementation (commit REFERENCE_COMMIT, built once into a scratch
directory by reference_build.py), side by side in one run.

Reports per problem the median wall time of both builds and their ratio, the
geometric mean of the ratios, candidates scored per second and nanoseconds
per sample per candidate (the candidate count comes from the native
bench_search on the same data), the speed-up from 1 to 2 worker threads on
the 10,000-sample problems, and the peak memory of the 10,000-sample
searches. Results of the two builds must be identical.

    .venv/bin/python bench/bench_find_formula.py [--repeat N] [--sizes 200,2000,10000] [--reference COMMIT]
"""
import argparse
import json
import math
import os
import random
import statistics
import struct
import subprocess
import sys
import tempfile
from pathlib import Path

from reference_build import REFERENCE_COMMIT, ROOT, environment, reference_site

TARGETS = {
    1: ("x*x + sin(x)", lambda v: v[0] * v[0] + math.sin(v[0])),
    2: ("x*y + ln(x)", lambda v: v[0] * v[1] + math.log(v[0])),
    3: ("x*y - z/x", lambda v: v[0] * v[1] - v[2] / v[0]),
}

# Times the search of every problem file given on the command line and
# measures the growth of the process's peak memory during it; prints one JSON
# line per problem.
CHILD = """
import json, resource, struct, sys, time
from array import array
import zyl_core as z
for path in sys.argv[1:]:
    with open(path, "rb") as f:
        n_vars, n = struct.unpack("<QQ", f.read(16))
        cols = []
        for _ in range(n_vars):
            a = array("d"); a.fromfile(f, n); cols.append(a.tolist())
        ys = array("d"); ys.fromfile(f, n); ys = ys.tolist()
    before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
    t0, c0 = time.perf_counter(), time.process_time()
    r = z.find_formula(cols, ys)
    wall, cpu = time.perf_counter() - t0, time.process_time() - c0
    peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss - before
    print(json.dumps([path, wall, r.formula, struct.pack("<d", r.error).hex(), r.complexity, peak, cpu]), flush=True)
"""


def write_problem(path: Path, n_vars: int, n: int, seed: int) -> None:
    rng = random.Random(seed)
    cols = [[rng.uniform(0.5, 3.0) for _ in range(n)] for _ in range(n_vars)]
    f = TARGETS[n_vars][1]
    ys = [f([c[i] for c in cols]) + rng.gauss(0.0, 0.01) for i in range(n)]
    with open(path, "wb") as out:
        out.write(struct.pack("<QQ", n_vars, n))
        for c in cols:
            out.write(struct.pack(f"<{n}d", *c))
        out.write(struct.pack(f"<{n}d", *ys))


def run_child(site, paths, threads=None):
    extra = {"RAYON_NUM_THREADS": str(threads)} if threads else {}
    proc = subprocess.run([sys.executable, "-c", CHILD, *map(str, paths)], env=environment(site, **extra),
                          capture_output=True, text=True, check=True, cwd="/")
    return {Path(row[0]): row[1:] for row in map(json.loads, proc.stdout.splitlines())}


def native_counts(paths):
    """Candidates generated and scored per problem, from the native search."""
    build = ROOT / "build" / "bench"
    venv_cmake = Path(sys.executable).parent / "cmake"
    cmake = [str(venv_cmake) if venv_cmake.exists() else "cmake"]
    subprocess.run([*cmake, "-S", str(ROOT), "-B", str(build), "-DZYL_BUILD_MODULE=OFF", "-DZYL_BUILD_BENCH=ON",
                    "-DCMAKE_BUILD_TYPE=Release"], check=True, capture_output=True)
    subprocess.run([*cmake, "--build", str(build), "-j2", "--target", "bench_search"], check=True,
                   capture_output=True)
    counts = {}
    for p in paths:
        out = subprocess.run([str(build / "bench_search"), str(p)], check=True, capture_output=True, text=True)
        generated, scored = out.stdout.split()[:2]
        counts[p] = (int(generated), int(scored))
    return counts


def main() -> None:
    ap = argparse.ArgumentParser()
    ap.add_argument("--repeat", type=int, default=3)
    ap.add_argument("--sizes", default="200,2000,10000")
    ap.add_argument("--reference", default=REFERENCE_COMMIT, help="commit of the previous build")
    args = ap.parse_args()
    sizes = [int(s) for s in args.sizes.split(",")]
    old_site = reference_site(args.reference)
    tmp = Path(tempfile.mkdtemp(prefix="bench_find_formula_"))
    problems = {}
    for n_vars in (1, 2, 3):
        for n in sizes:
            path = tmp / f"p{n_vars}_{n}.bin"
            write_problem(path, n_vars, n, seed=1000 * n_vars + n)
            problems[path] = (n_vars, n)
    paths = list(problems)

    # Every search in a process of its own (so that its peak memory is its
    # own), the builds alternating so that both see the same load.
    big = [p for p in paths if problems[p][1] == max(sizes)]
    runs = {(build, p): [] for build in ("new", "old", "new1", "new2") for p in paths}
    for r in range(args.repeat):
        print(f"repeat {r + 1}/{args.repeat} ...", file=sys.stderr, flush=True)
        for p in paths:
            runs["new", p].append(run_child(None, [p])[p])
            runs["old", p].append(run_child(old_site, [p])[p])
        for p in big:
            runs["new1", p].append(run_child(None, [p], threads=1)[p])
            runs["new2", p].append(run_child(None, [p], threads=2)[p])
    counts = native_counts(paths)

    def median(build, p):
        return statistics.median(run[0] for run in runs[build, p])

    print(f"find_formula, default settings, default pool size; median of {args.repeat} runs;"
          f" previous = commit {args.reference}; load average {os.getloadavg()[0]:.1f}")
    print(f"{'problem':<26} {'samples':>7} {'previous s':>10} {'this s':>8} {'ratio':>6} {'scored':>7}"
          f" {'cand/s':>9} {'ns/sample/cand':>14}  result")
    ratios = []
    for p in paths:
        n_vars, n = problems[p]
        new_t, old_t = median("new", p), median("old", p)
        results = {tuple(run[1:4]) for build in ("new", "old", "new1", "new2") for run in runs[build, p]}
        assert len(results) == 1, (p, results)
        ratios.append(old_t / new_t)
        scored = counts[p][1]
        print(f"{TARGETS[n_vars][0] + f', {n_vars} var':<26} {n:>7} {old_t:>10.3f} {new_t:>8.3f} {old_t / new_t:>5.1f}x"
              f" {scored:>7} {scored / new_t:>9.0f} {new_t * 1e9 / (scored * n):>14.2f}  {runs['new', p][0][1]}")
    geo = math.exp(sum(map(math.log, ratios)) / len(ratios))
    print(f"geometric mean of the ratios: {geo:.2f}x (results identical on every problem and pool size)")
    cpu_ratios = [statistics.median(run[5] for run in runs["old", p])
                  / statistics.median(run[5] for run in runs["new", p]) for p in paths]
    cpu_geo = math.exp(sum(map(math.log, cpu_ratios)) / len(cpu_ratios))
    print(f"geometric mean of the processor-time ratios: {cpu_geo:.2f}x"
          f" (10000 samples: {', '.join(f'{r:.2f}x' for p, r in zip(paths, cpu_ratios) if p in big)})")

    print(f"\n1 -> 2 worker threads, this build, {max(sizes)} samples (median of {args.repeat}),"
          " and peak memory of the search (largest of the runs):")
    for p in big:
        t1, t2 = median("new1", p), median("new2", p)
        peak_new = max(run[4] for run in runs["new", p]) / 1024
        peak_old = max(run[4] for run in runs["old", p]) / 1024
        print(f"  {problems[p][0]} var: 1 thread {t1:.3f} s, 2 threads {t2:.3f} s, speed-up {t1 / t2:.2f}x;"
              f" peak memory {peak_new:.0f} MiB (previous {peak_old:.0f} MiB)")


if __name__ == "__main__":
    main()
