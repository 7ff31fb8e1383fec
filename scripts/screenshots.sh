#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Screenshots of Vantrel's and Tallisk's dialogs under Xvfb, on a simulated machine under
# BUILD/screenshots/machine: C: (the Windows drive) and D: NTFS of 64 MiB, E: NTFS of
# 96 MiB, F: FAT32 of 128 MiB. The clone dialog copies D: to E:. Images: BUILD/screenshots.
#   scripts/screenshots.sh BUILD
set -euo pipefail

build=$(cd "${1:?usage: screenshots.sh BUILD}" && pwd)
out=$build/screenshots
machine=$out/machine
rm -rf "$out"
mkdir -p "$machine/Vantrel"
export VANTREL_SYSTEM_ROOT=$machine

# shellcheck source-path=SCRIPTDIR source=images.sh
source "$(dirname "$0")/images.sh"
make_ntfs "$machine/C.img" 64M SYSTEM
make_ntfs "$machine/D.img" 64M SOURCE
make_ntfs "$machine/E.img" 96M TARGET
make_fat32 "$machine/F.img" 128M SPARE
for letter in C D E F; do
  "$build/bin/vantrel-mountvol" "$letter:" "$machine/$letter.img"
done
"$build/bin/vantrel-reg" add 'HKLM\Software\Tembric\Vantrel' /v Path /t REG_SZ /d "$machine/Vantrel/" /f >/dev/null

# Tallisk writes its report into the folder it is started from.
cd "$machine"
xvfb-run -a -s "-screen 0 1024x768x24" "$build/bin/vantrel-screenshots" "$out"
ls -1 "$out"/*.png
