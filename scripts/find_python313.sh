# Sourced: find_python313 prints the path of a Python 3.13 interpreter:
# python3.13 on PATH, else a pyenv 3.13 install, else a system one.
find_python313() {
    local candidate
    for candidate in python3.13 "$(pyenv root 2>/dev/null)/versions"/3.13*/bin/python3.13 \
        "$HOME/.pyenv/versions"/3.13*/bin/python3.13 /usr/local/bin/python3.13 /usr/bin/python3.13; do
        if "$candidate" -c 'import sys; assert sys.version_info[:2] == (3, 13)' >/dev/null 2>&1; then
            echo "$candidate"
            return 0
        fi
    done
    echo "no Python 3.13 interpreter found (looked for python3.13 on PATH and in pyenv's versions)." >&2
    echo "Install Python 3.13 (for example 'pyenv install 3.13') and run this again." >&2
    return 1
}
