"""Laws with units: lecture-course physics and everyday science, each with the
SI unit of every column and of the target. Physical constants a law needs are
columns with their units, varied over a range like the other columns (a
constant column would be indistinguishable from a fitted constant).

Tuples of (name, kind, ranges, column units, target unit, law, dimensional):
kind as in bench_discovery.LAWS ("int": constants that are simple exact
numbers; "real": fitted real constants); `dimensional` marks the laws whose
fitted constants carry a unit, fitted with dimensional_constants=True.
"""
import math

import numpy as np

PI = math.pi

LAWS = [
    ("kinetic energy m*v^2/2", "int", [(1, 5), (1, 5)], ["kg", "m/s"], "J", lambda m, v: m * v**2 / 2, False),
    ("momentum m*v", "int", [(1, 5), (1, 5)], ["kg", "m/s"], "kg*m/s", lambda m, v: m * v, False),
    ("potential energy m*g*h", "int", [(1, 5), (9, 10), (0, 5)], ["kg", "m/s^2", "m"], "J",
     lambda m, g, h: m * g * h, False),
    ("gravitation G*m1*m2/r^2", "int", [(1, 5), (1, 5), (1, 5), (1, 5)], ["N*m^2/kg^2", "kg", "kg", "m"], "N",
     lambda g, a, b, r: g * a * b / r**2, False),
    ("coulomb q1*q2/(4*pi*eps*r^2)", "int", [(1, 5), (1, 5), (1, 5), (1, 5)], ["C", "C", "F/m", "m"], "N",
     lambda a, b, e, r: a * b / (4 * PI * e * r**2), False),
    ("rest energy m*c^2", "int", [(1, 5), (1, 5)], ["kg", "m/s"], "J", lambda m, c: m * c**2, False),
    ("pendulum period 2*pi*sqrt(L/g)", "int", [(0.5, 3), (9, 10)], ["m", "m/s^2"], "s",
     lambda l, g: 2 * PI * np.sqrt(l / g), False),
    ("ideal gas n*R*T/V", "int", [(1, 5), (8, 9), (250, 350), (1, 5)], ["mol", "J/(mol*K)", "K", "m^3"], "Pa",
     lambda n, r, t, v: n * r * t / v, False),
    ("electric power V^2/R", "int", [(1, 5), (1, 5)], ["V", "Ohm"], "W", lambda v, r: v**2 / r, False),
    ("lorentz force q*v*B", "int", [(1, 5), (1, 5), (1, 5)], ["C", "m/s", "T"], "N", lambda q, v, b: q * v * b, False),
    ("magnetic energy density B^2/(2*mu0)", "int", [(1, 5), (1, 5)], ["T", "H/m"], "J/m^3",
     lambda b, mu: b**2 / (2 * mu), False),
    ("capacitor energy C*V^2/2", "int", [(1, 5), (1, 5)], ["F", "V"], "J", lambda c, v: c * v**2 / 2, False),
    ("inductor energy L*I^2/2", "int", [(1, 5), (1, 5)], ["H", "A"], "J", lambda l, i: l * i**2 / 2, False),
    ("photon energy h*f", "int", [(1, 5), (1, 5)], ["J*s", "Hz"], "eV", lambda h, f: h * f, False),
    ("de broglie h/(m*v)", "int", [(1, 5), (1, 5), (1, 5)], ["J*s", "kg", "m/s"], "m",
     lambda h, m, v: h / (m * v), False),
    ("escape speed sqrt(2*G*M/r)", "int", [(1, 5), (1, 5), (1, 5)], ["N*m^2/kg^2", "kg", "m"], "m/s",
     lambda g, m, r: np.sqrt(2 * g * m / r), False),
    ("centripetal v^2/r", "int", [(1, 5), (1, 5)], ["m/s", "m"], "m/s^2", lambda v, r: v**2 / r, False),
    ("spring period 2*pi*sqrt(m/k)", "int", [(1, 5), (1, 5)], ["kg", "N/m"], "s",
     lambda m, k: 2 * PI * np.sqrt(m / k), False),
    ("damped amplitude x0*exp(-t/tau)", "int", [(1, 5), (0, 4), (1, 3)], ["m", "s", "s"], "m",
     lambda x, t, tau: x * np.exp(-t / tau), False),
    ("decay N0*exp(-lam*t)", "int", [(1, 5), (0.1, 1), (0, 4)], ["", "Hz", "s"], "1",
     lambda n, lam, t: n * np.exp(-lam * t), False),
    ("boltzmann factor exp(-E/(k*T))", "int", [(1, 5), (1, 2), (1, 5)], ["J", "J/K", "K"], "",
     lambda e, k, t: np.exp(-e / (k * t)), False),
    ("string wave speed sqrt(T/mu)", "int", [(1, 5), (1, 5)], ["N", "kg/m"], "m/s",
     lambda t, mu: np.sqrt(t / mu), False),
    ("radiated power sigma*A*T^4", "int", [(1, 5), (1, 5), (1, 3)], ["W/(m^2*K^4)", "m^2", "K"], "W",
     lambda s, a, t: s * a * t**4, False),
    ("doppler f*(1 + v/c)", "int", [(1, 5), (0, 1), (2, 5)], ["Hz", "m/s", "m/s"], "Hz",
     lambda f, v, c: f * (1 + v / c), False),
    ("lorentz factor 1/sqrt(1 - v^2/c^2)", "int", [(0.1, 0.8), (1, 2)], ["m/s", "m/s"], "1",
     lambda v, c: 1 / np.sqrt(1 - v**2 / c**2), False),
    ("projectile range v^2*sin(2*theta)/g", "int", [(1, 5), (0.1, 1.4), (9, 10)], ["m/s", "", "m/s^2"], "m",
     lambda v, th, g: v**2 * np.sin(2 * th) / g, False),
    ("heat conduction k*A*dT/d", "int", [(1, 5), (1, 5), (1, 5), (1, 5)], ["W/(m*K)", "m^2", "K", "m"], "W",
     lambda k, a, dt, d: k * a * dt / d, False),
    ("bernoulli p + rho*v^2/2", "int", [(1, 5), (1, 5), (1, 5)], ["Pa", "kg/m^3", "m/s"], "Pa",
     lambda p, rho, v: p + rho * v**2 / 2, False),
    ("work F*d*cos(theta)", "int", [(1, 5), (1, 5), (0, 1.5)], ["N", "m", ""], "J",
     lambda f, d, th: f * d * np.cos(th), False),
    ("point charge field q/(4*pi*eps*r^2)", "int", [(1, 5), (1, 5), (1, 5)], ["C", "F/m", "m"], "V/m",
     lambda q, e, r: q / (4 * PI * e * r**2), False),
    ("hydrostatic rho*g*h", "int", [(1, 5), (9, 10), (1, 5)], ["kg/m^3", "m/s^2", "m"], "Pa",
     lambda rho, g, h: rho * g * h, False),
    ("torque r*F*sin(theta)", "int", [(1, 5), (1, 5), (0, 1.5)], ["m", "N", ""], "N*m",
     lambda r, f, th: r * f * np.sin(th), False),
    ("thermal wavelength h/sqrt(2*pi*m*k*T)", "int", [(1, 5), (1, 5), (1, 2), (1, 5)], ["J*s", "kg", "J/K", "K"],
     "m", lambda h, m, k, t: h / np.sqrt(2 * PI * m * k * t), False),
    ("rc discharge V0*exp(-t/(R*C))", "int", [(1, 5), (0, 3), (1, 3), (0.5, 2)], ["V", "s", "Ohm", "F"], "V",
     lambda v, t, r, c: v * np.exp(-t / (r * c)), False),
    ("thin lens a*b/(a + b)", "int", [(1, 5), (1, 5)], ["m", "m"], "m", lambda a, b: a * b / (a + b), False),
    ("relative speed (u + v)/(1 + u*v/c^2)", "int", [(0, 0.8), (0, 0.8), (1, 2)], ["m/s", "m/s", "m/s"], "m/s",
     lambda u, v, c: (u + v) / (1 + u * v / c**2), False),
    # Fitted constants with units.
    ("michaelis-menten 2.5*S/(1.5 + S)", "real", [(0.1, 8)], ["mol/m^3"], "mol/(m^3*s)",
     lambda s: 2.5 * s / (1.5 + s), True),
    ("hooke 3.7*x", "real", [(0, 2)], ["m"], "N", lambda x: 3.7 * x, True),
    ("uniform motion 1.8 + 0.6*t", "real", [(0, 10)], ["s"], "m", lambda t: 1.8 + 0.6 * t, True),
]
