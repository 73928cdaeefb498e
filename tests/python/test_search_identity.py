"""find_formula returns, bit for bit, what the previous implementation
returned (formula, error bits, complexity, params) on a few thousand random
problems (tests/python/search_problems.py; the expected lines were recorded
from that implementation by bench/record_search_results.py), whatever the
pool size."""
from pathlib import Path

import pytest

RECORDED = (Path(__file__).parent / "data" / "search_results.txt").read_text().splitlines()

RUN = """
import sys
sys.path.insert(0, {here!r})
from search_problems import outcomes
print("\\n".join(outcomes(0, {count})))
"""


@pytest.mark.parametrize("threads", ["1", "2", "7"])
def test_results_match_the_recorded_ones(python_in_subprocess, threads):
    assert len(RECORDED) >= 2000
    out = python_in_subprocess(RUN.format(here=str(Path(__file__).parent), count=len(RECORDED)),
                               RAYON_NUM_THREADS=threads).splitlines()
    mismatches = [(k, want, got) for k, (want, got) in enumerate(zip(RECORDED, out)) if want != got]
    assert len(out) == len(RECORDED)
    assert not mismatches, mismatches[:5]
