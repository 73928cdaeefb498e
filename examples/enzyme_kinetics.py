"""Discovering a law with fitted constants in measured data: enzyme kinetics.

Treloar (1974) measured the initial rate of an enzymatic reaction at six
substrate concentrations, twice each, with the enzyme treated with Puromycin
(examples/data/puromycin.csv, the "treated" rows). The Michaelis-Menten law
rate = Vmax * conc / (K + conc) describes such data with two constants; a
nonlinear least-squares fit gives Vmax = 212.7 and K = 0.0641 (Bates and
Watts, 1988). FormulaRegressor is given only the numbers.

Run: .venv/bin/python examples/enzyme_kinetics.py (or the README's demo command).
With matplotlib installed it also saves plots of the fit and of the Pareto
front beside this file (or in the directory given as its argument).
"""
import csv
import pathlib
import sys

import numpy as np

from zyl_core.discovery import FormulaRegressor

HERE = pathlib.Path(__file__).resolve().parent
DATA = HERE / "data" / "puromycin.csv"

# Published least-squares constants of the law, for comparison only.
VMAX, K = 212.68, 0.06412


def load(state="treated"):
    """Concentrations as an (n, 1) array and rates as an (n,) array."""
    with open(DATA) as f:
        rows = [r for r in csv.DictReader(line for line in f if not line.startswith("#")) if r["state"] == state]
    return np.array([[float(r["conc"])] for r in rows]), np.array([float(r["rate"]) for r in rows])


def discover():
    conc, rate = load()
    return FormulaRegressor(feature_names=["conc"], verbose=False).fit(conc, rate)


def save_plots(model, conc, rate, directory):
    """The selected formula through the data and the front, as PNG files in
    directory; returns their paths. ImportError without matplotlib."""
    best_axes, residual_axes = model.best_.plot(conc, rate)
    best_axes.set_ylabel("rate (counts/min/min)")
    residual_axes.set_xlabel("conc (ppm)")
    front_axes = model.front_.plot()
    paths = []
    for axes, name in ((best_axes, "puromycin_fit.png"), (front_axes, "puromycin_front.png")):
        path = pathlib.Path(directory) / name
        # No software version in the file: the same fit gives the same bytes.
        axes.figure.savefig(path, dpi=80, metadata={"Software": None})
        paths.append(path)
    import matplotlib.pyplot as plt

    plt.close(best_axes.figure)
    plt.close(front_axes.figure)
    return paths


def main(plot_dir=HERE):
    conc, rate = load()
    model = discover()
    print(f"Enzyme kinetics: {len(rate)} measured rates of the Puromycin-treated enzyme (Treloar, 1974)")
    print("\nPareto front (* = selected):")
    print(model.front_)
    best = model.best_
    print(f"\nselected: rate = {best}")
    print(f"  rmse {best.rmse:.4g} counts/min/min, complexity {best.complexity}, R^2 {model.score(conc, rate):.4f}")
    # In Vmax*conc/(conc + K) the larger constant is Vmax.
    (k, k_error), (vmax, vmax_error) = sorted(zip(best.constants, best.standard_errors))
    print(f"  Vmax = {vmax:.1f} \u00b1 {vmax_error:.1f} counts/min/min, K = {k:.4f} \u00b1 {k_error:.4f} ppm "
          f"(published: {VMAX} and {K})")
    print("\n" + best.summary())
    print(f"  sympy: {best.sympy()}")
    print(f"  LaTeX: {best.latex()}")
    law = VMAX * conc[:, 0] / (K + conc[:, 0])
    print(f"  Michaelis-Menten with the published constants: rmse {np.sqrt(np.mean((law - rate) ** 2)):.4g}")
    print("\n  conc (ppm)   measured   formula   Michaelis-Menten")
    for c, r, p, m in zip(conc[:, 0], rate, model.predict(conc), law):
        print(f"  {c:10.2f}   {r:8.0f}   {p:7.1f}   {m:16.1f}")
    try:
        fit_path, front_path = save_plots(model, conc, rate, plot_dir)
    except ImportError as missing:
        print(f"\nplots skipped: {missing}")
    else:
        print(f"\nplots saved: the fit in {fit_path}, the front in {front_path}")


if __name__ == "__main__":
    main(*sys.argv[1:2])
