"""Latency of Ctrl-C: seconds from SIGINT (sent by this process) to the
KeyboardInterrupt caught in the child running the call, for long calls of
every kind, of the list functions and of zyl_core.arrays and
zyl_core.discovery. Each call is interrupted at several moments of its run
(one child per call, rounds after one another); rounds where the call
finished before the signal are counted, not timed. Goal: at most 0.25 s.

    .venv/bin/python bench/bench_interrupt.py [--only exp_n,find_formula_1e6]
"""
import argparse
import os
import statistics
import sys

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests", "python"))
from interrupt_harness import interrupt  # noqa: E402
from namespace_long_calls import LONG_CALLS  # noqa: E402



def find_formula_call(samples, delays):
    step = 0.2 / samples
    return (f"find_formula, {samples:.0e} samples",
            f"xs = [k * {step!r} for k in range({samples})]\nys = [math.sin(x) * x + 0.3 for x in xs]",
            "z.find_formula([xs], ys)", delays)


CALLS = [
    find_formula_call(200_000, [0.3, 0.8, 1.5, 2.5, 4.0]),
    find_formula_call(1_000_000, [0.5, 1.5, 3.0, 5.0, 8.0]),
    ("simulate_pulses_n(0.1, 1.2, 3e7)", "",
     "z.simulate_pulses_n(0.1, 1.2, 30_000_000)", [0.2, 0.8, 1.5, 2.5, 4.0]),
    ("geometric_product_n, 1 pair, L = 2^15",
     "row = [1.0 / (k + 1) for k in range(1 << 15)]",
     "z.geometric_product_n([row], [row], [1] * 15)", [0.2, 0.8, 1.5, 2.5, 3.5]),
    ("octonion_mul_n, 4e6 pairs",
     "o = [[0.5 + k for k in range(8)] for _ in range(100)]\na = o * 40_000",
     "z.octonion_mul_n(a, a)", [0.1, 0.4, 0.8, 1.2, 1.8]),
    ("exp_n, 3e7 floats",
     "xs = [k * 1e-7 for k in range(30_000_000)]",
     "z.exp_n(xs)", [0.05, 0.2, 0.4, 0.7, 1.0]),
] + [(name, setup, call, [0.1, 0.25, 0.4, 0.6, 0.8]) for name, (setup, call, _) in LONG_CALLS.items()]


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--only", default="", help="substring of the call names to run")
    ap.add_argument("--threads", default="2", help="RAYON_NUM_THREADS of the children")
    args = ap.parse_args()
    print(f"worker threads: {args.threads}; latency in seconds, SIGINT sent -> KeyboardInterrupt caught")
    print(f"{'call':<40}{'median':>8}{'max':>8}{'rounds':>8}{'finished':>10}")
    for name, setup, call, delays in CALLS:
        if args.only and not any(o in name for o in args.only.split(",")):
            continue
        report = interrupt(setup, call, delay=delays, repeat=len(delays), env={"RAYON_NUM_THREADS": args.threads},
                           timeout=900)
        timed = [lat for lat, out in zip(report["latencies"], report["outcomes"]) if out == "interrupted"]
        finished = report["outcomes"].count("finished")
        med = statistics.median(timed) if timed else float("nan")
        worst = max(timed) if timed else float("nan")
        print(f"{name:<40}{med:>8.3f}{worst:>8.3f}{len(timed):>8}{finished:>10}", flush=True)


if __name__ == "__main__":
    main()
