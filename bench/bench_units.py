"""Formula discovery on laws with units (laws_units.py), with and without the
units given to fit.

Each law has 100 samples, fitted once noise-free and once with 1% noise, as in
bench_discovery.py and judged by its `recovered`: noise-free, the selected
formula must agree with the law on 200 fresh samples (exact, 1e-9 relative for
simple exact constants); at 1% noise, its error there must stay below 0.5% of
the target's size (the right structure).

For each fit it records the wall time and the structures scored by the levels
of the search (the `candidates` of the progress callback, summed): with
units, inconsistent structures are never built, and the ratio of the two
counts is the pruning. zyl_core runs with the pool size of RAYON_NUM_THREADS
(2 by default here).

    .venv/bin/python bench/bench_units.py [--laws SUBSTRING] [--noise 0,0.01] [--json FILE]
        [--kwargs JSON] [--units-only]
"""
import argparse
import json
import statistics
import time
import warnings

import numpy as np

from bench_discovery import FRESH, SAMPLES, make_data, recovered
from laws_units import LAWS


def fit(x, y, units, dimensional, kwargs):
    from zyl_core.discovery import FormulaRegressor

    scored = []

    def count(report):
        scored.append(report["candidates"])

    model = FormulaRegressor(verbose=False, callback=count, dimensional_constants=dimensional, **kwargs)
    if units is None:
        model.fit(x, y)
    else:
        model.fit(x, y, X_units=units[0], y_units=units[1])
    return model.best_, sum(scored)


def summarise(results):
    print(f"{'units':6s} {'noise':>5s} {'recovered':>10s} {'median s':>9s} {'max s':>7s} {'median scored':>14s}")
    for with_units in (True, False):
        for noise in sorted({r["noise"] for r in results}):
            rows = [r for r in results if r["units"] == with_units and r["noise"] == noise]
            if not rows:
                continue
            ok = sum(r["ok"] for r in rows)
            print(f"{'yes' if with_units else 'no':6s} {noise:5.2f} {ok:>4d}/{len(rows):<5d} "
                  f"{statistics.median(r['seconds'] for r in rows):9.2f} {max(r['seconds'] for r in rows):7.2f} "
                  f"{statistics.median(r['scored'] for r in rows):14.0f}")
    pairs = {}
    for r in results:
        pairs.setdefault((r["law"], r["noise"]), {})[r["units"]] = r
    both = [p for p in pairs.values() if len(p) == 2]
    if both:
        scored = [p[False]["scored"] / max(p[True]["scored"], 1) for p in both]
        seconds = [p[False]["seconds"] / p[True]["seconds"] for p in both]
        print(f"pruning: median ratio of structures scored without/with units {statistics.median(scored):.2f}, "
              f"of fit time {statistics.median(seconds):.2f} ({len(both)} pairs)")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--laws", default="")
    ap.add_argument("--noise", default="0,0.01")
    ap.add_argument("--json", default="")
    ap.add_argument("--kwargs", default="{}", help="more FormulaRegressor parameters, as JSON")
    ap.add_argument("--units-only", action="store_true", help="leave out the fits without units")
    ap.add_argument("--verbose", action="store_true")
    args = ap.parse_args()
    warnings.filterwarnings("ignore")
    results = []
    for li, (name, kind, ranges, x_units, y_units, law, dimensional) in enumerate(LAWS):
        if args.laws and args.laws not in name:
            continue
        x, truth = make_data(ranges, law, SAMPLES, 2000 + li)
        fresh_x, fresh_truth = make_data(ranges, law, FRESH, 6000 + li)
        for noise in [float(v) for v in args.noise.split(",")]:
            rng = np.random.default_rng(9500 + li)
            y = truth + noise * np.sqrt(np.mean(truth**2)) * rng.standard_normal(SAMPLES)
            for units in ((x_units, y_units),) if args.units_only else ((x_units, y_units), None):
                t0 = time.perf_counter()
                best, scored = fit(x, y, units, dimensional, json.loads(args.kwargs))
                seconds = time.perf_counter() - t0
                ok = recovered(np.asarray(best.predict(fresh_x), dtype=float), fresh_truth, kind, noise)
                results.append(dict(law=name, noise=noise, units=units is not None, ok=ok, seconds=seconds,
                                    scored=scored, formula=str(best)))
                if args.json:
                    with open(args.json, "w") as fh:
                        json.dump(results, fh, indent=1)
                if args.verbose or not ok:
                    print(f"{'ok  ' if ok else 'MISS'} {'units' if units else '     '} {noise:4.2f} {seconds:6.2f}s "
                          f"{scored:8d} {name:40s} {str(best)[:120]}", flush=True)
    summarise(results)


if __name__ == "__main__":
    main()
