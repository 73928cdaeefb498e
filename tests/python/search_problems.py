"""Random find_formula problems, reproducible from their number: one to three
variables, small sample counts, data with zeros, negatives, huge and tiny
magnitudes, infinities and NaNs, targets that some formula meets exactly
(early stops) or misses, and varied tuning keywords. Shared by the result
recorder (bench/record_search_results.py) and the test that compares this
build's results with the recorded ones."""
import math
import random
import struct

SPECIAL = [0.0, -0.0, 1.0, -1.0, 1e-310, -1e-310, 1e200, -1e200, 710.0, math.inf, -math.inf, math.nan]


def _value(rng: random.Random, kind: int) -> float:
    if kind == 0:
        return rng.uniform(0.5, 3.0)
    if kind == 1:
        return rng.uniform(-3.0, 3.0)
    if kind == 2:
        return float(rng.randint(-3, 4))
    return rng.choice(SPECIAL) if rng.random() < 0.12 else rng.uniform(-5.0, 5.0)


def _target(rng: random.Random, cols, i: int, shape: int) -> float:
    v = [c[i] for c in cols]
    x = v[0]
    y = v[-1]
    try:
        if shape == 0:
            return x + y
        if shape == 1:
            return x * y + 1.0
        if shape == 2:
            return math.exp(x) if x < 700 else math.inf
        if shape == 3:
            return math.sqrt(abs(x)) - y
        if shape == 4:
            return x / y if y != 0 else math.inf
        if shape == 5:
            return math.sin(x) * 2.0
        return rng.gauss(0.0, 2.0)
    except (OverflowError, ValueError):
        return math.nan


def problem(number: int):
    """(x_data, y_data, keyword arguments) of problem `number`."""
    rng = random.Random(1_000_003 * number + 7)
    n_vars = 1 + number % 3
    n = rng.choice([3, 5, 8, 13, 21, 40, 70, 150, 300]) if number % 10 else rng.choice([0, 1, 2])
    kind = rng.choices(range(4), weights=[8, 5, 3, 3])[0]
    cols = [[_value(rng, kind) for _ in range(n)] for _ in range(n_vars)]
    shape = rng.randrange(8)
    noise = rng.choice([0.0, 0.0, 1e-12, 0.01, 0.5])
    ys = [_target(rng, cols, i, shape) + rng.gauss(0.0, noise) for i in range(n)]
    if n and rng.random() < 0.05:
        ys[rng.randrange(n)] = rng.choice([math.nan, math.inf, -math.inf])
    max_complexity = rng.choice([0, 1, 2, 3, 3, 4, 4, 5, 5, 5, 6])
    kwargs = dict(
        max_complexity=max_complexity,
        beam_width=rng.choice([0, 1, 3, 4, 5, 8, 40, 200] + ([2000] if max_complexity <= 5 else [])),
        precision_goal=rng.choice([1e-10, 1e-10, 0.0, 1e-3, 0.5, -1.0]),
        use_trig=rng.random() < 0.7,
        use_zyl=rng.random() < 0.7,
        complexity_penalty=rng.choice([0.001, 0.001, 0.0, 0.01, -0.01, 1.0]),
    )
    return cols, ys, kwargs


def larger_problem(number: int):
    """Like problem(), with hundreds to thousands of samples and the default
    search settings more often (so most searches run every level)."""
    cols, ys, kwargs = problem(number)
    rng = random.Random(number)
    n = rng.choice([100, 300, 1000, 3000])
    kind = rng.choices(range(4), weights=[8, 5, 3, 3])[0]
    cols = [[_value(rng, kind) for _ in range(n)] for _ in cols]
    shape = rng.randrange(8)
    noise = rng.choice([0.0, 0.01, 0.5])
    ys = [_target(rng, cols, i, shape) + rng.gauss(0.0, noise) for i in range(n)]
    if rng.random() < 0.05:
        ys[rng.randrange(n)] = rng.choice([math.nan, math.inf, -math.inf])
    if rng.random() < 0.6:
        kwargs = {"use_trig": kwargs["use_trig"], "use_zyl": kwargs["use_zyl"]}
    return cols, ys, kwargs


def outcome(result) -> str:
    """One line that holds everything that must not change: the formula, the
    error's bits and the complexity."""
    if result is None:
        return "None"
    bits = struct.pack("<d", result.error).hex()
    return f"{result.formula}|{bits}|{result.complexity}|{result.params}"


def outcomes(first: int, count: int, make=problem) -> list[str]:
    import zyl_core

    found = []
    for k in range(first, first + count):
        cols, ys, kwargs = make(k)
        found.append(outcome(zyl_core.find_formula(cols, ys, **kwargs)))
    return found
