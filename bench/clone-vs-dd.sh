#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Times Keldrun against dd on image files of a simulated machine under BUILD/bench:
#   fast mode on a 1 GiB pair against dd bs=20M, slow mode on a 32 MiB pair against
#   dd bs=512, both dd runs with conv=fsync (Keldrun flushes the copy before it is done).
# Prints the median wall time of RUNS alternating runs of each, the ratio ours/dd and the
# peak memory (maximum resident set size) of each. A third line times fast mode with a
# report folder that does not exist: Keldrun then writes no status.txt, which shows what
# the report's line per block (flushed to disk, on the same file system as the images
# here) costs on top of the copy itself.
#   bench/clone-vs-dd.sh BUILD [RUNS]
set -euo pipefail

build=$(cd "${1:?usage: clone-vs-dd.sh BUILD [RUNS]}" && pwd)
runs=${2:-5}
machine=$build/bench
rm -rf "$machine"
mkdir -p "$machine/Vantrel"
export VANTREL_SYSTEM_ROOT=$machine
keldrun=$build/bin/Keldrun

# Source with incompressible content; destination allocated on disk, so neither side of a
# comparison pays for allocating blocks.
make_pair() {
  dd if=/dev/urandom of="$machine/$1-source.img" bs=1M count="$2" status=none
  fallocate -l "$2M" "$machine/$1-dest.img"
}

# One timed run: prints "seconds peak-KiB" (wall time from the shell's microsecond clock,
# peak memory from /usr/bin/time).
timed() {
  local start=$EPOCHREALTIME end
  /usr/bin/time -v -o "$machine/time.txt" "$@" </dev/null >/dev/null 2>&1 ||
    { echo "failed: $*" >&2; cat "$machine/time.txt" >&2; exit 1; }
  end=$EPOCHREALTIME
  awk -v s="$start" -v e="$end" -F': ' '/Maximum resident set size/ { kib = $2 } END { printf "%.3f %d\n", e - s, kib }' \
      "$machine/time.txt"
}

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# compare NAME MiB FASTMODE BLOCKSIZE REPORTFOLDER
compare() {
  local name=$1 mib=$2 fast=$3 bs=$4 report=$5
  make_pair "$name" "$mib"
  "$build/bin/vantrel-mountvol" X: "$machine/$name-source.img"
  "$build/bin/vantrel-mountvol" Y: "$machine/$name-dest.img"
  local ours=() theirs=() ourPeak=0 theirPeak=0 result
  for ((i = 0; i < runs; i++)); do
    result=$(timed "$keldrun" X: Y: FAT32 "1,2,3,4," "$fast" "$report")
    grep -q '^shutdown' "$machine/shutdown.log" || { echo "Keldrun did not complete" >&2; exit 1; }
    rm "$machine/shutdown.log"
    ours+=("${result% *}"); ourPeak=${result#* }
    result=$(timed dd if="$machine/$name-source.img" of="$machine/$name-dest.img" bs="$bs" conv=fsync,notrunc status=none)
    theirs+=("${result% *}"); theirPeak=${result#* }
  done
  cmp -s "$machine/$name-source.img" "$machine/$name-dest.img" || { echo "the copy differs from its source" >&2; exit 1; }
  local a b
  a=$(printf '%s\n' "${ours[@]}" | median)
  b=$(printf '%s\n' "${theirs[@]}" | median)
  printf '%-44s Keldrun %7.3f s  dd bs=%-4s %7.3f s  ratio %.2f   peak memory: Keldrun %6d KiB, dd %6d KiB\n' \
         "$name ($mib MiB, $runs runs):" "$a" "$bs" "$b" "$(awk -v a="$a" -v b="$b" 'BEGIN { print a / b }')" \
         "$ourPeak" "$theirPeak"
  "$build/bin/vantrel-mountvol" X: /d
  "$build/bin/vantrel-mountvol" Y: /d
  rm -f "$machine/$name-source.img" "$machine/$name-dest.img"
}

echo "Image files, median wall time; goals: fast mode ratio <= 1.0, slow mode ratio <= 1.5"
compare "fast mode" 1024 1 20M "$machine/Vantrel/"
compare "slow mode" 32 0 512 "$machine/Vantrel/"
compare "fast mode, no status.txt" 1024 1 20M "$machine/missing/"
rm -rf "$machine"
