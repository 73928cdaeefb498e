#!/usr/bin/env bash
# Prepares the machine for one of the README's commands, `demo` or `test`:
# the system packages that command needs, a Python 3.13 virtual environment
# in .venv with that command's Python packages, and zyl_core built and
# installed into it. Run by demo.sh and test.sh. A second run with nothing
# changed installs and builds nothing: what was installed is recorded in
# .venv as hashes of the requirement files and of the module's sources.
set -euo pipefail
purpose="${1:-}"
case "$purpose" in
    demo | test) ;;
    *) echo "usage: bash scripts/setup.sh demo|test" >&2; exit 2 ;;
esac
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
venv="$root/.venv"

source "$root/scripts/find_python313.sh"

# apt-get needs root: use sudo when it works without a password, otherwise
# stop and say what to run rather than fail half-way through an install.
install_system_packages() {
    local -a as_root=()
    if ! command -v apt-get >/dev/null 2>&1; then
        echo "setup: missing system packages: $*. Install them (or your system's equivalents) and run this again." >&2
        exit 1
    fi
    if [ "$(id -u)" -ne 0 ]; then
        if command -v sudo >/dev/null 2>&1 && sudo -n true >/dev/null 2>&1; then
            as_root=(sudo -n)
        else
            echo "setup: missing system packages: $*. This needs root; run" >&2
            echo "    sudo apt-get update && sudo apt-get install -y $*" >&2
            echo "setup: and then this command again." >&2
            exit 1
        fi
    fi
    echo "setup: installing $* with apt-get" >&2
    "${as_root[@]}" apt-get update -qq
    "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$@" >/dev/null
}

# Content hash of the named files and directories (relative to the root).
content_hash() {
    (cd "$root" && find "$@" -type f -print0 | LC_ALL=C sort -z | xargs -0 sha256sum) | sha256sum | cut -d' ' -f1
}

# Runs the command only when the key differs from the one recorded under
# the stamp's name, and records the key once the command has succeeded.
unless_recorded() {
    local stamp="$venv/.setup-$1" key="$2"
    shift 2
    if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$key" ]; then return 0; fi
    "$@"
    echo "$key" >"$stamp"
}

need_apt=()
command -v g++ >/dev/null 2>&1 || need_apt+=(g++)
if [ "$purpose" = test ]; then
    dpkg -s libgtest-dev >/dev/null 2>&1 || need_apt+=(libgtest-dev)
fi
[ ${#need_apt[@]} -eq 0 ] || install_system_packages "${need_apt[@]}"

if [ ! -x "$venv/bin/python" ]; then
    py="$(find_python313)"
    echo "setup: creating .venv from $py" >&2
    "$py" -m venv "$venv"
fi
pip=("$venv/bin/python" -m pip install -q --disable-pip-version-check)

requirements_key="$(content_hash scripts/requirements-demo.txt scripts/requirements-test.txt)"
unless_recorded "requirements-$purpose" "$requirements_key" "${pip[@]}" -r "$root/scripts/requirements-$purpose.txt"

build_module() {
    echo "setup: building and installing zyl_core" >&2
    "${pip[@]}" --no-build-isolation "$root"
}
sources_key="$(content_hash CMakeLists.txt pyproject.toml README.md LICENSE src stubs bench/log_table/offsets.txt)"
unless_recorded module "$sources_key" build_module
