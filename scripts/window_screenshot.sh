#!/usr/bin/env bash
# Pictures the main window on a virtual X server (Debian package xvfb) into
# docs/window.png, for the README.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh
HALVARO_WINDOW_SCREENSHOT="$PWD/docs/window.png" QT_QPA_PLATFORM=xcb \
  xvfb-run -a -s "-screen 0 800x300x24 -dpi 96" \
  build/tests/test_app --gtest_filter=WindowScreenshot.*
echo "wrote docs/window.png"
