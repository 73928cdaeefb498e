"""zyl_core.arrays' exp, ln, pow and tension (and sin, cos) at 10^6 float64
values against numpy's own functions (its SIMD loops where it has them; for
tension numpy's composite exp(x) - log(|y|)), interleaved in one process on
the default pool, medians of the runs; ratio = zyl_core / numpy, so at most
1.0 meets the goal. The processor time of the whole process (every thread)
is given beside the wall time: on a machine busy with other work, a call
longer than the scheduler's time slice waits for its next turn, so wall
times there say more about the load than about the work. Also says what the self-test enabled, and with
--callgrind the instructions per element of each side (valgrind's
callgrind, one thread, the difference between runs that call the function
three times and once, so import, set-up and the self-test cancel).

    .venv/bin/python bench/bench_vector_libm.py [--repeat N] [--callgrind]
"""
import argparse
import os
import re
import statistics
import subprocess
import sys
import tempfile
import time

os.environ.setdefault("OPENBLAS_NUM_THREADS", "1")

import numpy as np  # noqa: E402

import zyl_core.arrays as za  # noqa: E402

N = 10**6
# name: (zyl_core call, numpy call), on the arrays made by `data`.
CASES = {
    "exp": ("za.exp_n(x)", "np.exp(x)"),
    "ln": ("za.ln_n(pos)", "np.log(pos)"),
    "pow": ("za.pow_n(pos, e)", "np.power(pos, e)"),
    "tension": ("za.tension_n(x, y)", "np.exp(x) - np.log(np.abs(y))"),
    "sin": ("za.sin_n(angle)", "np.sin(angle)"),
    "cos": ("za.cos_n(angle)", "np.cos(angle)"),
}
GOALS = {"exp": 1.0, "ln": 1.0, "pow": 1.0, "tension": 1.0}
DATA = """
import numpy as np
rng = np.random.default_rng(0)
x = rng.uniform(-20.0, 20.0, {n})
pos = rng.uniform(1e-3, 1e3, {n})
y = rng.uniform(-1e3, 1e3, {n})
e = rng.uniform(-4.0, 4.0, {n})
angle = rng.uniform(-100.0, 100.0, {n})
"""


def timings(repeat):
    """Median wall and processor seconds per (case, side), the contenders
    interleaved run by run after one warm-up call each."""
    env = {"np": np, "za": za}
    exec(DATA.format(n=N), env)
    contenders = {}
    for name, (ours, theirs) in CASES.items():
        contenders[name, "zyl"] = eval(f"lambda: {ours}", env)
        contenders[name, "numpy"] = eval(f"lambda: {theirs}", env)
    runs = {key: [] for key in contenders}
    for fn in contenders.values():
        fn()
    for _ in range(repeat):
        for key, fn in contenders.items():
            w0, c0 = time.perf_counter(), time.process_time()
            fn()
            runs[key].append((time.perf_counter() - w0, time.process_time() - c0))
    return {key: tuple(statistics.median(r[i] for r in rs) for i in (0, 1)) for key, rs in runs.items()}


def instructions(call, n, times):
    """Instructions valgrind counts for a process that runs `call` `times`
    times after one warm-up call."""
    code = DATA.format(n=n) + f"import zyl_core.arrays as za\n{call}\nfor _ in range({times}):\n    {call}\n"
    with tempfile.TemporaryDirectory() as tmp:
        out = os.path.join(tmp, "cg.out")
        proc = subprocess.run(["valgrind", "--tool=callgrind", f"--callgrind-out-file={out}", sys.executable, "-c", code],
                              env=dict(os.environ, RAYON_NUM_THREADS="1"), capture_output=True, text=True, check=True)
        return int(re.search(r"Collected : (\d+)", proc.stderr).group(1))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--repeat", type=int, default=31)
    ap.add_argument("--callgrind", action="store_true")
    args = ap.parse_args()
    load = os.getloadavg()
    med = timings(args.repeat)
    print(f"10^6 float64 elements, median of {args.repeat} interleaved runs, pool of"
          f" {os.environ.get('RAYON_NUM_THREADS', 'default')} threads; load average {load[0]:.1f}")
    print(f"vector kernels: {za.vector_kernels()}")
    print(f"{'function':<9} {'zyl ms':>8} {'numpy ms':>9} {'ratio':>6}  {'goal':<12}"
          f" {'zyl cpu ms':>10} {'numpy cpu ms':>12} {'cpu ratio':>9}")
    for name in CASES:
        (ours, ours_cpu), (theirs, theirs_cpu) = med[name, "zyl"], med[name, "numpy"]
        goal = GOALS.get(name)
        mark = "" if goal is None else f"<= {goal}  {'ok' if ours / theirs <= goal else 'MISSED'}"
        print(f"{name:<9} {ours * 1e3:>8.3f} {theirs * 1e3:>9.3f} {ours / theirs:>6.2f}  {mark:<12}"
              f" {ours_cpu * 1e3:>10.3f} {theirs_cpu * 1e3:>12.3f} {ours_cpu / theirs_cpu:>9.2f}")
    if args.callgrind:
        n = 10**5
        print(f"\ninstructions per element (callgrind, {n} elements, one thread)")
        for name, calls in CASES.items():
            per = [(instructions(c, n, 2) - instructions(c, n, 0)) / (2 * n) for c in calls]
            print(f"{name:<9} zyl {per[0]:7.1f}   numpy {per[1]:7.1f}")


if __name__ == "__main__":
    main()
