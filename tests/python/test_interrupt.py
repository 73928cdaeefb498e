"""Ctrl-C (SIGINT from another process) stops every kind of long call: the
call raises KeyboardInterrupt within a few seconds, no worker keeps
computing, the interpreter and the pool work afterwards, and memory does not
grow over repeated interrupted calls."""
import pytest

from interrupt_harness import interrupt

# A correct next call: a parallel map, a serial batch and a small map.
NEXT_CALL_CORRECT = """(
    z.exp_n([i * 1e-3 for i in range(200_000)])[-1] == math.exp(199_999 * 1e-3)
    and z.simulate_pulses_n(0.0, 1.0, 1)[1] == (1.0, 1.0, 2.718281828459045)
    and z.add_n([1.0, 2.0], [3.0, 4.0]) == [4.0, 6.0]
)"""

LONG_CALLS = {
    # About 5 s of pool work in short elements (0.26 ms each).
    "parallel map": ("row = [1.0 / (k + 1) for k in range(256)]\na = [row] * 40_000",
                     "z.geometric_product_n(a, a, [1] * 8)"),
    # One element of about 5 s, which must stop inside itself.
    "long element": ("row = [1.0 / (k + 1) for k in range(1 << 15)]",
                     "z.geometric_product_n([row], [row], [1] * 15)"),
    # About 5 s on the calling thread, no pool.
    "serial batch": ("", "z.simulate_pulses_n(0.1, 1.2, 100_000_000)"),
    # Scoring phases on many samples.
    "find_formula": ("xs = [k * 1e-5 for k in range(100_000)]\nys = [math.sin(x) * x + 0.3 for x in xs]",
                     "z.find_formula([xs], ys)"),
}


@pytest.mark.parametrize("kind", LONG_CALLS)
def test_sigint_stops_a_long_call(kind):
    setup, call = LONG_CALLS[kind]
    report = interrupt(setup, call, check=NEXT_CALL_CORRECT, delay=0.5, env={"RAYON_NUM_THREADS": "2"})
    assert report["outcomes"] == ["interrupted"]
    assert report["latencies"][0] < 3.0, report["latencies"]
    assert report["cpu_after"] < 0.2, "a worker kept computing after the interrupt"
    assert report["check"] is True


@pytest.mark.parametrize("threads", ["1", "7"])
def test_sigint_stops_a_parallel_map_whatever_the_pool_size(threads):
    setup, call = LONG_CALLS["parallel map"]
    report = interrupt(setup, call, check=NEXT_CALL_CORRECT, delay=0.3, env={"RAYON_NUM_THREADS": threads})
    assert report["outcomes"] == ["interrupted"]
    assert report["latencies"][0] < 3.0
    assert report["check"] is True


@pytest.mark.slow
def test_memory_stays_flat_over_interrupted_calls():
    # Each round is interrupted in a different phase of its call: while
    # converting, while computing, while building the result.
    setup = "xs = [k * 1e-7 for k in range(6_000_000)]"
    report = interrupt(setup, "z.tension_n(xs, xs); z.exp_n(xs); z.boost_n(list(zip(xs, xs)), xs, 1.0)",
                       delay=[0.05 + 0.06 * k for k in range(10)], repeat=10, env={"RAYON_NUM_THREADS": "2"})
    assert report["outcomes"].count("interrupted") >= 8, report["outcomes"]
    grown = report["rss"][-1] - report["rss"][2]
    assert grown < 30_000, f"resident memory grew by {grown} KiB over interrupted calls: {report['rss']}"
