#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Times the reading of an NTFS volume's used space (vantrel-usedspace-bench) on a 1 GiB
# volume filled with files through ntfs-3g to 10 and 90 %, against copying 100 MiB of it
# with dd (bs=20M, direct I/O): the map is read before every copy of the used space, so it
# must cost little next to the copy. Loop devices with direct I/O, so that nothing comes
# from the page cache; the runs are interleaved and the medians of RUNS rounds shown.
# The images live under BUILD/bench-usedspace; the loop devices are detached at the end.
#   bench/usedspace-map.sh BUILD [RUNS]
set -euo pipefail

build=$(cd "${1:?usage: usedspace-map.sh BUILD [RUNS]}" && pwd)
runs=${2:-5}
machine=$build/bench-usedspace
loops=()

cleanup() {
  mountpoint -q "$machine/mnt" && umount "$machine/mnt"
  for loop in "${loops[@]}"; do
    losetup -d "$loop" 2>/dev/null || true
  done
  rm -rf "$machine"
}
trap cleanup EXIT

for tool in mkntfs ntfs-3g losetup; do
  command -v $tool >/dev/null || { echo "used-space map: skipped, $tool is missing"; exit 0; }
done
[ -w /dev/fuse ] || { echo "used-space map: skipped, this machine has no FUSE"; exit 0; }
rm -rf "$machine"
mkdir -p "$machine/mnt"
export VANTREL_SYSTEM_ROOT=$machine
dd if=/dev/urandom of="$machine/chunk" bs=1M count=4 status=none

bench="used-space map"
# shellcheck source-path=SCRIPTDIR source=ntfs-volumes.sh
source "$(dirname "$0")/ntfs-volumes.sh"

# The map's own time, as the program measured it around the reading alone.
mapped() {
  "$build/bin/vantrel-usedspace-bench" "$2" NTFS >"$machine/out.txt" 2>&1 ||
    { echo "failed: the map of $2" >&2; cat "$machine/out.txt" >&2; exit 1; }
  awk '{ print $1 }' "$machine/out.txt" >>"$machine/$1"
}

fill "$machine/fill10.img" 10
fill "$machine/fill90.img" 90
fallocate -l 1G "$machine/dest.img"
attach "$machine/fill10.img"
loop10=$attached
attach "$machine/fill90.img"
loop90=$attached
attach "$machine/dest.img"
dest=$attached

for ((i = 0; i < runs; i++)); do
  mapped map10 "$loop10"
  timed copy10 dd if="$loop10" of="$dest" bs=20M count=5 iflag=direct oflag=direct status=none
  mapped map90 "$loop90"
  timed copy90 dd if="$loop90" of="$dest" bs=20M count=5 iflag=direct oflag=direct status=none
done

median() { sort -n "$machine/$1" | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
ratio() { awk -v a="$(median "$1")" -v b="$(median "$2")" 'BEGIN { printf "%.3f", a / b }'; }

echo "Used-space map of a 1 GiB NTFS volume on a loop device with direct I/O, medians of $runs interleaved rounds:"
for fill in 10 90; do
  found=$("$build/bin/vantrel-usedspace-bench" "$(eval echo "\$loop$fill")" NTFS | cut -d' ' -f2-)
  printf '  %2d %% full: map %7.4f s (%s); dd copy of 100 MiB %7.4f s; map / copy %s\n' \
         "$fill" "$(median "map$fill")" "$found" "$(median "copy$fill")" "$(ratio "map$fill" "copy$fill")"
done
