"""The discovery estimator's fit on the laws of bench_discovery.py: this
build against a previous one (built once by reference_build.py), side by
side in one run, the builds alternating law by law so that both see the
same load.

Reports the median fit time of each build over all fits (every law, noise
free and with 1% noise, each repeated), their ratio, and per law the ratio
of the medians; the fronts of the two builds (every formula's text, terms,
constants and error, bit for bit, and the selected one) must be identical.

With --scalar-libm the previous build is the given commit (this one by
default) with its vector libm kernels left out, which measures what they
save on fronts that must be the same.

    .venv/bin/python bench/bench_estimator_builds.py [--repeat N] [--reference COMMIT] [--scalar-libm] [--laws SUBSTRING]
"""
import argparse
import json
import statistics
import subprocess
import sys
from pathlib import Path

from reference_build import environment, reference_site

HERE = Path(__file__).resolve().parent

# Fits every law given by index on the command line, printing one JSON line
# per fit: the law, the noise, wall and processor seconds, and the front.
CHILD = """
import json, struct, sys, time
sys.path.insert(0, {here!r})
import numpy as np
from bench_discovery import LAWS, SAMPLES, make_data
from zyl_core import discovery
for li in map(int, sys.argv[1:]):
    name, kind, ranges, law = LAWS[li]
    x, truth = make_data(ranges, law, SAMPLES, 1000 + li)
    for noise in (0.0, 0.01):
        rng = np.random.default_rng(9000 + li)
        y = truth + noise * np.sqrt(np.mean(truth**2)) * rng.standard_normal(SAMPLES)
        t0, c0 = time.perf_counter(), time.process_time()
        columns, target = np.ascontiguousarray(x.T), np.ascontiguousarray(y)
        # Builds before sample weights took four arguments and gave formulas
        # without their statistics.
        if "sample_weight" in discovery._fit.__text_signature__:
            front, best, _ = discovery._fit(columns, target, None, {{}}, None)
            front = [f for f, _ in front]
        else:
            front, best = discovery._fit(columns, target, {{}}, None)
        seconds, cpu = time.perf_counter() - t0, time.process_time() - c0
        names = [f"x{{j}}" for j in range(x.shape[1])]
        fingerprint = [[f.to_text(names), repr(f.nodes), [struct.pack("<d", c).hex() for c in f.constants],
                        struct.pack("<d", f.rmse).hex()] for f in front]
        print(json.dumps([name, noise, seconds, cpu, best, fingerprint]), flush=True)
"""


def run_child(site, laws):
    proc = subprocess.run([sys.executable, "-c", CHILD.format(here=str(HERE)), *map(str, laws)],
                          env=environment(site, RAYON_NUM_THREADS="2"), capture_output=True, text=True, check=True,
                          cwd="/")
    return [json.loads(line) for line in proc.stdout.splitlines()]


def main() -> None:
    sys.path.insert(0, str(HERE))
    from bench_discovery import LAWS

    ap = argparse.ArgumentParser()
    ap.add_argument("--repeat", type=int, default=3)
    ap.add_argument("--reference", default=None, help="commit of the previous build (a97d968; HEAD with --scalar-libm)")
    ap.add_argument("--scalar-libm", action="store_true", help="build the previous one without the vector libm kernels")
    ap.add_argument("--laws", default="")
    args = ap.parse_args()
    reference = args.reference or ("HEAD" if args.scalar_libm else "a97d968")
    old_site = reference_site(reference, scalar_libm=args.scalar_libm)
    laws = [i for i, law in enumerate(LAWS) if args.laws in law[0]]
    fits = {"this": {}, "previous": {}}
    for r in range(args.repeat):
        print(f"repeat {r + 1}/{args.repeat} ...", file=sys.stderr, flush=True)
        for li in laws:
            for build, site in (("this", None), ("previous", old_site)) if r % 2 == 0 else (("previous", old_site),
                                                                                            ("this", None)):
                for name, noise, seconds, cpu, best, front in run_child(site, [li]):
                    fits[build].setdefault((name, noise), []).append((seconds, cpu, best, front))

    mismatched = [key for key in fits["this"]
                  if {json.dumps(f[2:]) for f in fits["this"][key] + fits["previous"][key]}.__len__() != 1]
    print(f"discovery estimator, {len(laws)} laws x 2 noise levels x {args.repeat} repeats, 2 worker threads;"
          f" previous = commit {reference}{' without the vector libm kernels' if args.scalar_libm else ''}")
    print(f"{'law':<42} {'noise':>5} {'previous s':>10} {'this s':>8} {'ratio':>6}")
    for key in fits["this"]:
        old = statistics.median(f[0] for f in fits["previous"][key])
        new = statistics.median(f[0] for f in fits["this"][key])
        print(f"{key[0]:<42} {key[1]:>5.2f} {old:>10.3f} {new:>8.3f} {old / new:>5.2f}x")
    med = {b: statistics.median(f[0] for runs in fits[b].values() for f in runs) for b in fits}
    cpu = {b: statistics.median(f[1] for runs in fits[b].values() for f in runs) for b in fits}
    print(f"median fit time: previous {med['previous']:.3f} s, this {med['this']:.3f} s,"
          f" ratio {med['previous'] / med['this']:.2f}x (processor time {cpu['previous'] / cpu['this']:.2f}x)")
    print("fronts identical on every fit" if not mismatched else f"FRONTS DIFFER: {mismatched}")


if __name__ == "__main__":
    main()
