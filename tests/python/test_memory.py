"""Repeated large calls, failing ones included, must leave memory flat."""
import gc
import resource

import zyl_core as z


def rss_kib():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * resource.getpagesize() // 1024


def churn(xs, pairs):
    z.exp_n(xs)
    z.add_n(xs, xs)
    z.boost_n(pairs, xs, 1.0)
    for bad in (xs + ["x"], pairs + [(1.0,)], pairs[:-1] + [[1.0, 2.0]]):
        try:
            z.boost_n(bad, xs, 1.0) if bad is not xs + ["x"] else z.exp_n(bad)
        except (TypeError, ValueError):
            pass


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
