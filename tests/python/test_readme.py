"""The README's examples print what the module prints.

Every ```python block of README.md that holds `>>>` lines runs as a doctest,
with `z` bound to zyl_core as the README's first example binds it.
"""
import doctest
import pathlib
import re

import pytest

import zyl_core

README = pathlib.Path(__file__).resolve().parents[2] / "README.md"
FENCED_PYTHON = re.compile(r"^```python\n(.*?)^```$", re.DOTALL | re.MULTILINE)


def doctest_blocks():
    text = README.read_text(encoding="utf-8")
    for match in FENCED_PYTHON.finditer(text):
        if re.search(r"^>>> ", match.group(1), re.MULTILINE):
            yield text.count("\n", 0, match.start(1)) + 1, match.group(1)


BLOCKS = list(doctest_blocks())


def test_readme_has_examples_to_run():
    assert len(BLOCKS) >= 5


def test_readme_commands_name_files_that_exist():
    commands = re.findall(r"^    (?:bash|\.venv/bin/python) (\S+)", README.read_text(encoding="utf-8"), re.MULTILINE)
    assert "scripts/demo.sh" in commands and "scripts/test.sh" in commands
    assert [c for c in commands if not (README.parent / c).is_file()] == []


@pytest.mark.parametrize("line, source", BLOCKS, ids=[f"README.md:{line}" for line, _ in BLOCKS])
def test_readme_example(line, source):
    np = pytest.importorskip("numpy") if "np." in source else None
    test = doctest.DocTestParser().get_doctest(
        source, {"z": zyl_core, "np": np}, f"README.md:{line}", str(README), line - 1)
    runner = doctest.DocTestRunner(optionflags=doctest.ELLIPSIS)
    report = []
    if np is None:
        runner.run(test, out=report.append)
    else:
        # Arrays print the same whatever options an earlier test left behind.
        with np.printoptions(precision=8, linewidth=75, legacy=False):
            runner.run(test, out=report.append)
    assert runner.failures == 0, "".join(report)
