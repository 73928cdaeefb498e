#!/usr/bin/env bash
# Prepares a fresh machine: system packages, a Python 3.13 virtual
# environment in .venv, and zyl_core built and installed into it.
# Sourced by demo.sh and test.sh; safe to run again.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
venv="$root/.venv"

find_python313() {
    local candidate
    for candidate in python3.13 "$(pyenv root 2>/dev/null)/versions"/3.13*/bin/python3.13 \
        "$HOME/.pyenv/versions"/3.13*/bin/python3.13 /usr/local/bin/python3.13 /usr/bin/python3.13; do
        if "$candidate" -c 'import sys; assert sys.version_info[:2] == (3, 13)' >/dev/null 2>&1; then
            echo "$candidate"
            return 0
        fi
    done
    return 1
}

need_apt=()
command -v cmake >/dev/null 2>&1 || need_apt+=(cmake)
command -v g++ >/dev/null 2>&1 || need_apt+=(g++)
dpkg -s libgtest-dev >/dev/null 2>&1 || need_apt+=(libgtest-dev)
if [ ${#need_apt[@]} -gt 0 ]; then
    echo "setup: installing ${need_apt[*]} with apt-get" >&2
    apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${need_apt[@]}" >/dev/null
fi

if [ ! -x "$venv/bin/python" ]; then
    py="$(find_python313)" || {
        echo "setup: no Python 3.13 interpreter found (looked for python3.13 on PATH and in pyenv's versions)." >&2
        echo "setup: install Python 3.13 (for example 'pyenv install 3.13') and run this again." >&2
        exit 1
    }
    echo "setup: creating .venv from $py" >&2
    "$py" -m venv "$venv"
fi
"$venv/bin/python" -m pip install -q --disable-pip-version-check -r "$root/scripts/requirements-dev.txt"
echo "setup: building and installing zyl_core" >&2
"$venv/bin/python" -m pip install -q --disable-pip-version-check --no-build-isolation "$root"
