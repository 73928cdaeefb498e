#!/usr/bin/env bash
# Runs every test: the native unit tests (GoogleTest through ctest, then again
# under AddressSanitizer and UndefinedBehaviorSanitizer), the
# Python tests (pytest) and a type check of the stubs (mypy). With --slow,
# as in CI, also the Python tests marked slow, and the sanitizer run even
# when its test binary is the one that last ran clean.
set -euo pipefail
case "${1:-}" in
    --slow) selection=() sanitize=(--always) ;;
    "") selection=(-m "not slow") sanitize=() ;;
    *) echo "usage: bash scripts/test.sh [--slow]" >&2; exit 2 ;;
esac
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bash "$root/scripts/setup.sh" test
bin="$root/.venv/bin"

build="$root/build/native-tests"
"$bin/cmake" -S "$root" -B "$build" -G Ninja -DCMAKE_MAKE_PROGRAM="$bin/ninja" \
    -DZYL_BUILD_MODULE=OFF -DZYL_BUILD_TESTS=ON >/dev/null
"$bin/cmake" --build "$build" -j2
"$bin/ctest" --test-dir "$build" --output-on-failure -j2
bash "$root/scripts/sanitize.sh" "${sanitize[@]}"

cd "$root"
"$bin/python" -m pytest -q "${selection[@]}" tests/python
"$bin/python" -m mypy --strict tests/typing
