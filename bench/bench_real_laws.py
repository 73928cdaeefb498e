"""Formula discovery on classic measurements whose law is known.

Each data set under bench/data/real/ (6 to 62 rows; see real_laws.py for the
sources and laws) is fitted by FormulaRegressor with its default parameters,
plus any given by --kwargs as JSON (e.g. '{"max_evaluations": 200000}'). The
law is fitted to the same data by least squares (scipy's curve_fit), and the
selected formula gets two verdicts (defined in law_verdicts.py):

- form: the law's family, constants refitted, reproduces the formula's values
  on a grid over the data's range extended by 25% on each side;
- curve: the formula follows the law's least-squares curve on that grid,
  within 3 x the law's residual rmse (5% relative for targets spanning decades).

For zyl_core it also counts the constants its formula writes exactly that lie
outside 2 standard errors of their free refit (free_constants.py), and tells
whether its front holds a formula of the law's form at all: when it does but
another was chosen, the selection missed it; when it does not, the search did.

A fit that raises counts as a miss and its message is printed. --peers
pyoperon runs pyoperon's SymbolicRegressor on the same sets with the same
verdicts (skipped with a message when it is not installed); --json FILE writes
every result, to compare builds. As in bench_discovery.py, zyl_core runs with
the pool size of RAYON_NUM_THREADS (2 by default here), pyoperon on one thread
with a fixed seed and budget.

Needs scipy (installed with scikit-learn by scripts/requirements-test.txt);
pyoperon only for --peers pyoperon (.venv/bin/pip install pyoperon).

    .venv/bin/python bench/bench_real_laws.py [--peers pyoperon] [--sets SUBSTRING]
        [--kwargs JSON] [--json FILE]
"""
import argparse
import dataclasses
import json
import statistics
import sys
import time
import warnings
from collections.abc import Callable

import numpy as np

import bench_discovery
import law_verdicts
from free_constants import snapped_outside
from real_laws import REAL_LAWS


@dataclasses.dataclass
class Fit:
    predict: Callable[[np.ndarray], np.ndarray]
    formula: str
    complexity: int | None = None
    # Postfix nodes, for the check of exactly written constants.
    nodes: tuple | None = None
    # (complexity, predict) of every formula the contender offered besides its choice.
    front: list = dataclasses.field(default_factory=list)


def zyl_fit(entry, x, y, kwargs):
    from zyl_core.discovery import FormulaRegressor

    model = FormulaRegressor(feature_names=list(entry.features), verbose=False, **kwargs).fit(x, y)
    best = model.best_
    return Fit(best.predict, str(best), best.complexity, best.nodes, [(f.complexity, f.predict) for f in model.front_])


def pyoperon_fit(entry, x, y, kwargs):
    predict, text, _ = bench_discovery.pyoperon_fit(x, y)
    return Fit(predict, text)


def law_on_front(entry, x, y, front):
    """Complexity of the simplest formula of the front that has the law's form, or None."""
    return next((c for c, predict in sorted(front, key=lambda f: f[0])
                 if law_verdicts.judge(entry, x, y, predict)["form"]), None)


CONTENDERS = {"zyl": zyl_fit, "pyoperon": pyoperon_fit}


def run_one(name, entry, x, y, kwargs):
    """One contender on one data set: a result row, a miss with the message when anything raises."""
    row = dict(set=entry.name, peer=name, rows=len(y), law=entry.law_text, relative=entry.relative)
    t0 = time.perf_counter()
    try:
        fit = CONTENDERS[name](entry, x, y, kwargs)
        row["seconds"] = time.perf_counter() - t0
        with np.errstate(all="ignore"):
            rmse = float(np.sqrt(np.mean((np.asarray(fit.predict(x), dtype=float) - y) ** 2)))
        row.update(formula=fit.formula, complexity=fit.complexity, rmse=rmse)
        row.update(law_verdicts.judge(entry, x, y, fit.predict))
        if fit.nodes is not None:
            row["exact_outside"], row["exact"] = snapped_outside(fit.nodes, x, y)
        if fit.front:
            row["law_on_front"] = law_on_front(entry, x, y, fit.front)
    except Exception as e:  # a failure is a miss, not a crash of the benchmark
        row.setdefault("seconds", time.perf_counter() - t0)
        row.update(error=repr(e), form=False, curve=False)
    return row


