#!/usr/bin/env bash
# Quick start: installs what is missing, builds, and starts the desktop program.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh build/release
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  cat >&2 <<MSG
No display is available, so the desktop program cannot open its window.
Everything is built; the console program works without a display:
  build/release/bin/jvs --help
  build/release/bin/jvs convert terv210 samples/qmx210-coords.txt
Or start the window on a virtual display:  xvfb-run -a build/release/bin/jvs-transfer
MSG
  exit 1
fi
# The help file is opened from the working directory, as the program expects.
cd build/release/bin
exec ./jvs-transfer "$@"
