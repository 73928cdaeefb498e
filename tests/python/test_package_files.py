"""The submodules' Python halves are installed files in the folder that the
extension names as its __path__: the tools that work on any package's source
(inspect, importlib, tracebacks, tracers such as coverage) work on them, and
`import zyl_core` still loads the one extension."""
import importlib
import importlib.util
import inspect
import linecache
import pathlib
import shutil
import sys
import traceback

import pytest

import zyl_core
import zyl_core.arrays
import zyl_core.discovery
from zyl_core.discovery import Formula, FormulaRegressor

ROOT = pathlib.Path(__file__).resolve().parents[2]
SOURCES = ROOT / "src" / "zyl_core"
FOLDER = pathlib.Path(zyl_core.__path__[0])


def test_the_extension_is_the_package_and_the_folder_beside_it_its_path():
    so = pathlib.Path(zyl_core.__file__)
    assert so.suffix == ".so" and zyl_core.__path__ == [str(so.parent / "zyl_core")]
    # An __init__.py there would make `import zyl_core` load the folder instead.
    assert not (FOLDER / "__init__.py").exists()
    assert zyl_core.arrays is sys.modules["zyl_core.arrays"] and zyl_core.discovery is sys.modules["zyl_core.discovery"]


def test_the_installed_files_are_the_checkouts():
    installed = sorted(p.relative_to(FOLDER) for p in FOLDER.rglob("*.py"))
    assert installed == sorted(p.relative_to(SOURCES) for p in SOURCES.rglob("*.py"))
    for relative in installed:
        assert (FOLDER / relative).read_bytes() == (SOURCES / relative).read_bytes(), relative


@pytest.mark.parametrize("name", ["zyl_core.arrays", "zyl_core.discovery", "zyl_core.discovery.estimator"])
def test_module_lookup_gives_the_file(name):
    found = importlib.util.find_spec(name)
    assert found.name == name and pathlib.Path(found.origin).is_file()
    assert pathlib.Path(found.origin).is_relative_to(FOLDER)
    assert sys.modules[name].__file__ == found.origin


def test_getsource_reads_the_installed_file():
    source = inspect.getsource(FormulaRegressor)
    assert source.startswith("class FormulaRegressor:") and "\n    def fit(self, X, y" in source
    assert inspect.getsourcefile(Formula.sympy) == str(FOLDER / "discovery" / "formula.py")


def test_tracebacks_show_lines_after_the_line_cache_is_cleared():
    with pytest.raises(ValueError) as raised:
        FormulaRegressor().fit([[1.0, 2.0]], [1.0, 2.0])
    linecache.clearcache()
    frame = traceback.extract_tb(raised.value.__traceback__)[-1]
    assert pathlib.Path(frame.filename).parent == FOLDER / "discovery"
    assert frame.line and frame.line in pathlib.Path(frame.filename).read_text(encoding="utf-8")


def test_a_tracer_sees_the_files_it_would_measure():
    seen = set()

    def tracer(frame, event, arg):
        seen.add(frame.f_code.co_filename)
        return None

    sys.settrace(tracer)
    try:
        str(Formula(zyl_core.discovery._Formula((("var", 0),), 0.0), ["x"]))
    finally:
        sys.settrace(None)
    assert str(FOLDER / "discovery" / "formula.py") in seen


def test_reload_runs_the_file_again(python_in_subprocess):
    out = python_in_subprocess("""
        import importlib
        import zyl_core, zyl_core.discovery as d
        before = d.FormulaRegressor
        estimator = importlib.reload(d.estimator)
        again = importlib.reload(d)
        print(again is d, d.FormulaRegressor is estimator.FormulaRegressor is not before)
        print(zyl_core.discovery is d, d._fit.__module__)
    """)
    assert out.split() == ["True", "True", "True", "zyl_core._discovery"]


def copy_extension(into, with_folder):
    into.mkdir()
    shutil.copy2(zyl_core.__file__, into)
    if with_folder:
        shutil.copytree(FOLDER, into / "zyl_core", ignore=shutil.ignore_patterns("__pycache__"))


def test_a_copy_finds_its_own_folder(tmp_path, python_in_subprocess):
    copy_extension(tmp_path / "elsewhere", with_folder=True)
    out = python_in_subprocess(f"""
        import sys
        sys.path.insert(0, {str(tmp_path / "elsewhere")!r})
        import zyl_core, zyl_core.discovery
        print(zyl_core.__path__[0], zyl_core.discovery.__file__)
    """)
    assert out.split() == [str(tmp_path / "elsewhere" / "zyl_core"),
                           str(tmp_path / "elsewhere" / "zyl_core" / "discovery" / "__init__.py")]


def test_without_its_folder_the_import_says_to_reinstall(tmp_path, python_in_subprocess):
    copy_extension(tmp_path / "bare", with_folder=False)
    out = python_in_subprocess(f"""
        import sys
        sys.path.insert(0, {str(tmp_path / "bare")!r})
        try:
            import zyl_core
        except ImportError as e:
            print(e)
        print(sorted(m for m in sys.modules if m.startswith("zyl_core")))
    """)
    message, left = out.splitlines()
    assert message.startswith("zyl_core's Python files are missing: " + str(tmp_path / "bare" / "zyl_core"))
    assert "reinstall zyl_core" in message
    assert left == "[]"
