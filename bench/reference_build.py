"""The previous implementation of zyl_core, built from an earlier commit into
a scratch directory, so that benchmarks and the result recorder can run it
side by side with the current build (each in its own interpreter).

    from reference_build import reference_site
    site = reference_site()          # builds once, then reuses the build
    env = dict(os.environ, PYTHONPATH=str(site))
"""
import os
import subprocess
import sys
import tarfile
import tempfile
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
# The last commit before values were kept per pool member.
REFERENCE_COMMIT = "7f2a50e"
SCRATCH = Path(os.environ.get("ZYL_REFERENCE_DIR", Path(tempfile.gettempdir()) / "zyl_core_reference"))


def reference_site(commit: str = REFERENCE_COMMIT, scalar_libm: bool = False) -> Path:
    """Directory holding the module built from `commit` (built on first use);
    with scalar_libm, built with its vector libm kernels left out."""
    commit = subprocess.run(["git", "-C", str(ROOT), "rev-parse", "--short", commit], check=True,
                            capture_output=True, text=True).stdout.strip()
    name = f"{commit}-scalar-libm" if scalar_libm else commit
    site = SCRATCH / name / "site"
    stamp = site / ".built"
    if stamp.exists():
        return site
    src = SCRATCH / name / "src"
    src.mkdir(parents=True, exist_ok=True)
    archive = subprocess.run(["git", "-C", str(ROOT), "archive", "--format=tar", commit],
                             check=True, capture_output=True).stdout
    with tempfile.TemporaryFile() as f:
        f.write(archive)
        f.seek(0)
        with tarfile.open(fileobj=f) as tar:
            tar.extractall(src, filter="data")
    print(f"building zyl_core at {name} into {site} ...", file=sys.stderr, flush=True)
    options = ["-C", "cmake.define.ZYL_VECTOR_LIBM=OFF"] if scalar_libm else []
    subprocess.run([sys.executable, "-m", "pip", "install", "-q", "--disable-pip-version-check",
                    "--no-build-isolation", "--no-deps", *options, "--target", str(site), str(src)], check=True)
    stamp.touch()
    return site


def environment(site: Path | None, **extra: str) -> dict[str, str]:
    """Environment for a child interpreter that imports the build in `site`
    (None: the current build installed in this interpreter)."""
    env = {k: v for k, v in os.environ.items() if not k.startswith("RAYON_")}
    if site is not None:
        env["PYTHONPATH"] = str(site)
    env.update(extra)
    return env
