#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Starts Vantrel on the demo machine of `make demo` (BUILD/demo; made first when missing),
# with its install folder BUILD/demo/Vantrel/. Vantrel is a windowed program: a display
# is needed.
#   scripts/run.sh BUILD
set -euo pipefail

build=$(cd "${1:?usage: run.sh BUILD}" && pwd)
machine=$build/demo
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "make run: there is no display (DISPLAY and WAYLAND_DISPLAY are not set), and Vantrel needs one." >&2
  echo "Run it from a desktop session, or look at its dialogs with: make screenshots" >&2
  exit 1
fi
if [ ! -f "$machine/X.img" ]; then
  echo "== Making the demo machine first (make demo)"
  "$(dirname "$0")/demo.sh" "$build"
fi
export VANTREL_SYSTEM_ROOT=$machine
"$build/bin/vantrel-reg" add 'HKLM\Software\Tembric\Vantrel' /v Path /t REG_SZ /d "$machine/Vantrel/" /f >/dev/null
echo "== Vantrel on the simulated machine $machine"
"$build/bin/vantrel-mountvol"
exec "$build/bin/Vantrel"
