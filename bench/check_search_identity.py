"""Runs find_formula on larger random problems (hundreds to thousands of
samples, mostly default settings; tests/python/search_problems.py) with the
previous implementation and with this build at pool sizes 1, 2 and 7, and
reports every problem whose formula, error bits or complexity differ. The
fast test test_search_identity.py covers small problems; this one is run by
hand.

    .venv/bin/python bench/check_search_identity.py [--count N]
"""
import argparse
import subprocess
import sys

from reference_build import ROOT, environment, reference_site

RUN = """
import sys
sys.path.insert(0, {tests!r})
from search_problems import larger_problem, outcomes
print("\\n".join(outcomes({first}, {count}, larger_problem)))
"""


def outcomes(site, threads, first, count):
    code = RUN.format(tests=str(ROOT / "tests" / "python"), first=first, count=count)
    proc = subprocess.run([sys.executable, "-c", code], env=environment(site, RAYON_NUM_THREADS=str(threads)),
                          capture_output=True, text=True, check=True, cwd="/")
    return proc.stdout.splitlines()


def main() -> None:
    ap = argparse.ArgumentParser()
    ap.add_argument("--count", type=int, default=100)
    args = ap.parse_args()
    want = outcomes(reference_site(), 2, 0, args.count)
    differ = 0
    for threads in (1, 2, 7):
        got = outcomes(None, threads, 0, args.count)
        for k, (w, g) in enumerate(zip(want, got, strict=True)):
            if w != g:
                differ += 1
                print(f"problem {k}, {threads} threads: previous {w!r}, this build {g!r}")
    full = sum(1 for w in want if w != "None")
    print(f"{args.count} problems ({full} with a result), pool sizes 1, 2, 7: {differ} differences")
    sys.exit(1 if differ else 0)


if __name__ == "__main__":
    main()
