"""The README's tables say what the module does: the guarded values are the
ones the functions return, and the estimator's defaults are its own."""
import ast
import inspect
import pathlib
import re

import pytest

import zyl_core
from zyl_core.discovery import FormulaRegressor
from zyl_core.discovery.estimator import _ENGINE_OPTIONS

README = (pathlib.Path(__file__).resolve().parents[2] / "README.md").read_text(encoding="utf-8")

GUARDED = re.findall(r"^\| `(z\.\w+\(.*?\))` \| `(.*?)` \|", README, re.MULTILINE)
PARAMETERS = dict(re.findall(r'^\| `(\w+)` \| (None|False|True|"\w+")(?: [\[(].*?[\])])? \|', README, re.MULTILINE))


def test_the_tables_are_there():
    assert len(GUARDED) >= 6 and {"exp_n", "ln_n", "sqrt_n", "div_n"} <= {c[2:c.index("(")] for c, _ in GUARDED}
    assert set(PARAMETERS) == set(inspect.signature(FormulaRegressor).parameters)


@pytest.mark.parametrize("call, result", GUARDED, ids=[call for call, _ in GUARDED])
def test_each_guarded_value_is_what_the_function_returns(call, result):
    assert repr(eval(call, {"z": zyl_core})) == result


def test_the_defaults_are_the_estimators():
    signature = inspect.signature(FormulaRegressor)
    for name, default in PARAMETERS.items():
        assert signature.parameters[name].default == ast.literal_eval(default), name
    # Every option left to the engine has its default in help() and in the README.
    doc = inspect.getdoc(FormulaRegressor)
    for name in _ENGINE_OPTIONS:
        if name == "time_limit" or signature.parameters[name].default is not None:
            continue  # no default budget (None means no limit, as both say), or a default of its own
        documented = re.search(rf"^  {name}: (?:.*\n)*?.*\[(.+?)\]$", doc, re.MULTILINE).group(1)
        assert f"| `{name}` | None [{documented}] |" in README, name
