"""The native half of zyl_core.discovery: _fit and _Formula."""
import array
import math
import pickle
import signal
import subprocess
import sys
import textwrap
import threading
import time

import pytest

from zyl_core import discovery as d

np = pytest.importorskip("numpy")


def law_data(law, n_vars=3, n=100, lo=1.0, hi=5.0, seed=7):
    rng = np.random.default_rng(seed)
    x = rng.uniform(lo, hi, size=(n, n_vars))
    return np.ascontiguousarray(x.T), np.ascontiguousarray(law(*x.T))


def run(cols, y, options, progress, weights=None):
    """_fit's formulas and selected index, raising the exception that ended it early."""
    front, i, error = d._fit(cols, y, weights, options, progress)
    if error is not None:
        raise error
    return [f for f, _ in front], i


def best(front_and_index):
    front, i = front_and_index
    return front[i]


def test_finds_coulomb_with_exact_constant():
    cols, y = law_data(lambda a, b, r: a * b / (4 * math.pi * r))
    front, i = run(cols, y, {}, None)
    f = front[i]
    assert f.to_text(["q1", "q2", "r"]) == "q1*q2/(4*pi*r)"
    assert ("const", 4 * math.pi, (4, 1, "pi")) in f.nodes
    assert f.rmse < 1e-15
    values = np.frombuffer(f._evaluate(cols))
    assert np.max(np.abs(values - y) / y) < 1e-15
    # The front: increasing complexity, strictly falling error.
    assert [g.complexity for g in front] == sorted({g.complexity for g in front})
    assert all(a.rmse > b.rmse for a, b in zip(front, front[1:]))


def test_shapes_and_buffers_are_checked():
    cols, y = law_data(lambda a, b, c: a + b)
    with pytest.raises(ValueError, match=r"columns has shape \(3, 100\).*y has shape \(99,\)"):
        run(cols, y[:99], {}, None)
    with pytest.raises(ValueError, match="2-dimensional"):
        run(y, y, {}, None)
    with pytest.raises(TypeError, match="float64"):
        run(cols.astype(np.float32), y, {}, None)
    # Columns are read in any memory order; targets must lie side by side.
    with pytest.raises(TypeError, match="y must be a C-contiguous"):
        run(cols, np.repeat(y, 2)[::2], {}, None)
    with pytest.raises(TypeError, match="buffer"):
        run([[1.0]], y, {}, None)
    with pytest.raises(ValueError, match="at least one feature and one sample"):
        run(np.ones((2, 0)), np.ones(0), {}, None)
    # Plain buffers work as well as arrays.
    f = best(run(memoryview(array.array("d", [1, 2, 3, 4])).cast("B").cast("d", (1, 4)),
                    array.array("d", [2, 4, 6, 8]), {}, None))
    assert f.to_text(["x"]) == "2*x"


@pytest.mark.parametrize("options, error, message", [
    ({"beam": 3}, TypeError, "unknown option 'beam'"),
    ({1: 3}, TypeError, "unknown option 1"),
    ({"max_complexity": "8"}, TypeError, "'max_complexity' must be an int"),
    ({"max_complexity": 0}, ValueError, "'max_complexity' must be an int from 1 to 64"),
    ({"max_evaluations": -1}, ValueError, "'max_evaluations'"),
    ({"use_trig": 1}, TypeError, "'use_trig' must be a bool"),
    ({"time_limit": 0.0}, ValueError, "'time_limit' must be a positive number"),
    ({"time_limit": "1"}, TypeError, "'time_limit' must be a float or None"),
    ({"max_constants": 9}, ValueError, "'max_constants'"),
])
def test_bad_options(options, error, message):
    cols, y = law_data(lambda a, b, c: a + b)
    with pytest.raises(error, match=message):
        run(cols, y, options, None)


def test_non_finite_data_gives_an_error_not_a_crash():
    cols, y = law_data(lambda a, b, c: a * b)
    y[5] = math.nan
    with pytest.raises(ValueError, match="no formula"):
        run(cols, y, {"max_complexity": 5}, None)
    cols, y = law_data(lambda a, b, c: a * b)
    cols[2, 3] = math.inf
    f = best(run(cols, y, {"max_complexity": 5}, None))
    assert f.to_text(["a", "b", "c"]) == "a*b"


