#!/usr/bin/env bash
# Runs every test: the native unit tests (GoogleTest through ctest, then again
# under AddressSanitizer and UndefinedBehaviorSanitizer), the
# Python tests (pytest) and a type check of the stubs (mypy).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bash "$root/scripts/setup.sh"
py="$root/.venv/bin/python"

build="$root/build/native-tests"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_MAKE_PROGRAM="$root/.venv/bin/ninja" \
    -DZYL_BUILD_MODULE=OFF -DZYL_BUILD_TESTS=ON >/dev/null
cmake --build "$build" -j2
ctest --test-dir "$build" --output-on-failure -j2
bash "$root/scripts/sanitize.sh"

cd "$root"
"$py" -m pytest -q tests/python
"$py" -m mypy --strict tests/typing
