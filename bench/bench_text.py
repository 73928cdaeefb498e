"""Formula text, side by side with sympy: zyl_core's str(formula) against
sympy's str() of the same formula's expression (already built, so sympy pays
for printing only) and against building that expression and printing it.

Formulas: random ones of 15 and 40 nodes such as a search finds (seeded), and
chains of 250 to 100,000 nested operations (sympy stops at
its recursion limit on the longer ones). Medians over repeats, in
microseconds per formula.

    .venv/bin/python bench/bench_text.py [--repeats 7]
"""
import argparse
import random
import statistics
import time

import sympy

from zyl_core.discovery import Formula, _Formula

NAMES = ("x0", "x1", "x2")
UNARY = ("neg", "inv", "exp", "log", "sqrt", "sin", "cos", "square")
BINARY = ("add", "sub", "mul", "div")


def random_nodes(rng, size):
    """A well-formed postfix list of about `size` nodes."""
    nodes, depth = [], 0
    while len(nodes) < size or depth > 1:
        want_leaf = depth < 2 or (len(nodes) < size and rng.random() < 0.45)
        if want_leaf:
            nodes.append(("var", rng.randrange(3)) if rng.random() < 0.7 else ("const", rng.uniform(-3, 3), None))
            depth += 1
        elif rng.random() < 0.3:
            nodes.append(("op", rng.choice(UNARY)))
        else:
            nodes.append(("op", rng.choice(BINARY)))
            depth -= 1
    return nodes


def chain(length):
    return [("var", 0)] + [("var", 1), ("op", "add"), ("op", "sin"), ("var", 2), ("op", "mul")] * (length // 5)


def median_us(action, repeats, inner):
    times = []
    for _ in range(repeats):
        start = time.perf_counter()
        for _ in range(inner):
            action()
        times.append((time.perf_counter() - start) / inner * 1e6)
    return statistics.median(times)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--repeats", type=int, default=7)
    args = parser.parse_args()
    rng = random.Random(3)
    cases = [
        ("random, 15 nodes", [random_nodes(rng, 15) for _ in range(20)], 20),
        ("random, 40 nodes", [random_nodes(rng, 40) for _ in range(20)], 5),
        ("chain, 250 nodes", [chain(250)], 5),
        ("chain, 1,000 nodes", [chain(1000)], 3),
        ("chain, 10,000 nodes", [chain(10_000)], 1),
        ("chain, 100,000 nodes", [chain(100_000)], 1),
    ]
    print(f"{'formulas':<22}{'zyl str':>12}{'sympy str':>12}{'sympy all':>12}{'str ratio':>11}{'all ratio':>11}")
    for title, node_lists, inner in cases:
        formulas = [Formula(_Formula(nodes, 0.0), NAMES) for nodes in node_lists]
        zyl = median_us(lambda: [str(f) for f in formulas], args.repeats, inner) / len(formulas)
        try:
            expressions = [f.sympy() for f in formulas]
            printed = median_us(lambda: [str(e) for e in expressions], args.repeats, inner) / len(formulas)
            built = median_us(lambda: [str(f.sympy()) for f in formulas], args.repeats, 1) / len(formulas)
        except RecursionError:
            print(f"{title:<22}{zyl:>12.1f}   sympy: RecursionError")
            continue
        print(f"{title:<22}{zyl:>12.1f}{printed:>12.1f}{built:>12.1f}{printed / zyl:>10.0f}x{built / zyl:>10.0f}x")


if __name__ == "__main__":
    main()
