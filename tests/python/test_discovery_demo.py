"""The enzyme-kinetics demo finds the Michaelis-Menten law in Treloar's measurements."""
import importlib.util
import pathlib
import sys

import numpy as np
import pytest

EXAMPLE = pathlib.Path(__file__).resolve().parents[2] / "examples" / "enzyme_kinetics.py"


@pytest.fixture(scope="module")
def demo():
    found = importlib.util.spec_from_file_location("enzyme_kinetics", EXAMPLE)
    module = importlib.util.module_from_spec(found)
    found.loader.exec_module(module)
    return module


def test_the_selected_formula_is_the_law_with_its_constants(demo):
    conc, rate = demo.load()
    assert conc.shape == (12, 1) and rate.sum() == 1699.0
    model = demo.discover()
    law_rmse = np.sqrt(np.mean((demo.VMAX * conc[:, 0] / (demo.K + conc[:, 0]) - rate) ** 2))
    # The least-squares optimum of the law; anything simpler fits far worse.
    assert model.best_.rmse <= law_rmse + 1e-3
    grid = np.linspace(0.02, 1.1, 50)
    np.testing.assert_allclose(model.best_.predict(grid[:, None]), demo.VMAX * grid / (demo.K + grid), rtol=5e-3)
    # Vmax and K with the standard errors nonlinear least squares gives them
    # (Bates and Watts, 1988: 212.7 +- 6.947 and 0.06412 +- 0.008281).
    np.testing.assert_allclose(sorted(model.best_.standard_errors), [0.008281, 6.947], rtol=2e-3)


def test_the_demo_prints_front_formula_sympy_and_latex(demo, capsys, tmp_path):
    demo.main(tmp_path)
    out = capsys.readouterr().out
    for heading in ("Pareto front", "selected: rate = ", "Vmax = ", "K = ", "sympy: ", "LaTeX: ", "conc"):
        assert heading in out


def test_the_demo_saves_its_plots_and_says_where(demo, capsys, tmp_path, monkeypatch):
    pytest.importorskip("matplotlib").use("Agg")
    demo.main(tmp_path)
    out = capsys.readouterr().out
    for name in ("puromycin_fit.png", "puromycin_front.png"):
        assert str(tmp_path / name) in out
        assert (tmp_path / name).read_bytes().startswith(b"\x89PNG")
    monkeypatch.setitem(sys.modules, "matplotlib", None)
    monkeypatch.setitem(sys.modules, "matplotlib.pyplot", None)
    demo.main(tmp_path / "none")
    assert "plots skipped: plotting needs matplotlib, which the 'plot' extra installs" in capsys.readouterr().out
