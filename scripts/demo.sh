#!/usr/bin/env bash
# The main job: sets up the machine if needed, then runs the demonstration.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bash "$root/scripts/setup.sh"
exec "$root/.venv/bin/python" "$root/examples/demo.py"
