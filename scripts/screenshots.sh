#!/usr/bin/env bash
# Takes a picture of every window of the console into docs/screenshots/
# (one PNG per window, named after it), on a virtual X display with the
# ordinary scale and font. Rerun it after changing a window.
set -euo pipefail
cd "$(dirname "$0")/.."
make build
out="$PWD/docs/screenshots"
mkdir -p "$out"
PVELM_SCREENSHOT_DIR="$out" QT_QPA_PLATFORM=xcb \
    xvfb-run -a -s "-screen 0 1600x1200x24" build/tests/tst_app_layouts >/dev/null
ls "$out"
