"""The demo on exactly what scripts/requirements-demo.txt installs: a fresh
virtual environment holding those packages and zyl_core, installed from a
wheel of the kept build (so that nothing is compiled again), and nothing of
the test packages."""
import os
import pathlib
import shutil
import subprocess
import sys
import venv

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]

pytestmark = pytest.mark.slow


def run(*command, cwd=None, env=None):
    proc = subprocess.run(command, cwd=cwd, env=env, capture_output=True, text=True, timeout=900)
    assert proc.returncode == 0, f"{command} exited with {proc.returncode}:\n{proc.stdout}\n{proc.stderr}"
    return proc


def test_the_demo_runs_on_its_own_requirements(tmp_path):
    wheels = tmp_path / "wheels"
    run(sys.executable, "-m", "pip", "wheel", "-q", "--disable-pip-version-check", "--no-build-isolation",
        "--no-deps", "-w", str(wheels), str(ROOT))
    (wheel,) = wheels.glob("zyl_core-*.whl")
    venv.EnvBuilder(with_pip=True).create(tmp_path / "venv")
    python = str(tmp_path / "venv" / "bin" / "python")
    run(python, "-m", "pip", "install", "-q", "--disable-pip-version-check",
        "-r", str(ROOT / "scripts" / "requirements-demo.txt"), str(wheel))
    installed = {line.split("==")[0].lower() for line in run(python, "-m", "pip", "freeze").stdout.split()}
    assert {"numpy", "sympy", "zyl_core"} <= installed
    assert not installed & {"pytest", "pandas", "scikit-learn", "dask", "hypothesis"}

    env = {k: v for k, v in os.environ.items() if not k.startswith(("PYTHON", "RAYON_"))}
    # A copy (with the benches it borrows from), so that the plots the demo
    # saves beside itself leave the checkout's own files alone.
    unwanted = shutil.ignore_patterns("*.png", "__pycache__")
    examples = shutil.copytree(ROOT / "examples", tmp_path / "examples", ignore=unwanted)
    shutil.copytree(ROOT / "bench", tmp_path / "bench", ignore=unwanted)
    demo = run(python, str(examples / "demo.py"), cwd=tmp_path, env=env)
    output = demo.stdout + demo.stderr
    assert "Traceback" not in output and "skipped" not in output
    for line in ("exp_n equals math.exp (the platform libm) on all 1,000,000 elements: True",
                 "float32 in gives float32 out, equal to the float64 values rounded once: True",
                 "Pareto front", "sympy: ", "LaTeX: "):
        assert line in demo.stdout
