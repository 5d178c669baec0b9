#!/usr/bin/env bash
# The owner import window with a previewed sheet, under Xvfb: docs/owner-import.png.
# Usage: scripts/screenshot-import.sh [build dir] (the build needs the bench folder).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
cmake --build "$build" --target import-window-shot
xvfb-run -a -s "-screen 0 1280x800x24" "$build"/bin/import-window-shot docs/owner-import.png
