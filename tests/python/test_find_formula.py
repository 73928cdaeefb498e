"""find_formula and PySearchResult from Python."""
import math
import random
import signal
import subprocess
import sys
import textwrap
import time

import pytest

import zyl_core as z


def test_doubling_is_found_at_the_first_level():
    r = z.find_formula([[1.0, 2.0, 3.0]], [2.0, 4.0, 6.0])
    assert (r.formula, r.error, r.complexity, r.params) == ("(x + x)", 0.0, 3, [])


def test_identity_result_forms():
    r = z.find_formula([[1.0, 2.0, 3.0]], [1.0, 2.0, 3.0])
    assert (r.formula, r.error, r.complexity, r.params) == ("x", 0.0, 1, [])
    assert repr(r) == "SearchResult(formula='x', error=0.00e0, complexity=1)"
    assert r.to_python() == "import math\nf = lambda x: x"
    assert r.to_latex() == "x"


def test_result_attributes_are_read_only_and_params_fresh():
    r = z.find_formula([[1.0, 2.0, 3.0]], [1.0, 2.0, 3.0])
    first, second = r.params, r.params
    assert first == second and first is not second
    first.append(1.0)
    assert r.params == []
    for name in ("formula", "error", "complexity", "params"):
        with pytest.raises(AttributeError):
            setattr(r, name, None)
    with pytest.raises(TypeError, match="^No constructor defined for PySearchResult$"):
        z.PySearchResult()


def test_surface_texts():
    assert z.PySearchResult.__doc__ == "Python-facing formula discovery result."
    assert z.find_formula.__doc__ == (
        "Find a formula fitting x_data → y_data.\n"
        "x_data: list of column vectors (one per variable), or a single 1D list for univariate.\n"
        "y_data: target values (1D list).")
    assert z.PySearchResult.to_latex.__text_signature__ == "($self)"


ARGUMENT_ERRORS = [
    (lambda: z.find_formula([1.0, 2.0, 3.0], [1.0, 2.0, 3.0]), TypeError,
     "argument 'x_data': 'float' object cannot be converted to 'Sequence'"),
    (lambda: z.find_formula("abc", [1.0]), TypeError, "argument 'x_data': Can't extract `str` to `Vec`"),
    (lambda: z.find_formula([[1.0]], "a"), TypeError, "argument 'y_data': Can't extract `str` to `Vec`"),
    (lambda: z.find_formula([[1.0]], [1.0], max_complexity=-1), OverflowError,
     "can't convert negative int to unsigned"),
    (lambda: z.find_formula([[1.0]], [1.0], beam_width=1.5), TypeError,
     "argument 'beam_width': 'float' object cannot be interpreted as an integer"),
    (lambda: z.find_formula([[1.0]], [1.0], use_trig=1), TypeError,
     "argument 'use_trig': 'int' object cannot be converted to 'PyBool'"),
    (lambda: z.find_formula([[1.0]], [1.0], complexity_penalty="x"), TypeError,
     "argument 'complexity_penalty': must be real number, not str"),
    (lambda: z.find_formula([[1.0]]), TypeError, "find_formula() missing 1 required positional argument: 'y_data'"),
    (lambda: z.find_formula([[1.0]], [1.0], 1, 2, 3, True, True, 0.1, 9), TypeError,
     "find_formula() takes from 2 to 8 positional arguments but 9 were given"),
]


@pytest.mark.parametrize("call, exc_type, message", ARGUMENT_ERRORS)
def test_argument_errors(call, exc_type, message):
    with pytest.raises(exc_type) as info:
        call()
    assert type(info.value) is exc_type and str(info.value) == message


SHAPE_ERRORS = [
    (([], []), "x_data must hold at least one column"),
    (([[1.0, 2.0], [1.0]], [1.0, 2.0]), "x_data column 1 has 1 values but column 0 has 2"),
    (([[], []], [1.0]), "y_data has 1 values but x_data has 0 samples per column"),
    (([[1.0, 2.0]], [1.0]), "y_data has 1 values but x_data has 2 samples per column"),
    (([[1.0]], [1.0, 2.0]), "y_data has 2 values but x_data has 1 samples per column"),
]


@pytest.mark.parametrize("data, message", SHAPE_ERRORS)
def test_data_of_mismatched_shape_is_refused(data, message):
    with pytest.raises(ValueError, match="^" + message):
        z.find_formula(*data)


def test_no_samples_and_no_targets():
    r = z.find_formula([[]], [])
    assert r.formula == "0.0000" and math.isnan(r.error)
    assert "error=NaN" in repr(r)


SMALL_SEARCHES = [
    # max_complexity below 2 scores the seeds only; 1.0 fits exactly.
    (dict(max_complexity=0), [[1.0, 2.0]], [1.0, 1.0], "1.0000", 1),
    (dict(max_complexity=1), [[1.0, 2.0]], [3.0, 5.0], "x", 1),
    # One level of unary extensions only: 2x is out of reach, exp(x) is in.
    (dict(max_complexity=2), [[0.5, 1.0, 2.0]], [math.exp(0.5), math.exp(1.0), math.exp(2.0)], "exp(x)", 2),
    # A beam narrower than 4 never grows the pool.
    (dict(beam_width=3), [[1.0, 2.0, 3.0]], [3.0, 6.0, 9.0], None, None),
]


