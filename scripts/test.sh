#!/usr/bin/env bash
# Runs every test: the native unit tests (GoogleTest through ctest, then again
# under AddressSanitizer and UndefinedBehaviorSanitizer, with a short fuzz run
# of the module), the Python tests (pytest) and a type check of the stubs
# (mypy). The sanitizer run is skipped when its test binary is bit for bit the
# one that last ran clean. --quick leaves out the Python tests marked slow, for
# a developer's quicker round.
set -euo pipefail
case "${1:-}" in
    "") selection=() ;;
    --quick) selection=(-m "not slow") ;;
    *) echo "usage: bash scripts/test.sh [--quick]" >&2; exit 2 ;;
esac
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bash "$root/scripts/setup.sh" test
bin="$root/.venv/bin"

build="$root/build/native-tests"
"$bin/cmake" -S "$root" -B "$build" -G Ninja -DCMAKE_MAKE_PROGRAM="$bin/ninja" \
    -DZYL_BUILD_MODULE=OFF -DZYL_BUILD_TESTS=ON >/dev/null
"$bin/cmake" --build "$build" -j2
"$bin/ctest" --test-dir "$build" --output-on-failure -j2
bash "$root/scripts/sanitize.sh"

cd "$root"
"$bin/python" -m pytest -q "${selection[@]}" tests/python
"$bin/python" -m mypy --strict tests/typing
