"""Ctrl-C (SIGINT from another process) stops every kind of long call of
zyl_core.arrays and zyl_core.discovery within a quarter of a second, and
the process works normally afterwards."""
import statistics

import pytest

from interrupt_harness import interrupt
from namespace_long_calls import LONG_CALLS

pytest.importorskip("numpy")

# Signals at several moments of the call: in its first stretch and later.
DELAYS = [0.15, 0.4, 0.7]


@pytest.mark.parametrize("kind", LONG_CALLS)
def test_sigint_stops_every_long_call_quickly(kind):
    setup, call, check = LONG_CALLS[kind]
    report = interrupt(setup, call, check=check, delay=DELAYS, repeat=len(DELAYS), env={"RAYON_NUM_THREADS": "2"})
    assert report["outcomes"] == ["interrupted"] * len(DELAYS)
    latencies = report["latencies"]
    # A loaded machine may hold a single round up; the typical one is bound.
    assert statistics.median(latencies) <= 0.25, latencies
    assert max(latencies) <= 1.0, latencies
    assert report["cpu_after"] < 0.2, "a worker kept computing after the interrupt"
    assert report["check"] is True
