"""Laws whose structure needs more than ten nodes: separately weighted sums
of products and powers, equations of state, a radiation law, ratios of
low-order polynomials, differences of squares, velocity addition and a
switched circuit's current. None of them is in another law set.

Same tuple format as bench_discovery.LAWS: (name, kind, ranges of the
variables, law).
"""
import numpy as np

LAWS = [
    ("three terms 2*a*b+0.5*c^2-1.5*a", "real", [(1, 4), (1, 4), (0, 3)],
     lambda a, b, c: 2 * a * b + 0.5 * c**2 - 1.5 * a),
    ("ideal gas with covolume n*8.314*T/(V-n*0.04)", "real", [(1, 3), (200, 400), (1, 4)],
     lambda n, t, v: n * 8.314 * t / (v - n * 0.04)),
    ("radiation x^3/(exp(x)-1)", "int", [(0.2, 6)], lambda x: x**3 / (np.exp(x) - 1)),
    ("radiation in a and T a^3/(exp(a/T)-1)", "int", [(0.5, 4), (1, 3)],
     lambda a, t: a**3 / (np.exp(a / t) - 1)),
    ("rational (x^2+1)/(x^2+2*x+3)", "int", [(-3, 3)], lambda x: (x**2 + 1) / (x**2 + 2 * x + 3)),
    ("rational (2*x+1)/(x^2+0.5)", "real", [(-2, 3)], lambda x: (2 * x + 1) / (x**2 + 0.5)),
    ("difference of squares (a^2-b^2)/(a+2*b)", "int", [(1, 5), (1, 5)],
     lambda a, b: (a**2 - b**2) / (a + 2 * b)),
    ("velocity addition (u+v)/(1+u*v/c^2)", "int", [(0.1, 0.9), (0.1, 0.9), (1, 2)],
     lambda u, v, c: (u + v) / (1 + u * v / c**2)),
    ("RL circuit V/R*(1-exp(-R*t/L))", "int", [(1, 5), (1, 3), (0, 2), (0.5, 2)],
     lambda v, r, t, l: v / r * (1 - np.exp(-r * t / l))),
    ("oscillator energy 0.5*k*x^2+0.5*m*v^2", "real", [(1, 3), (-1, 1), (1, 3), (-2, 2)],
     lambda k, x, m, v: 0.5 * k * x**2 + 0.5 * m * v**2),
]
