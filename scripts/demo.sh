#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Clones a real NTFS partition on a simulated machine under BUILD/demo: X: is a 64 MiB NTFS
# image with a file in it, Y: a 96 MiB one; Keldrun copies X: onto Y: in fast mode with
# Y:'s size field, as a boot-time clone would. Shows the report, the restart it asked for,
# and checks that the copy is a sound NTFS volume of Y:'s size (ntfsfix, ntfsresize) that
# announces it in bytes 40 to 47 of sector 0 and holds X:'s file unchanged.
#   scripts/demo.sh BUILD
set -euo pipefail

build=$(cd "${1:?usage: demo.sh BUILD}" && pwd)
machine=$build/demo
rm -rf "$machine"
mkdir -p "$machine/Vantrel"
export VANTREL_SYSTEM_ROOT=$machine

# shellcheck source-path=SCRIPTDIR source=images.sh
source "$(dirname "$0")/images.sh"
make_ntfs "$machine/X.img" 64M SOURCE
head -c 3000000 /dev/urandom > "$machine/file.bin"
ntfscp "$machine/X.img" "$machine/file.bin" file.bin
make_ntfs "$machine/Y.img" 96M TARGET
"$build/bin/vantrel-mountvol" X: "$machine/X.img"
"$build/bin/vantrel-mountvol" Y: "$machine/Y.img"
echo "== Drives of the simulated machine ($machine)"
"$build/bin/vantrel-mountvol"

# The size-field list of Y: as the volume probe gives it: bytes 40 to 47 of its boot sector.
list=$(od -An -tu1 -j40 -N8 "$machine/Y.img" | xargs | tr ' ' ',')
echo
echo "== Keldrun X: Y: NTFS $list 1 $machine/Vantrel/"
printf '\n' | "$build/bin/Keldrun" X: Y: NTFS "$list" 1 "$machine/Vantrel/"

echo
echo "== Report ($machine/Vantrel/status.txt)"
cat "$machine/Vantrel/status.txt"
echo
echo "== Restart requested ($machine/shutdown.log)"
cat "$machine/shutdown.log"

echo
echo "== Check: the copy on Y:"
copied=$(od -An -tu1 -j40 -N8 "$machine/Y.img" | xargs | tr ' ' ',')
echo "bytes 40 to 47 of the copy: $copied (Y:'s size field was $list)"
failed=""
[ "$copied" = "$list" ] || failed="$failed size-field"
ntfsfix --no-action "$machine/Y.img" >"$machine/ntfsfix.txt" 2>&1 || failed="$failed ntfsfix"
tail -n 1 "$machine/ntfsfix.txt"
# --force: the grown copy is marked for a check at Windows' next start, which these tools
# otherwise refuse.
ntfsresize --info --force --no-progress-bar "$machine/Y.img" >"$machine/ntfsresize.txt" 2>&1 || failed="$failed ntfsresize"
grep -E "Current (volume|device) size" "$machine/ntfsresize.txt"
ntfscat --force "$machine/Y.img" file.bin 2>/dev/null | cmp -s - "$machine/file.bin" || failed="$failed file"
if [ -z "$failed" ]; then
  echo "OK: the copy is a sound NTFS volume of Y:'s size, announced in bytes 40 to 47, with X:'s file unchanged."
else
  echo "FAILED:$failed" >&2
  exit 1
fi
