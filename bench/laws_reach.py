"""Laws whose constants sit inside functions or whose terms are weighted
separately: saturations, growth curves, damped oscillations, peaks, rational
responses and sums of terms. None of them is in bench_discovery.LAWS or
laws_holdout.LAWS.

Same tuple format as bench_discovery.LAWS: (name, kind, ranges of the
variables, law).
"""
import math

import numpy as np

PI = math.pi

LAWS = [
    # Rates, frequencies, phases, midpoints, centres and widths inside functions.
    ("first-order uptake 3*(1-exp(-0.7*t))", "real", [(0, 6)], lambda t: 3 * (1 - np.exp(-0.7 * t))),
    ("growth 2*exp(0.35*t)", "real", [(0, 5)], lambda t: 2 * np.exp(0.35 * t)),
    ("logistic 5/(1+exp(-1.3*(t-4)))", "real", [(0, 8)], lambda t: 5 / (1 + np.exp(-1.3 * (t - 4)))),
    ("gaussian peak 2*exp(-(x-1.5)^2/0.8)", "real", [(-1, 4)], lambda x: 2 * np.exp(-((x - 1.5) ** 2) / 0.8)),
    ("wave 1.5*cos(2.2*t+0.6)", "real", [(0, 6)], lambda t: 1.5 * np.cos(2.2 * t + 0.6)),
    ("damped 2*exp(-0.3*t)*cos(3.1*t)", "real", [(0, 8)], lambda t: 2 * np.exp(-0.3 * t) * np.cos(3.1 * t)),
    ("amplitude A*sin(1.7*t+0.4)", "real", [(1, 5), (0, 6)], lambda a, t: a * np.sin(1.7 * t + 0.4)),
    ("power law 1.8*x^0.65", "real", [(0.5, 6)], lambda x: 1.8 * x**0.65),
    ("gompertz exp(-2.5*exp(-0.8*t))", "real", [(0, 8)], lambda t: np.exp(-2.5 * np.exp(-0.8 * t))),
    # Rational responses.
    ("michaelis-menten 4*s/(0.6+s)", "real", [(0.05, 5)], lambda s: 4 * s / (0.6 + s)),
    ("hill s^2/(1.5+s^2)", "real", [(0.1, 4)], lambda s: s**2 / (1.5 + s**2)),
    ("resonance 1/((1-w^2)^2+0.09*w^2)", "real", [(0.1, 3)], lambda w: 1 / ((1 - w**2) ** 2 + 0.09 * w**2)),
    # Sums of separately weighted terms.
    ("weighted sum 0.3*a+0.7*b", "real", [(1, 5), (1, 5)], lambda a, b: 0.3 * a + 0.7 * b),
    ("two powers 1/r^2-0.5/r", "real", [(0.5, 3)], lambda r: 1 / r**2 - 0.5 / r),
    ("energy 0.5*m*v^2+9.81*m*h", "real", [(1, 5), (0, 4), (0, 3)],
     lambda m, v, h: 0.5 * m * v**2 + 9.81 * m * h),
    ("quadratic 1.2*x^2-0.8*x+3", "real", [(-2, 3)], lambda x: 1.2 * x**2 - 0.8 * x + 3),
    ("van der waals 8.314*T/(V-0.03)-1.4/V^2", "real", [(1, 5), (0.5, 3)],
     lambda t, v: 8.314 * t / (v - 0.03) - 1.4 / v**2),
    ("difference of squares a^2-0.5*b^2", "real", [(1, 5), (1, 5)], lambda a, b: a**2 - 0.5 * b**2),
]
