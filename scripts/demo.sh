#!/usr/bin/env bash
# The main job: sets up what the demonstration needs, then runs it.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bash "$root/scripts/setup.sh" demo
exec "$root/.venv/bin/python" "$root/examples/demo.py"
