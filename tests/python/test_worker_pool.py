"""The process-wide worker pool, observed from Python in fresh processes."""
import pytest

COUNT_THREADS = """
    import os, zyl_core
    before = len(os.listdir('/proc/self/task'))
    zyl_core.exp_n([])
    after = len(os.listdir('/proc/self/task'))
    print(before, after)
"""


@pytest.mark.parametrize("env, workers", [
    ({"RAYON_NUM_THREADS": "3"}, 3),
    ({"RAYON_NUM_THREADS": "+2"}, 2),
    ({"RAYON_NUM_THREADS": "abc", "RAYON_RS_NUM_CPUS": "5"}, 5),
    ({"RAYON_RS_NUM_CPUS": "4"}, 4),
])
def test_pool_size_from_environment(python_in_subprocess, env, workers):
    before, after = map(int, python_in_subprocess(COUNT_THREADS, **env).split())
    assert after - before == workers


def test_default_pool_size_is_the_usable_cpus(python_in_subprocess):
    import os

    expected = len(os.sched_getaffinity(0))
    for env in ({}, {"RAYON_NUM_THREADS": "0", "RAYON_RS_NUM_CPUS": "9"}):
        before, after = map(int, python_in_subprocess(COUNT_THREADS, **env).split())
        assert 1 <= after - before <= expected


def test_no_threads_at_import(python_in_subprocess):
    out = python_in_subprocess("""
        import os
        before = len(os.listdir('/proc/self/task'))
        import zyl_core
        print(len(os.listdir('/proc/self/task')) - before)
    """, RAYON_NUM_THREADS="4")
    assert out.split() == ["0"]


RESULTS_DIGEST = """
    import hashlib, random, struct, zyl_core as z
    rng = random.Random(11)
    xs = [rng.uniform(-50, 50) for _ in range(30001)]
    ys = [rng.uniform(-50, 50) for _ in range(30001)]
    out = z.exp_n(xs) + z.ln_n(ys) + z.tension_n(xs, ys) + z.div_n(xs, ys) + z.pow_n(xs, ys)
    out += [c for t in z.boost_n(list(zip(xs, ys)), ys, 0.7) for c in t]
    print(hashlib.sha256(struct.pack(f"<{len(out)}d", *out)).hexdigest())
"""


def test_results_do_not_depend_on_pool_size(python_in_subprocess):
    digests = {python_in_subprocess(RESULTS_DIGEST, RAYON_NUM_THREADS=str(n)) for n in (1, 2, 7)}
    assert len(digests) == 1


def test_forked_child_gets_a_fresh_pool(python_in_subprocess):
    out = python_in_subprocess("""
        import multiprocessing as mp, zyl_core as z
        z.exp_n([1.0, 2.0, 3.0])          # the parent's pool exists now
        def work(q):
            q.put(z.add_n([1.0] * 1000, [2.0] * 1000)[-1])
        ctx = mp.get_context("fork")
        q = ctx.Queue()
        p = ctx.Process(target=work, args=(q,))
        p.start()
        p.join(30)
        print(p.exitcode, q.get(timeout=5) if p.exitcode == 0 else None)
    """, RAYON_NUM_THREADS="2")
    assert out.split() == ["0", "3.0"]


HUGE_POOL = """
    import hashlib, os, resource, struct, zyl_core as z
    limit = {limit}
    xs = [k * 1e-3 for k in range(100_003)]
    before = len(os.listdir('/proc/self/task'))
    if limit:
        # While the pool starts, room for a few dozen thread stacks only: the
        # rest cannot start. The limit is lifted again for the computation.
        with open('/proc/self/statm') as f:
            size = int(f.read().split()[0]) * os.sysconf('SC_PAGE_SIZE')
        soft, hard = resource.getrlimit(resource.RLIMIT_AS)
        resource.setrlimit(resource.RLIMIT_AS, (size + limit, hard))
        z.exp_n([])
        resource.setrlimit(resource.RLIMIT_AS, (soft, hard))
    out = z.exp_n(xs) + z.pow_n(xs, xs[::-1])
    workers = len(os.listdir('/proc/self/task')) - before
    print(workers, hashlib.sha256(struct.pack(f"<{{len(out)}}d", *out)).hexdigest())
"""


@pytest.mark.parametrize("limit, expected_workers", [
    (0, (1024, 1024)),              # capped at the documented bound
    (400 << 20, (1, 1023)),         # as many as the address space allows
])
def test_thread_count_the_system_cannot_start(python_in_subprocess, limit, expected_workers):
    workers, digest = python_in_subprocess(HUGE_POOL.format(limit=limit),
                                           RAYON_NUM_THREADS="99999999999").split()
    low, high = expected_workers
    assert low <= int(workers) <= high
    _, reference = python_in_subprocess(HUGE_POOL.format(limit=0), RAYON_NUM_THREADS="1").split()
    assert digest == reference
