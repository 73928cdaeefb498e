import os
import subprocess
import sys
import textwrap

import pytest


def run_python(code: str, **env: str) -> str:
    """Runs code in a fresh interpreter (so the worker pool starts anew) and
    returns its standard output."""
    full_env = {k: v for k, v in os.environ.items() if not k.startswith("RAYON_")}
    full_env.update(env)
    proc = subprocess.run(
        [sys.executable, "-c", textwrap.dedent(code)],
        env=full_env, capture_output=True, text=True, timeout=120,
    )
    assert proc.returncode == 0, proc.stderr
    return proc.stdout


@pytest.fixture
def python_in_subprocess():
    return run_python
