#!/usr/bin/env bash
# Builds the native unit tests with AddressSanitizer and
# UndefinedBehaviorSanitizer and runs them: any invalid memory access, leak
# or undefined operation fails the run. Then builds the extension module the
# same way and runs the fuzz harness of zyl_core.arrays and
# zyl_core.discovery against it for a short, fixed time. A native test binary
# that is bit for bit the one that last ran clean is not run again, unless
# --always is given. Needs what scripts/setup.sh installs (cmake, ninja and
# numpy in .venv, GoogleTest).
set -euo pipefail
always="${1:-}"
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build/sanitize"
start=$SECONDS

# -O0 compiles fastest and the tests still take seconds; frame pointers give readable
# reports; any undefined behaviour ends the run instead of being reported
# and ignored.
flags="-O0 -g -fno-omit-frame-pointer -fsanitize=address,undefined -fno-sanitize-recover=all"
"$root/.venv/bin/cmake" -S "$root" -B "$build" -G Ninja -DCMAKE_MAKE_PROGRAM="$root/.venv/bin/ninja" \
    -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="$flags" \
    -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" \
    -DZYL_BUILD_MODULE=OFF -DZYL_BUILD_TESTS=ON >/dev/null
"$root/.venv/bin/cmake" --build "$build" -j2
binary_hash="$(sha256sum "$build/zyl_native_tests" | cut -d' ' -f1)"
if [ "$always" != --always ] && [ "$(cat "$build/.clean-run" 2>/dev/null)" = "$binary_hash" ]; then
    echo "sanitize: the native tests are unchanged since they last ran clean under ASan + UBSan; not run again" >&2
else
    rm -f "$build/.clean-run"
    # The one test left out asks for an allocation of 2^63 bytes and expects
    # std::bad_alloc; ASan's allocator ends the process on such a request
    # instead of letting operator new throw.
    ASAN_OPTIONS="detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1" \
    UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
        "$build/zyl_native_tests" --gtest_brief=1 \
        --gtest_filter=-SimulatePulses.RefusesTrajectoriesThatCannotBeHeld
    echo "$binary_hash" >"$build/.clean-run"
    echo "sanitize: native tests clean under ASan + UBSan in $((SECONDS - start)) s" >&2
fi

# The module, built apart so that the installed one stays as it is; -O1 to
# give the fuzz run cases enough. Python itself is not instrumented: the
# sanitizer runtimes are preloaded into it, its allocator is made plain
# malloc so that objects are watched too, and leaks are not reported (the
# interpreter keeps its own allocations to the end).
module_build="$root/build/sanitize-module"
module_flags="-O1 -g -fno-omit-frame-pointer -fsanitize=address,undefined -fno-sanitize-recover=all"
"$root/.venv/bin/cmake" -S "$root" -B "$module_build" -G Ninja -DCMAKE_MAKE_PROGRAM="$root/.venv/bin/ninja" \
    -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="$module_flags" \
    -DCMAKE_MODULE_LINKER_FLAGS="-fsanitize=address,undefined" -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" \
    -DPython_EXECUTABLE="$root/.venv/bin/python" -DZYL_BUILD_MODULE=ON -DZYL_BUILD_TESTS=OFF >/dev/null
"$root/.venv/bin/cmake" --build "$module_build" -j2
# The extension takes its Python files from the folder beside it.
ln -sfn "$root/src/zyl_core" "$module_build/zyl_core"
start=$SECONDS
PYTHONPATH="$module_build" PYTHONMALLOC=malloc \
LD_PRELOAD="$(g++ -print-file-name=libasan.so) $(g++ -print-file-name=libubsan.so)" \
ASAN_OPTIONS="detect_leaks=0:detect_stack_use_after_return=1" \
UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
    "$root/.venv/bin/python" "$root/tests/fuzz/fuzz_namespaces.py" --seconds "${ZYL_FUZZ_SECONDS:-20}"
echo "sanitize: fuzzed zyl_core.arrays and zyl_core.discovery under ASan + UBSan in $((SECONDS - start)) s" >&2
