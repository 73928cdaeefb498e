"""zyl_core.arrays against numpy (and clifford, kingdon where installed).

Element-wise functions on 10^6 and 10^4 float64 values, octonion and Clifford
products and Christoffel symbols on 10^5 elements, and the list API reading a
numpy array. Every contender runs interleaved in one process, on the default
pool; each reports the median of its runs. The ratio is zyl_core's median
over the peer's, so below 1 means zyl_core is faster; the goal column says
what is expected of it.

    .venv/bin/python bench/bench_arrays.py [--repeat N] [--quick]
"""
import argparse
import os
import statistics
import time

# No contender calls BLAS; its idle threads would only compete for the cores.
os.environ.setdefault("OPENBLAS_NUM_THREADS", "1")

import numpy as np  # noqa: E402

import zyl_core as z  # noqa: E402
import zyl_core.arrays as za  # noqa: E402


def medians(contenders, repeat):
    """Median seconds per contender, the contenders interleaved run by run."""
    times = {name: [] for name in contenders}
    for fn in contenders.values():
        fn()  # warm-up: first-use costs (pool start, numba compilation) are not measured
    for _ in range(repeat):
        for name, fn in contenders.items():
            t0 = time.perf_counter()
            fn()
            times[name].append(time.perf_counter() - t0)
    return {name: statistics.median(ts) for name, ts in times.items()}


def verdict(ratio, goal):
    return "ok" if ratio <= goal else "MISSED"


# ---- element-wise ------------------------------------------------------------

def elementwise_cases(n, rng):
    x = rng.uniform(-20.0, 20.0, n)
    pos = rng.uniform(1e-3, 1e3, n)
    angle = rng.uniform(-100.0, 100.0, n)
    b = rng.uniform(-10.0, 10.0, n)
    e = rng.uniform(-4.0, 4.0, n)
    # (name, zyl call, numpy call for the same values, goal at 10^6)
    return [
        ("exp", lambda: za.exp_n(x), lambda: np.exp(x), 0.8),
        ("ln", lambda: za.ln_n(pos), lambda: np.log(pos), 0.8),
        ("sin", lambda: za.sin_n(angle), lambda: np.sin(angle), 0.8),
        ("cos", lambda: za.cos_n(angle), lambda: np.cos(angle), 0.8),
        ("pow", lambda: za.pow_n(pos, e), lambda: np.power(pos, e), 0.8),
        ("tension", lambda: za.tension_n(x, pos), lambda: np.exp(x) - np.log(pos), 0.8),
        ("add", lambda: za.add_n(x, b), lambda: np.add(x, b), 1.3),
        ("sub", lambda: za.sub_n(x, b), lambda: np.subtract(x, b), 1.3),
        ("mul", lambda: za.mul_n(x, b), lambda: np.multiply(x, b), 1.3),
        ("div", lambda: za.div_n(x, b), lambda: np.divide(x, b), 1.3),
        ("sqrt", lambda: za.sqrt_n(pos), lambda: np.sqrt(pos), 1.3),
    ]


def bench_elementwise(n, repeat, small_goal):
    rng = np.random.default_rng(1)
    print(f"\n{n:.0e} float64 elements: median ms, zyl_core / numpy")
    print(f"  {'function':10} {'zyl_core':>10} {'numpy':>10} {'ratio':>7} {'goal':>6}")
    for name, ours, theirs, goal in elementwise_cases(n, rng):
        goal = small_goal or goal
        m = medians({"zyl": ours, "numpy": theirs}, repeat)
        ratio = m["zyl"] / m["numpy"]
        print(f"  {name:10} {m['zyl'] * 1e3:10.3f} {m['numpy'] * 1e3:10.3f} {ratio:7.2f} {goal:6.2f}  "
              f"{verdict(ratio, goal)}")


# ---- algebra -------------------------------------------------------------------

OCTONION_TRIPLES = [(1, 2, 4), (2, 3, 5), (3, 4, 6), (4, 5, 7), (5, 6, 1), (6, 7, 2), (7, 1, 3)]


def octonion_terms():
    """(i, j, sign, k) for e_i e_j = sign e_k."""
    table = {}
    for k in range(8):
        table[0, k] = (1.0, k)
        table[k, 0] = (1.0, k)
    for k in range(1, 8):
        table[k, k] = (-1.0, 0)
    for p, q, r in OCTONION_TRIPLES:
        for x, y, w in ((p, q, r), (q, r, p), (r, p, q)):
            table[x, y] = (1.0, w)
            table[y, x] = (-1.0, w)
    return [(i, j, s, k) for (i, j), (s, k) in sorted(table.items())]


def numpy_octonion(a, b, terms=octonion_terms()):
    """The fastest plain numpy formulation found: 64 column products on
    column-major copies, accumulated per result column."""
    at, bt = np.ascontiguousarray(a.T), np.ascontiguousarray(b.T)
    c = np.zeros_like(at)
    for i, j, s, k in terms:
        if s > 0:
            c[k] += at[i] * bt[j]
        else:
            c[k] -= at[i] * bt[j]
    return c.T