def test_progress_reports_each_level_and_its_exception_stops_the_fit():
    cols, y = law_data(lambda a, b, c: np.sin(a * b) + c * 0.3)
    reports = []
    run(cols, y, {"max_complexity": 5}, reports.append)
    assert [r["level"] for r in reports] == [2, 3, 4, 5]
    assert set(reports[0]) == {"level", "candidates", "best_rmse", "elapsed"}
    assert all(a["best_rmse"] >= b["best_rmse"] for a, b in zip(reports, reports[1:]))

    def stop(report):
        raise RuntimeError("enough")

    with pytest.raises(RuntimeError, match="enough"):
        run(cols, y, {}, stop)
    with pytest.raises(TypeError, match="progress must be None or callable"):
        run(cols, y, {}, 3)


def test_options_bound_the_work():
    cols, y = law_data(lambda a, b, c: np.sin(a * b) + np.log(c))
    small = run(cols, y, {"max_evaluations": 2000}, None)
    large = run(cols, y, {"max_complexity": 6}, None)
    assert best(large).rmse <= best(small).rmse
    assert all(f.complexity <= 6 + 4 for f in large[0])
    assert "sin" not in best(run(cols, y, {"use_trig": False, "max_complexity": 5}, None)).to_text(list("abc"))


def test_formula_round_trips_and_validates_its_nodes():
    nodes = (("var", 0), ("const", 0.5, (1, 2, "1")), ("op", "mul"), ("var", 1), ("op", "square"),
             ("op", "add"), ("const", 2.5, None), ("op", "sub"))
    f = d._Formula(nodes, 0.25)
    assert f.nodes == nodes
    assert (f.complexity, f.rmse, f.constants) == (8, 0.25, (0.5, 2.5))
    assert f.to_text(["m", "v"]) == "m/2 + v**2 - 2.5"
    g = pickle.loads(pickle.dumps(f))
    assert (g.nodes, g.rmse) == (f.nodes, f.rmse)
    assert repr(f) == "_Formula('x0/2 + x1**2 - 2.5', rmse=0.25)"
    values = np.frombuffer(f._evaluate(np.array([[2.0, -4.0], [3.0, 0.0]])))
    assert values.tolist() == [2.0 * 0.5 + 9.0 - 2.5, -2.0 - 2.5]
    with pytest.raises(AttributeError):
        f.rmse = 1.0


@pytest.mark.parametrize("nodes, message", [
    ((("var", -1),), r"nodes\[0\]: a variable number"),
    ((("var", 0), ("op", "pow")), r"nodes\[1\]: unknown operation"),
    ((("op", "neg"),), r"nodes\[0\]: an operation finds too few operands"),
    ((("const", 1, None),), r"nodes\[0\]: a constant's value must be a float"),
    ((("const", 1.0, (1, 0, "1")),), r"nodes\[0\]: a constant's exact form"),
    ((("const", 1.0, (1, 1, "tau")),), r"nodes\[0\]: a constant's exact form"),
    ((("const", 3.0, (1, 1, "pi")),), r"nodes\[0\]: a constant's value must be the double nearest"),
    ((("var", 0), ("var", 1)), "leave exactly one value, they leave 2"),
    ((), "leave exactly one value, they leave 0"),
    (("var",), r"nodes\[0\]: each entry must be a tuple"),
])
def test_bad_nodes_name_the_entry(nodes, message):
    with pytest.raises(ValueError, match=message):
        d._Formula(nodes, 0.0)


def test_evaluate_gives_nan_where_a_sample_fails_and_checks_columns():
    f = d._Formula((("var", 0), ("op", "log"), ("var", 1), ("op", "div")), 0.0)
    values = np.frombuffer(f._evaluate(np.array([[1.0, -1.0, math.e], [2.0, 1.0, 0.0]])))
    assert values[0] == 0.0 and math.isnan(values[1]) and math.isnan(values[2])
    with pytest.raises(ValueError, match=r"columns has shape \(1, 3\) but the formula uses 2 variables"):
        f._evaluate(np.ones((1, 3)))
    assert f._evaluate(np.ones((2, 0))) == bytearray()


