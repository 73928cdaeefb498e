"""Classic measurements with a known law, read from bench/data/real/.

Each entry names its CSV file, the feature and target columns, the law as a
function of the features and its free constants, starting values for those
constants, and how a fitted curve is judged against the law's (see
law_verdicts.py): `relative` for targets that span decades, `domain` for the
feature values where the law means something physically.
"""
import csv
import dataclasses
import pathlib
from collections.abc import Callable

import numpy as np

DATA = pathlib.Path(__file__).parent / "data" / "real"


@dataclasses.dataclass(frozen=True)
class RealLaw:
    name: str
    file: str
    features: tuple[str, ...]
    target: str
    law_text: str
    law: Callable[..., np.ndarray]
    start: tuple[float, ...]
    relative: bool = False
    # (low, high) per feature, None for no bound: where the law is defined.
    domain: tuple[tuple[float | None, float | None], ...] | None = None
    # (column, value): keep only the rows whose column has that value.
    subset: tuple[str, str] | None = None

    def load(self):
        """Features as an (n, d) array and the target as an (n,) array."""
        with open(DATA / self.file, newline="") as fh:
            rows = list(csv.DictReader(line for line in fh if not line.startswith("#")))
        if self.subset:
            column, value = self.subset
            rows = [r for r in rows if r[column] == value]
        if not rows:
            raise ValueError(f"{self.file}: no rows")
        x = np.array([[float(r[f]) for f in self.features] for r in rows])
        return x, np.array([float(r[self.target]) for r in rows])


NON_NEGATIVE = ((0.0, None),)

REAL_LAWS = [
    RealLaw("Kepler's third law (planets)", "kepler_planets.csv", ("a",), "T", "T = k*a^1.5",
            lambda a, k: k * a**1.5, (1.0,), relative=True),
    RealLaw("Michaelis-Menten (Puromycin, treated)", "puromycin.csv", ("conc",), "rate", "rate = V*conc/(K + conc)",
            lambda c, v, k: v * c / (k + c), (200.0, 0.1), domain=NON_NEGATIVE, subset=("state", "treated")),
    RealLaw("first-order BOD", "bod.csv", ("Time",), "demand", "demand = A*(1 - exp(-k*Time))",
            lambda t, a, k: a * (1 - np.exp(-k * t)), (20.0, 0.5), domain=NON_NEGATIVE),
    RealLaw("brain-body allometry (mammals)", "mammals.csv", ("body",), "brain", "brain = a*body^b",
            lambda m, a, b: a * m**b, (10.0, 0.75), relative=True),
    # Antoine's equation; with C = 273.15 it is the Clausius-Clapeyron law.
    RealLaw("vapour pressure of mercury", "mercury_vapour.csv", ("temperature",), "pressure",
            "pressure = exp(A - B/(C + temperature))",
            lambda t, a, b, c: np.exp(a - b / (c + t)), (18.4, 7500.0, 282.0), relative=True),
    RealLaw("timber volume (trees)", "trees.csv", ("Girth", "Height"), "Volume", "Volume = c*Girth^2*Height",
            lambda g, h, c: c * g**2 * h, (0.002,), domain=((0.0, None), (0.0, None))),
    # Reaction distance grows with speed, braking distance with its square.
    RealLaw("stopping distance (cars)", "cars.csv", ("speed",), "dist", "dist = a*speed + b*speed^2",
            lambda v, a, b: a * v + b * v**2, (1.0, 0.1), domain=NON_NEGATIVE),
    # The rotor's friction takes up a fixed part theta of the driving weight;
    # the law holds well above it.
    RealLaw("Stormer viscometer", "stormer.csv", ("Viscosity", "Wt"), "Time", "Time = b*Viscosity/(Wt - theta)",
            lambda v, w, b, theta: b * v / (w - theta), (30.0, 2.0), domain=((0.0, None), (10.0, None))),
    RealLaw("logistic assay (DNase, run 1)", "dnase_run1.csv", ("conc",), "density",
            "density = A/(1 + exp((m - log(conc))/s))",
            lambda c, a, m, s: a / (1 + np.exp((m - np.log(c)) / s)), (2.3, 1.5, 1.0)),
    RealLaw("two-compartment kinetics (indometacin, subject 1)", "indometh_subject1.csv", ("time",), "conc",
            "conc = A1*exp(-k1*time) + A2*exp(-k2*time)",
            lambda t, a1, k1, a2, k2: a1 * np.exp(-k1 * t) + a2 * np.exp(-k2 * t), (2.0, 1.8, 0.2, 0.15),
            domain=NON_NEGATIVE),
    RealLaw("logistic growth (orange tree 1)", "orange_tree1.csv", ("age",), "circumference",
            "circumference = A/(1 + exp((m - age)/s))",
            lambda t, a, m, s: a / (1 + np.exp((m - t) / s)), (150.0, 700.0, 350.0), domain=NON_NEGATIVE),
    # Clausius-Clapeyron with the absolute temperature in Rankine.
    RealLaw("boiling point of water (Forbes)", "forbes.csv", ("bp",), "pres", "pres = exp(A - B/(bp + 459.67))",
            lambda t, a, b: np.exp(a - b / (t + 459.67)), (17.1, 9200.0)),
]
