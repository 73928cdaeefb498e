"""Time and peak memory of one discovery fit against the row count.

Each row count runs in a fresh process, so that its peak resident memory
(ru_maxrss) is its own: 5 input columns, two of which the law does not read,
1% Gaussian noise, the estimator at its defaults. The table gives the wall
time, the peak memory of the whole process and the part of it that is the
data itself (X and y as float64), and whether the selected formula is the law
(its error on fresh rows within 0.5% of the target's size). "fit MiB" is
what the fit itself added to the process's resident memory at its peak (the
peak is reset once the data is made, by /proc/self/clear_refs): the figure
that must not grow with the row count. X is passed in C (row-major) or F
(column-major) order, --orders.

    .venv/bin/python bench/bench_scale.py [--rows 10000,100000,1000000,10000000] [--orders C,F] [--json FILE]
"""
import argparse
import json
import os
import resource
import subprocess
import sys
import time

os.environ.setdefault("RAYON_NUM_THREADS", "2")

LAW = "x0*x1/x2**2"


def law(x):
    return x[:, 0] * x[:, 1] / x[:, 2] ** 2


def make_data(rows, seed):
    import numpy as np

    rng = np.random.default_rng(seed)
    x = rng.uniform(1.0, 5.0, (rows, 5))
    truth = law(x)
    return x, truth, truth + 0.01 * np.sqrt(np.mean(truth**2)) * rng.standard_normal(rows)


def status_kib(field):
    with open("/proc/self/status") as fh:
        for line in fh:
            if line.startswith(field + ":"):
                return int(line.split()[1])
    raise RuntimeError(f"no {field} in /proc/self/status")


def one(rows, order):
    """Runs one fit in this process and prints its figures as JSON."""
    import numpy as np

    from zyl_core.discovery import FormulaRegressor

    x, truth, y = make_data(rows, 1)
    del truth
    x = np.asarray(x, order=order)
    data_bytes = x.nbytes + y.nbytes
    with open("/proc/self/clear_refs", "w") as fh:
        fh.write("5")
    resident_before = status_kib("VmRSS")
    start = time.perf_counter()
    model = FormulaRegressor(verbose=False).fit(x, y)
    seconds = time.perf_counter() - start
    fit_bytes = (status_kib("VmHWM") - resident_before) * 1024
    fresh_x, fresh_truth, _ = make_data(2000, 2)
    error = np.sqrt(np.mean((model.predict(fresh_x) - fresh_truth) ** 2))
    found = bool(error <= 0.005 * np.sqrt(np.mean(fresh_truth**2)))
    peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss * 1024
    print(json.dumps(dict(rows=rows, order=order, seconds=seconds, peak_bytes=peak, fit_bytes=fit_bytes,
                          data_bytes=data_bytes, found=found, formula=str(model.best_))))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--rows", default="10000,100000,1000000,10000000")
    ap.add_argument("--orders", default="C")
    ap.add_argument("--json", default="")
    ap.add_argument("--one", type=int, default=0, help=argparse.SUPPRESS)
    args = ap.parse_args()
    orders = args.orders.split(",")
    if args.one:
        one(args.one, orders[0])
        return
    results = []
    print(f"law {LAW} over 5 columns, 1% noise, RAYON_NUM_THREADS={os.environ['RAYON_NUM_THREADS']}")
    print(f"{'rows':>10s} {'order':>5s} {'seconds':>8s} {'x first':>7s} {'peak MiB':>9s} {'fit MiB':>8s} "
          f"{'data MiB':>9s} {'found':>6s}  formula")
    for rows in [int(r) for r in args.rows.split(",")]:
        for order in orders:
            out = subprocess.run([sys.executable, __file__, "--one", str(rows), "--orders", order],
                                 capture_output=True, text=True)
            if out.returncode != 0:
                print(f"{rows:>10d} {order:>5s} failed: {out.stderr.strip().splitlines()[-1:]}")
                continue
            r = json.loads(out.stdout.strip().splitlines()[-1])
            results.append(r)
            ratio = r["seconds"] / results[0]["seconds"]
            print(f"{rows:>10d} {order:>5s} {r['seconds']:8.2f} {ratio:7.1f} {r['peak_bytes'] / 2**20:9.0f} "
                  f"{r['fit_bytes'] / 2**20:8.0f} {r['data_bytes'] / 2**20:9.1f} {str(r['found']):>6s}  "
                  f"{r['formula']}", flush=True)
        if args.json:
            with open(args.json, "w") as fh:
                json.dump(results, fh, indent=1)


if __name__ == "__main__":
    main()
