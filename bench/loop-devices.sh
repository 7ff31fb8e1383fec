#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Times Keldrun on a pair of loop devices with direct I/O, the nearest thing to real disks
# a test machine has, against dd and GNU ddrescue on the same pair in the same run:
#   fast mode: Keldrun against dd bs=20M iflag=direct oflag=direct and ddrescue -d -D -c 40960
#   slow mode: Keldrun against ddrescue -d -D (its own 64 KiB clusters) and Keldrun's fast mode
#   verification: the pass alone (vantrel-verify-bench, the engine's VerifyCopy on the pair
#   just copied) against both partitions read at once by two dd bs=20M iflag=direct side
#   by side, its least cost; and Keldrun's fast mode verified, whose difference from the
#   plain one is what verifying adds to a clone
# and the source read alone, the destination written alone, and both at once: the longer
# of the first two is what a copy that reads and writes at once can reach at best where
# reads and writes do not share the device's bandwidth; the third shows whether they do.
# The runs of one round are interleaved; the medians of RUNS rounds are shown with the
# ratios and peak memory.
# The images live under BUILD/bench-loop; the loop devices are detached at the end.
#   bench/loop-devices.sh BUILD [RUNS] [MiB]
set -euo pipefail

build=$(cd "${1:?usage: loop-devices.sh BUILD [RUNS] [MiB]}" && pwd)
runs=${2:-5}
mib=${3:-1024}
machine=$build/bench-loop
source_loop="" dest_loop=""

cleanup() {
  for loop in "$source_loop" "$dest_loop"; do
    if [ -n "$loop" ]; then losetup -d "$loop" 2>/dev/null || true; fi
  done
  rm -rf "$machine"
}
trap cleanup EXIT

rm -rf "$machine"
mkdir -p "$machine/Vantrel"
dd if=/dev/urandom of="$machine/source.img" bs=1M count="$mib" status=none
fallocate -l "${mib}M" "$machine/dest.img"
if ! source_loop=$(losetup --find --show --direct-io=on "$machine/source.img" 2>/dev/null) ||
   ! dest_loop=$(losetup --find --show --direct-io=on "$machine/dest.img" 2>/dev/null); then
  echo "loop devices: skipped, this machine cannot attach loop devices (needs root and /dev/loop-control)"
  exit 0
fi
export VANTREL_SYSTEM_ROOT=$machine
"$build/bin/vantrel-mountvol" X: "$source_loop"
"$build/bin/vantrel-mountvol" Y: "$dest_loop"

# One timed run: appends "seconds peak-KiB" to the file named by the first argument.
timed() {
  local into=$1 start end
  shift
  start=$EPOCHREALTIME
  /usr/bin/time -v -o "$machine/time.txt" "$@" </dev/null >/dev/null 2>&1 ||
    { echo "failed: $*" >&2; cat "$machine/time.txt" >&2; exit 1; }
  end=$EPOCHREALTIME
  awk -v s="$start" -v e="$end" -F': ' '/Maximum resident set size/ { kib = $2 } END { printf "%.3f %d\n", e - s, kib }' \
      "$machine/time.txt" >>"$machine/$into"
}

keldrun() { # NAME FASTMODE [VERIFY]
  timed "$1" "$build/bin/Keldrun" X: Y: FAT32 "1,2,3,4," "$2" "$machine/Vantrel/" "${@:3}"
  grep -q '^shutdown' "$machine/shutdown.log" || { echo "Keldrun did not complete" >&2; exit 1; }
  rm "$machine/shutdown.log"
}

ddrescue_run() {
  rm -f "$machine/mapfile"
  timed "$1" ddrescue -f -q -d -D "${@:2}" "$source_loop" "$dest_loop" "$machine/mapfile"
}

for ((i = 0; i < runs; i++)); do
  keldrun fast 1
  # The destination holds the copy until it is written with zeros below.
  timed verify "$build/bin/vantrel-verify-bench" "$source_loop" "$dest_loop"
  timed read-both sh -c "dd if='$source_loop' of=/dev/null bs=20M iflag=direct status=none &
                         dd if='$dest_loop' of=/dev/null bs=20M iflag=direct status=none; wait"
  keldrun verified 1 1
  timed dd dd if="$source_loop" of="$dest_loop" bs=20M iflag=direct oflag=direct status=none
  ddrescue_run ddrescue-fast -c 40960
  keldrun slow 0
  ddrescue_run ddrescue-slow
  timed read dd if="$source_loop" of=/dev/null bs=20M iflag=direct status=none
  timed write dd if=/dev/zero of="$dest_loop" bs=20M count=$((mib / 20)) oflag=direct status=none
  timed both sh -c "dd if='$source_loop' of=/dev/null bs=20M iflag=direct status=none &
                    dd if=/dev/zero of='$dest_loop' bs=20M count=$((mib / 20)) oflag=direct status=none; wait"
done
keldrun check 1 1
cmp -s "$source_loop" "$dest_loop" || { echo "the copy differs from its source" >&2; exit 1; }
grep -q "^Verified => $((mib << 20))\$" "$machine/Vantrel/status.txt" || { echo "Keldrun did not verify" >&2; exit 1; }

median() { awk '{ print $1 }' "$machine/$1" | sort -n |
           awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
peak() { awk '{ print $2 }' "$machine/$1" | sort -n | tail -n 1; }
ratio() { awk -v a="$(median "$1")" -v b="$(median "$2")" 'BEGIN { printf "%.2f", a / b }'; }

echo "Loop devices with direct I/O, $mib MiB, medians of $runs interleaved rounds:"
printf '  %-40s %7.3f s  peak %6d KiB\n' "Keldrun fast mode" "$(median fast)" "$(peak fast)" \
       "dd bs=20M iflag=direct oflag=direct" "$(median dd)" "$(peak dd)" \
       "ddrescue -d -D -c 40960" "$(median ddrescue-fast)" "$(peak ddrescue-fast)" \
       "Keldrun slow mode" "$(median slow)" "$(peak slow)" \
       "ddrescue -d -D (64 KiB clusters)" "$(median ddrescue-slow)" "$(peak ddrescue-slow)" \
       "source read alone" "$(median read)" "$(peak read)" \
       "destination written alone" "$(median write)" "$(peak write)" \
       "source read while destination written" "$(median both)" "$(peak both)" \
       "verification pass (vantrel-verify-bench)" "$(median verify)" "$(peak verify)" \
       "both read at once (two dd iflag=direct)" "$(median read-both)" "$(peak read-both)" \
       "Keldrun fast mode, verified" "$(median verified)" "$(peak verified)"
echo "  fast mode / dd: $(ratio fast dd) (goal <= 0.8); fast mode / ddrescue: $(ratio fast ddrescue-fast)"
echo "  slow mode / ddrescue: $(ratio slow ddrescue-slow) (goal <= 1.5); slow mode / fast mode: $(ratio slow fast) (goal <= 1.5)"
added=$(awk -v a="$(median verified)" -v b="$(median fast)" 'BEGIN { printf "%.3f", a - b }')
echo "  verification / both read at once: $(ratio verify read-both) (goal <= 1.1); verifying added $added s to the" \
     "clone, $(awk -v a="$added" -v b="$(median read-both)" 'BEGIN { printf "%.2f", a / b }') x both read at once"
