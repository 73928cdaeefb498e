"""Records what the previous implementation of find_formula returns on the
random problems of tests/python/search_problems.py, into
tests/python/data/search_results.txt, one line per problem. The test
test_search_identity.py compares this build's results with them.

    .venv/bin/python bench/record_search_results.py [--count N]
"""
import argparse
import subprocess
import sys
from pathlib import Path

from reference_build import ROOT, environment, reference_site

OUT = ROOT / "tests" / "python" / "data" / "search_results.txt"
RUN = """
import sys
sys.path.insert(0, {tests!r})
from search_problems import outcomes
print("\\n".join(outcomes(0, {count})))
"""


def main() -> None:
    ap = argparse.ArgumentParser()
    ap.add_argument("--count", type=int, default=2400)
    args = ap.parse_args()
    site = reference_site()
    code = RUN.format(tests=str(ROOT / "tests" / "python"), count=args.count)
    proc = subprocess.run([sys.executable, "-c", code], env=environment(site, RAYON_NUM_THREADS="2"),
                          capture_output=True, text=True, check=True, cwd="/")
    OUT.parent.mkdir(exist_ok=True)
    OUT.write_text(proc.stdout)
    print(f"recorded {len(proc.stdout.splitlines())} results into {OUT}")


if __name__ == "__main__":
    main()