def test_evaluate_reads_any_layout_in_place():
    f = d._Formula((("var", 0), ("op", "log"), ("var", 2), ("op", "div")), 0.0)
    X = np.random.default_rng(4).uniform(-1, 3, (5000, 3))
    for layout in (X.T, np.asfortranarray(X).T, X[::-1].T, X[::3, ::-1].T):
        expected = np.frombuffer(f._evaluate(np.ascontiguousarray(layout)))
        np.testing.assert_array_equal(np.frombuffer(f._evaluate(layout)), expected)
    with pytest.raises(TypeError, match=r"columns must hold float64 values \(buffer format 'd'\), not format 'f'"):
        f._evaluate(X.T.astype(np.float32))


DETERMINISM = """
import json, math
import numpy as np
from zyl_core import discovery as d
rng = np.random.default_rng(3)
x = rng.uniform(1, 4, size=(100, 3))
out = []
for law in (lambda a, b, c: a * np.exp(-b / (3.7 * c)) + 0.01 * np.sin(50 * a),
            lambda a, b, c: a * b / (4 * math.pi * c) * (1 + 0.01 * rng.standard_normal(100))):
    front, i, _ = d._fit(np.ascontiguousarray(x.T), np.ascontiguousarray(law(*x.T)), None, {}, None)
    out.append([i, [(f.nodes, f.rmse.hex(), sorted(stats.items())) for f, stats in front]])
print(json.dumps(out))
"""


@pytest.mark.slow
def test_identical_for_every_pool_size(python_in_subprocess):
    runs = {n: python_in_subprocess(DETERMINISM, RAYON_NUM_THREADS=str(n)) for n in (1, 2, 7)}
    assert runs[1] == runs[2] == runs[7]
    assert python_in_subprocess(DETERMINISM, RAYON_NUM_THREADS="2") == runs[2]


def test_other_threads_run_during_a_fit():
    cols, y = law_data(lambda a, b, c: np.sin(a * b) + np.log(c) * np.cos(b))
    ticks = []
    done = threading.Event()

    def tick():
        while not done.is_set():
            ticks.append(time.monotonic())
            time.sleep(0.005)

    t = threading.Thread(target=tick)
    t.start()
    try:
        t0 = time.monotonic()
        run(cols, y, {"max_complexity": 8}, None)
        elapsed = time.monotonic() - t0
    finally:
        done.set()
        t.join()
    assert len(ticks) > elapsed / 0.005 / 4


LONG_FIT = """
import signal, sys, time
import numpy as np
from zyl_core import discovery as d
# A parent started in the background may pass SIGINT on as ignored.
signal.signal(signal.SIGINT, signal.default_int_handler)
rng = np.random.default_rng(1)
x = rng.uniform(1, 4, size=(20000, 3))
y = np.sin(x[:, 0] * x[:, 1]) + np.log(x[:, 2]) * np.cos(x[:, 1]) + 0.1 * rng.standard_normal(20000)
print("start", flush=True)
try:
    front, _, error = d._fit(np.ascontiguousarray(x.T), y, None, {"max_complexity": 30, "max_evaluations": 10**12}, None)
    if error is not None:
        print("front", len(front), flush=True)
        raise error
    print("finished", flush=True)
except KeyboardInterrupt:
    print("interrupted", time.monotonic(), flush=True)
"""


def test_ctrl_c_stops_a_fit_quickly():
    proc = subprocess.Popen([sys.executable, "-c", textwrap.dedent(LONG_FIT)], stdout=subprocess.PIPE, text=True)
    try:
        assert proc.stdout.readline().strip() == "start"
        time.sleep(1.5)
        sent = time.monotonic()
        proc.send_signal(signal.SIGINT)
        kept = proc.stdout.readline().split()
        line = proc.stdout.readline().split()
    finally:
        proc.kill()
        proc.wait()
    # What was found so far comes back with the interrupt.
    assert kept[0] == "front" and int(kept[1]) > 0
    assert line[0] == "interrupted"
    assert float(line[1]) - sent < 0.25, f"took {float(line[1]) - sent:.2f} s to stop"