@pytest.mark.parametrize("kwargs, xs, ys, formula, complexity", SMALL_SEARCHES)
def test_small_searches(kwargs, xs, ys, formula, complexity):
    r = z.find_formula(xs, ys, **kwargs)
    if formula is not None:
        assert (r.formula, r.complexity) == (formula, complexity)
    else:
        assert r.complexity <= 3


def test_nan_targets_keep_the_first_seed():
    r = z.find_formula([[1.0, 2.0, 3.0]], [1.0, math.nan, 3.0], max_complexity=4, beam_width=40)
    assert r.formula == "0.0000" and math.isnan(r.error)


def test_ties_go_to_the_earliest_candidate():
    # x*x and x^2 spelled other ways tie; the first generated wins, and a
    # later level's equal never replaces it.
    xs = [1.0, 2.0, 3.0]
    r = z.find_formula([xs], [x * x for x in xs], max_complexity=3, complexity_penalty=0.0)
    assert r.formula == "(x * x)"


def test_results_may_exceed_max_complexity():
    # Unary extensions carry no size check, so level 3 can reach 4 nodes.
    xs = [0.5, 1.0, 1.5, 2.0]
    ys = [math.exp(x + x) for x in xs]
    r = z.find_formula([xs], ys, max_complexity=3, complexity_penalty=0.0)
    assert r.formula == "exp((x + x))" and r.complexity == 4


def test_two_variables_are_told_apart():
    rng = random.Random(5)
    xs = [rng.uniform(1, 3) for _ in range(20)]
    ys = [rng.uniform(1, 3) for _ in range(20)]
    r = z.find_formula([xs, ys], [b - a for a, b in zip(xs, ys)], max_complexity=3)
    assert r.formula == "(y - x)" and r.error == 0.0


SEARCH_DIGEST = """
    import hashlib, random, struct, zyl_core as z
    rng = random.Random(17)
    lines = []
    for problem in range(4):
        n_vars = 1 + problem % 3
        cols = [[rng.uniform(0.5, 3.0) for _ in range(40)] for _ in range(n_vars)]
        ys = [sum(c[i] for c in cols) * 1.7 + rng.gauss(0, 0.05) for i in range(40)]
        r = z.find_formula(cols, ys, max_complexity=5, beam_width=400)
        lines.append(f"{r.formula}|{struct.pack('<d', r.error).hex()}|{r.complexity}")
    print("\\n".join(lines))
"""


def test_results_do_not_depend_on_pool_size(python_in_subprocess):
    outs = {python_in_subprocess(SEARCH_DIGEST, RAYON_NUM_THREADS=str(n)) for n in (1, 2, 7)}
    assert len(outs) == 1, outs


# A shell starts background jobs with SIGINT ignored, and Python then leaves
# it ignored: the child asks for the usual KeyboardInterrupt explicitly.
LONG_SEARCH = """
    import os, random, signal, sys, time, zyl_core as z
    signal.signal(signal.SIGINT, signal.default_int_handler)
    rng = random.Random(3)
    n = int(sys.argv[1])
    cols = [[rng.uniform(0.5, 3.0) for _ in range(n)] for _ in range(3)]
    ys = [rng.gauss(0, 1) for _ in range(n)]
    print("start", flush=True)
    try:
        z.find_formula(cols, ys, max_complexity=12)
        print("finished")
    except KeyboardInterrupt:
        t0 = time.process_time()
        time.sleep(0.5)
        print("interrupted", round(time.process_time() - t0, 3), flush=True)
"""


# The time between two looks at signals is bounded by work done, so a search
# on a million samples answers as soon as one on thousands.
@pytest.mark.parametrize("samples", [20_000, pytest.param(1_000_000, marks=pytest.mark.slow)])
def test_ctrl_c_interrupts_a_long_search(samples):
    proc = subprocess.Popen([sys.executable, "-c", textwrap.dedent(LONG_SEARCH), str(samples)],
                            stdout=subprocess.PIPE, text=True)
    try:
        assert proc.stdout.readline().strip() == "start"
        time.sleep(1.5)
        sent = time.monotonic()
        proc.send_signal(signal.SIGINT)
        line = proc.stdout.readline().split()
        reacted = time.monotonic() - sent - 0.5  # minus the child's idle check
    finally:
        proc.kill()
        proc.wait()
    assert line[0] == "interrupted"
    assert reacted < 0.5, f"took {reacted:.2f} s to stop"
    assert float(line[1]) < 0.05, "workers kept running after the interrupt"


def test_numpy_booleans_and_index_objects_are_accepted():
    np = pytest.importorskip("numpy")

    class Three:
        def __index__(self):
            return 3

    xs = [1.0, 2.0, 3.0]
    r = z.find_formula([xs], [2.0 * x for x in xs], max_complexity=Three(),
                       use_trig=np.bool_(False), use_zyl=np.True_)
    assert r.formula == "(x + x)"
