"""The installed distribution carries the version and the licence that
pyproject.toml declares, and the module reports that same version."""
import importlib.metadata
import pathlib
import tomllib

import zyl_core

ROOT = pathlib.Path(__file__).resolve().parents[2]
PROJECT = tomllib.loads((ROOT / "pyproject.toml").read_text(encoding="utf-8"))["project"]


def test_version_is_the_one_written_in_pyproject():
    assert zyl_core.__version__ == importlib.metadata.version("zyl_core") == PROJECT["version"]
    assert "__version__" not in zyl_core.__all__


def test_distribution_declares_and_ships_the_mit_licence():
    dist = importlib.metadata.distribution("zyl_core")
    assert dist.metadata["License-Expression"] == PROJECT["license"] == "MIT"
    shipped = [f for f in dist.files if f.name == "LICENSE"]
    assert [f.parent.name for f in shipped] == ["licenses"]
    assert shipped[0].read_text(encoding="utf-8") == (ROOT / "LICENSE").read_text(encoding="utf-8")
    assert shipped[0].read_text(encoding="utf-8").startswith("MIT License\n")
