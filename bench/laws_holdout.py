"""A second set of laws, none of them in bench_discovery.LAWS, for judging
whether the search generalises beyond the laws it was tuned on.

Same tuple format as bench_discovery.LAWS: (name, kind, ranges of the
variables, law). kind "int": constants that are small integers or simple
fractions; "real": physical constants folded in, in scaled units.
"""
import math

import numpy as np

PI = math.pi

LAWS = [
    ("kepler period a^1.5/sqrt(M)", "int", [(1, 5), (1, 5)], lambda a, m: a**1.5 / np.sqrt(m)),
    ("intensity L/r^2", "int", [(1, 5), (1, 5)], lambda l, r: l / r**2),
    ("tidal 2*m*d/r^3", "int", [(1, 5), (0.5, 2), (2, 5)], lambda m, d, r: 2 * m * d / r**3),
    ("pressure F/A", "int", [(1, 5), (1, 5)], lambda f, a: f / a),
    ("joule heating I^2*R", "int", [(1, 5), (1, 5)], lambda i, r: i**2 * r),
    ("areal density m/(a*b)", "int", [(1, 5), (1, 5), (1, 5)], lambda m, a, b: m / (a * b)),
    ("escape speed sqrt(2*M/r)", "int", [(1, 5), (1, 5)], lambda m, r: np.sqrt(2 * m / r)),
    ("attenuation I*exp(-mu*x)", "int", [(1, 5), (0.1, 1), (0, 4)], lambda i, mu, x: i * np.exp(-mu * x)),
    ("displacement v*t + a*t^2/2", "int", [(0, 5), (1, 5), (0, 3)], lambda v, a, t: v * t + a * t**2 / 2),
    ("mean (a+b)/2", "int", [(1, 5), (1, 5)], lambda a, b: (a + b) / 2),
    ("harmonic mean 2*a*b/(a+b)", "int", [(1, 5), (1, 5)], lambda a, b: 2 * a * b / (a + b)),
    ("rod inertia m*l^2/12", "int", [(1, 5), (1, 5)], lambda m, l: m * l**2 / 12),
    ("weighted mean (2*a+b)/3", "int", [(1, 5), (1, 5)], lambda a, b: (2 * a + b) / 3),
    ("geometric mean sqrt(a*b)", "int", [(1, 5), (1, 5)], lambda a, b: np.sqrt(a * b)),
    ("box diagonal sqrt(a^2+b^2+c^2)", "int", [(1, 5), (1, 5), (1, 5)],
     lambda a, b, c: np.sqrt(a**2 + b**2 + c**2)),
    ("pyramid a*b*h/3", "int", [(1, 5), (1, 5), (1, 5)], lambda a, b, h: a * b * h / 3),
    ("bernoulli p + v^2/2", "int", [(1, 5), (1, 5)], lambda p, v: p + v**2 / 2),
    ("relative change (a-b)/b", "int", [(1, 5), (1, 5)], lambda a, b: (a - b) / b),
    ("ohmic power V^2/R", "int", [(1, 5), (1, 5)], lambda v, r: v**2 / r),
    ("logistic 1/(1+exp(-k*x))", "int", [(-3, 3), (0.5, 2)], lambda x, k: 1 / (1 + np.exp(-k * x))),
    # Real constants.
    ("falling distance v*t + 9.81*t^2/2", "real", [(0, 5), (0, 3)], lambda v, t: v * t + 9.81 * t**2 / 2),
    ("hydrostatic p + 9.81*rho*h", "real", [(90, 110), (0.5, 1.5), (0, 10)], lambda p, rho, h: p + 9.81 * rho * h),
    ("thermal speed sqrt(3*8.314*T/M)", "real", [(1, 5), (1, 5)], lambda t, m: np.sqrt(3 * 8.314 * t / m)),
    ("gas energy 3/2*1.38*N*T", "real", [(1, 5), (1, 5)], lambda n, t: 1.5 * 1.38 * n * t),
    ("gravitational potential 6.674*M/r", "real", [(1, 5), (1, 5)], lambda m, r: 6.674 * m / r),
    ("orbital speed sqrt(6.674*M/r)", "real", [(1, 5), (1, 5)], lambda m, r: np.sqrt(6.674 * m / r)),
    ("coulomb potential q/(4*pi*r)", "real", [(1, 5), (1, 5)], lambda q, r: q / (4 * PI * r)),
    ("circular speed 2*pi*r/T", "real", [(1, 5), (1, 5)], lambda r, t: 2 * PI * r / t),
    ("wind power 0.5*1.225*A*v^3", "real", [(1, 5), (1, 3)], lambda a, v: 0.5 * 1.225 * a * v**3),
    ("barometric p*exp(-h/8.4)", "real", [(1, 5), (0, 10)], lambda p, h: p * np.exp(-h / 8.4)),
    ("cooling Te + D*exp(-0.3*t)", "real", [(1, 5), (1, 5), (0, 5)], lambda te, d, t: te + d * np.exp(-0.3 * t)),
    ("de broglie 6.626/(m*v)", "real", [(1, 5), (1, 5)], lambda m, v: 6.626 / (m * v)),
    ("stokes drag 6*pi*eta*r*v", "real", [(1, 5), (1, 5), (1, 5)], lambda eta, r, v: 6 * PI * eta * r * v),
    ("capacitor energy 8.854*A*V^2/(2*d)", "real", [(1, 5), (1, 5), (1, 5)],
     lambda a, v, d: 8.854 * a * v**2 / (2 * d)),
    ("oscillation A*cos(2*pi*t/T)", "real", [(1, 5), (0, 2), (1, 3)], lambda a, t, p: a * np.cos(2 * PI * t / p)),
    ("decibels 10*log10(I/I0)", "real", [(1, 100), (1, 5)], lambda i, i0: 10 * np.log10(i / i0)),
    ("solenoid 4*pi/10*n*I", "real", [(1, 5), (1, 5)], lambda n, i: 4 * PI / 10 * n * i),
    ("sound speed sqrt(gamma*8.314*T/0.029)", "real", [(1, 1.7), (1, 5)],
     lambda g, t: np.sqrt(g * 8.314 * t / 0.029)),
]
