#!/usr/bin/env bash
# Clones a real NTFS partition on a simulated machine under BUILD/demo: X: is a 64 MiB NTFS
# image, Y: a 96 MiB one; Keldrun copies X: onto Y: in fast mode with Y:'s size field,
# as a boot-time clone would. Shows the report, the restart it asked for, and checks that
# the copy differs from X: only in the size field (bytes 40 to 47 of sector 0).
#   scripts/demo.sh BUILD
set -euo pipefail

build=$(cd "${1:?usage: demo.sh BUILD}" && pwd)
machine=$build/demo
rm -rf "$machine"
mkdir -p "$machine/Vantrel"
export VANTREL_SYSTEM_ROOT=$machine

source "$(dirname "$0")/images.sh"
make_ntfs "$machine/X.img" 64M SOURCE
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
echo "== Check: the copy against X:"
source_size=$(stat -c %s "$machine/X.img")
# cmp -l lists differing bytes with 1-based offsets.
differing=$(cmp -l -n "$source_size" "$machine/X.img" "$machine/Y.img" | awk '{print $1 - 1}' | xargs || true)
outside=$(for offset in $differing; do [ "$offset" -ge 40 ] && [ "$offset" -le 47 ] || echo "$offset"; done)
copied=$(od -An -tu1 -j40 -N8 "$machine/Y.img" | xargs | tr ' ' ',')
echo "offsets of the bytes that differ: ${differing:-none}"
echo "bytes 40 to 47 of the copy: $copied (Y:'s size field was $list)"
if [ -z "$outside" ] && [ "$copied" = "$list" ]; then
  echo "OK: the copy differs from X: only in bytes 40 to 47 of sector 0, which hold Y:'s size field."
else
  echo "FAILED: the copy differs from X: outside the size field, at: $outside" >&2
  exit 1
fi
