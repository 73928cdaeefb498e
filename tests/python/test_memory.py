"""Repeated large calls, failing ones included, must leave memory flat."""
import gc
import resource

import pytest

import zyl_core as z


def rss_kib():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * resource.getpagesize() // 1024


def churn(xs, pairs):
    z.exp_n(xs)
    z.add_n(xs, xs)
    z.boost_n(pairs, xs, 1.0)
    z.octonion_mul_n([xs[:8]] * 20_000, [xs[8:16]] * 20_000)
    failing = [
        lambda: z.exp_n(xs + ["x"]),                        # last item fails
        lambda: z.boost_n(pairs + [(1.0,)], xs, 1.0),        # wrong tuple length at the end
        lambda: z.boost_n(pairs[:-1] + [[1.0, 2.0]], xs, 1.0),
        lambda: z.add_n(xs, xs[:-1] + [None]),               # second argument fails
        lambda: z.geometric_product_n([xs[:4]] * 1000, [xs[:2]] * 1000, [1, 1]),
    ]
    for call in failing:
        try:
            call()
        except (TypeError, ValueError):
            pass
        else:
            raise AssertionError("conversion should have failed")


@pytest.mark.slow
def test_memory_stays_flat():
    xs = [float(i) for i in range(1_000_000)]
    pairs = [(x, x + 1.0) for x in xs[:200_000]]
    churn(xs, pairs)
    gc.collect()
    start = rss_kib()
    for _ in range(8):
        churn(xs, pairs)
    gc.collect()
    grown = rss_kib() - start
    assert grown < 20_000, f"resident memory grew by {grown} KiB"