def numpy_christoffel_r_tt(x, rs):
    with np.errstate(all="ignore"):
        x = np.where(x > 709.78, np.log(x), x)
        r = np.fmax(np.exp(x), rs + 1e-9)
        value = ((1.0 - rs / r) * rs) / ((r + r) * r)
        return np.where((r <= 0.0) | (rs >= r), 0.0, value)


def clifford_contender(signature, a, b):
    """clifford's generated geometric product, run in a numba loop."""
    try:
        import clifford
        import numba
    except ImportError:
        return None
    layout, _ = clifford.Cl(sig=list(signature))
    gmt = layout.gmt_func
    # clifford orders blades by grade; the inputs are the same numbers in its
    # own order (a permutation does not change the cost of the products).

    @numba.njit(parallel=True, cache=False)
    def loop(a, b, out):
        for k in numba.prange(a.shape[0]):
            out[k] = gmt(a[k], b[k])

    out = np.empty_like(a)
    return lambda: loop(a, b, out)


def kingdon_contender(signature, a, b):
    """kingdon's generated product on arrays of coefficients (batch last)."""
    try:
        from kingdon import Algebra
    except ImportError:
        return None
    p = sum(1 for s in signature if s > 0)
    q = sum(1 for s in signature if s < 0)
    alg = Algebra(p, q)
    x = alg.multivector(values=np.ascontiguousarray(a.T))
    y = alg.multivector(values=np.ascontiguousarray(b.T))
    return lambda: x * y


def bench_algebra(n, repeat):
    rng = np.random.default_rng(2)
    print(f"\n{n:.0e} products: median ns per product (per radius for Christoffel)")
    a8, b8 = rng.uniform(-1, 1, (n, 8)), rng.uniform(-1, 1, (n, 8))
    rows = [("octonion", {"zyl_core": lambda: za.octonion_mul_n(a8, b8),
                          "numpy (64 column products)": lambda: numpy_octonion(a8, b8)}, 16.0)]
    for label, signature, goal in (("Cl(3)", [1, 1, 1], 40.0), ("Cl(4,1)", [1, 1, 1, 1, -1], 480.0)):
        size = 1 << len(signature)
        a, b = rng.uniform(-1, 1, (n, size)), rng.uniform(-1, 1, (n, size))
        sig = np.array(signature)
        contenders = {"zyl_core": lambda a=a, b=b, sig=sig: za.geometric_product_n(a, b, sig)}
        for peer, make in (("clifford (numba loop)", clifford_contender), ("kingdon", kingdon_contender)):
            fn = make(signature, a, b)
            if fn is None:
                print(f"  ({peer} not installed: skipped)")
            else:
                contenders[peer] = fn
        rows.append((f"geometric {label}", contenders, goal))
    x = rng.uniform(-5, 5, n)
    points = np.stack([x, np.zeros(n)], axis=1)
    rows.append(("christoffel", {"zyl_core": lambda: za.christoffel_batch_n(points, 1, 0, 0, 0.5),
                                 "numpy (same guards)": lambda: numpy_christoffel_r_tt(x, 0.5)}, 6.7))
    for label, contenders, goal in rows:
        m = medians(contenders, repeat)
        ours = m["zyl_core"] / n * 1e9
        print(f"  {label:18} zyl_core {ours:8.1f} ns  goal {goal:6.1f}  {verdict(ours, goal)}")
        for peer, t in m.items():
            if peer != "zyl_core":
                print(f"  {'':18} {peer:28} {t / n * 1e9:8.1f} ns  (zyl_core / peer {m['zyl_core'] / t:.2f})")


# ---- the list API on arrays -----------------------------------------------------

def bench_list_api(n, repeat):
    x = np.random.default_rng(3).uniform(-20, 20, n)
    values = x.tolist()
    m = medians({"exp_n(list)": lambda: z.exp_n(values), "exp_n(ndarray)": lambda: z.exp_n(x)}, repeat)
    print(f"\nlist API, {n:.0e} values: exp_n(list) {m['exp_n(list)'] * 1e3:.1f} ms, "
          f"exp_n(ndarray) {m['exp_n(ndarray)'] * 1e3:.1f} ms, "
          f"ndarray / list {m['exp_n(ndarray)'] / m['exp_n(list)']:.2f} (goal 1.00)")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--repeat", type=int, default=21)
    parser.add_argument("--quick", action="store_true", help="fewer runs, for a smoke test")
    args = parser.parse_args()
    repeat = 3 if args.quick else args.repeat
    print(f"pool: {os.environ.get('RAYON_NUM_THREADS', 'default')} threads, {len(os.sched_getaffinity(0))} CPUs "
          f"usable; numpy {np.__version__}; {repeat} runs each; load average {os.getloadavg()[0]:.1f}")
    bench_elementwise(10**6, repeat, None)
    bench_elementwise(10**4, repeat * 10, 1.2)
    bench_algebra(10**5, repeat)
    bench_list_api(10**6, max(3, repeat // 3))
    # Other processes take cores from the pool but hardly from numpy's one
    # thread: a load above the CPU count means the ratios understate the pool.
    print(f"\nload average at the end {os.getloadavg()[0]:.1f}")


if __name__ == "__main__":
    main()
