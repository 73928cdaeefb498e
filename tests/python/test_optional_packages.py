"""A feature whose optional package is absent or too old says which package,
which version it found, and the pip command that installs what it needs."""
import pathlib
import re
import tomllib

import pytest

from zyl_core import _optional

ROOT = pathlib.Path(__file__).resolve().parents[2]

# Runs in a fresh interpreter: `hide` maps package names to None (absent) or to
# a version string (a stand-in module of that version).
PROBE = """
import sys, types
for name, version in {hide!r}.items():
    sys.modules[name] = None if version is None else types.SimpleNamespace(__version__=version)
import zyl_core
try:
    {call}
except ImportError as e:
    print(type(e).__name__, '|', e.name, '|', e)
else:
    print('no error')
"""


def probe(run, hide, call):
    return run(PROBE.format(hide=hide, call=call)).strip().split(" | ")


ABSENT = [
    ("numpy", "import zyl_core.arrays as za; za.exp_n", "zyl_core.arrays", "arrays"),
    ("numpy", "from zyl_core.arrays import sqrt_n", "zyl_core.arrays", "arrays"),
    ("numpy", "from zyl_core.discovery import FormulaRegressor; FormulaRegressor().fit([[1.0]], [1.0])",
     "zyl_core.discovery", "discovery"),
]


@pytest.mark.parametrize("package, call, feature, extra", ABSENT)
def test_an_absent_package_is_named_with_the_command_that_installs_it(python_in_subprocess, package, call,
                                                                       feature, extra):
    kind, name, message = probe(python_in_subprocess, {package: None}, call)
    assert (kind, name) == ("ImportError", package)
    assert message == (f"{feature} needs {package} {_optional.MINIMUM[package]} or newer, which is not installed; "
                       f"install it with: pip install 'zyl_core[{extra}]'")


def test_an_old_numpy_is_named_with_its_version(python_in_subprocess):
    kind, name, message = probe(python_in_subprocess, {"numpy": "1.26.4"}, "import zyl_core.arrays as za; za.exp_n")
    assert (kind, name) == ("ImportError", "numpy")
    assert message == ("zyl_core.arrays needs numpy 2.0 or newer, but numpy 1.26.4 is installed; "
                       "upgrade it with: pip install --upgrade 'zyl_core[arrays]'")


def test_formula_exports_name_sympy_and_pandas(python_in_subprocess):
    make = ("from zyl_core.discovery import Formula, Front, _Formula; "
            "f = Formula(_Formula((('var', 0),), 0.0), ['x']); ")
    for package, call, feature in [("sympy", "f.sympy()", "Formula.sympy"), ("sympy", "f.latex()", "Formula.latex"),
                                   ("pandas", "Front([f], 0).to_pandas()", "Front.to_pandas")]:
        kind, name, message = probe(python_in_subprocess, {package: None}, make + call)
        assert (kind, name) == ("ImportError", package), call
        assert message.startswith(f"{feature} needs {package} {_optional.MINIMUM[package]} or newer"), message


def test_a_package_broken_inside_keeps_its_own_error(monkeypatch):
    def broken(name):
        raise ModuleNotFoundError("No module named 'numpy._core._multiarray_umath'", name="numpy._core._multiarray_umath")

    monkeypatch.setattr(_optional.importlib, "import_module", broken)
    monkeypatch.setattr(_optional, "_checked", {})
    with pytest.raises(ModuleNotFoundError, match="_multiarray_umath"):
        _optional.require("numpy", "zyl_core.arrays", "arrays")


@pytest.mark.parametrize("older, newer", [("1.9", "1.13"), ("1.26.4", "2"), ("2.0rc1", "2.0.1"), ("", "0.1"),
                                           ("1.13.dev0", "1.13.1"), ("2", "10.0")])
def test_versions_compare_by_their_numbers(older, newer):
    assert _optional._release(older) < _optional._release(newer)
    assert _optional._release("2") == _optional._release("2.0") == _optional._release("2.0.0")


def test_the_extras_ask_for_the_versions_the_checks_require():
    extras = tomllib.loads((ROOT / "pyproject.toml").read_text(encoding="utf-8"))["project"]["optional-dependencies"]
    pinned = {}
    for group, requirements in extras.items():
        for requirement in requirements:
            name, minimum = re.fullmatch(r"([\w-]+)>=([\d.]+)", requirement).groups()
            assert pinned.setdefault(name, minimum) == minimum, (group, requirement)
    assert {k: v for k, v in pinned.items() if k in _optional.MINIMUM} == _optional.MINIMUM
    assert set(extras["arrays"]) <= set(extras["discovery"]) <= set(extras["all"])