def print_row(r):
    if "error" in r:
        print(f"  {r['peer']:9s} MISS  error: {r['error']}  {r.get('formula', '')}")
        return
    complexity = "-" if r["complexity"] is None else r["complexity"]
    unit = "relative" if r["relative"] else "abs"
    print(f"  {r['peer']:9s} form {'yes' if r['form'] else 'no ':3s} curve {'yes' if r['curve'] else 'no ':3s} "
          f"(deviation {r['curve_deviation']:.3g} {unit}, tolerance {r['curve_tolerance']:.3g})  "
          f"{r['seconds']:6.2f}s  complexity {complexity}  rmse {r['rmse']:.4g} (law {r['law_rmse']:.4g})"
          + (f"  exact outside 2σ {r['exact_outside']}/{r['exact']}" if "exact" in r else "")
          + (f"  law's form on the front: {r['law_on_front'] or 'no'}" if "law_on_front" in r else ""))
    print(f"  {'':9s} {r['formula'][:200]}")


def summarise(results):
    print()
    print("exact outside 2σ: constants written exactly that lie outside 2 standard errors of their free refit")
    print("law on front: sets whose front holds a formula of the law's form, chosen or not")
    print(f"{'peer':10s} {'form':>7s} {'curve':>7s} {'median s':>9s} {'max s':>7s} {'exact outside 2σ':>17s} "
          f"{'law on front':>13s}")
    for name in dict.fromkeys(r["peer"] for r in results):
        rows = [r for r in results if r["peer"] == name]
        times = [r["seconds"] for r in rows]
        checked = [r for r in rows if "exact" in r]
        snapped = (f"{sum(r['exact_outside'] for r in checked):>7d}/{sum(r['exact'] for r in checked):<9d}"
                   if checked else f"{'-':>17s}")
        fronts = [r for r in rows if "law_on_front" in r]
        on_front = (f"{sum(r['law_on_front'] is not None for r in fronts):>6d}/{len(fronts):<6d}"
                    if fronts else f"{'-':>13s}")
        print(f"{name:10s} {sum(r['form'] for r in rows):>3d}/{len(rows):<3d} {sum(r['curve'] for r in rows):>3d}/"
              f"{len(rows):<3d} {statistics.median(times):9.2f} {max(times):7.2f} {snapped} {on_front}")


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--peers", default="", help="peers run besides zyl_core, comma-separated: pyoperon")
    ap.add_argument("--sets", default="", help="only the data sets whose name contains this")
    ap.add_argument("--kwargs", default="{}", help="FormulaRegressor parameters as a JSON object")
    ap.add_argument("--json", default="", help="write every result to this file")
    ap.add_argument("--summary", default="", help="only print the summary of a file written by --json")
    args = ap.parse_args()
    if args.summary:
        with open(args.summary) as fh:
            summarise(json.load(fh))
        return
    kwargs = json.loads(args.kwargs)
    if not isinstance(kwargs, dict):
        sys.exit("--kwargs must be a JSON object")
    from zyl_core.discovery import FormulaRegressor

    try:
        FormulaRegressor(**kwargs)
    except TypeError as e:
        sys.exit(f"--kwargs: {e}")
    peers = [p for p in args.peers.split(",") if p]
    unknown = [p for p in peers if p not in CONTENDERS]
    if unknown:
        sys.exit(f"unknown peers {unknown}; known: {sorted(CONTENDERS)}")
    names = ["zyl"] + [p for p in peers if p != "zyl" and bench_discovery.available(p)]
    warnings.filterwarnings("ignore")
    results = []
    for entry in REAL_LAWS:
        if args.sets not in entry.name:
            continue
        x, y = entry.load()
        print(f"{entry.name}: {len(y)} rows, law {entry.law_text}", flush=True)
        for name in names:
            row = run_one(name, entry, x, y, kwargs)
            results.append(row)
            print_row(row)
            if args.json:  # written as it goes, so an interrupted run keeps its results
                with open(args.json, "w") as fh:
                    json.dump(results, fh, indent=1)
    summarise(results)


if __name__ == "__main__":
    main()
