#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Times the verification of a copy on a pair of loop devices with direct I/O (MiB each,
# 1 GiB unless given) against what it must cost at least: reading both partitions at once
# with two dd iflag=direct side by side (bs=20M). Beside them, Keldrun's fast mode with and
# without verification, whose difference is what verifying adds to a clone, and each
# partition read alone. The pass itself is vantrel-verify-bench (the engine's VerifyCopy
# on the two devices). The runs of one round are interleaved; the medians of RUNS rounds
# are shown with the ratios. The images live under BUILD/bench-verify; the loop devices
# are detached at the end.
#   bench/verify-pass.sh BUILD [RUNS] [MiB]
set -euo pipefail

build=$(cd "${1:?usage: verify-pass.sh BUILD [RUNS] [MiB]}" && pwd)
runs=${2:-5}
mib=${3:-1024}
machine=$build/bench-verify
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
cp "$machine/source.img" "$machine/dest.img"
if ! source_loop=$(losetup --find --show --direct-io=on "$machine/source.img" 2>/dev/null) ||
   ! dest_loop=$(losetup --find --show --direct-io=on "$machine/dest.img" 2>/dev/null); then
  echo "verification: skipped, this machine cannot attach loop devices (needs root and /dev/loop-control)"
  exit 0
fi
export VANTREL_SYSTEM_ROOT=$machine
"$build/bin/vantrel-mountvol" X: "$source_loop"
"$build/bin/vantrel-mountvol" Y: "$dest_loop"

# One timed run: appends its seconds to the file named by the first argument.
timed() {
  local into=$1 start end
  shift
  start=$EPOCHREALTIME
  "$@" </dev/null >/dev/null 2>"$machine/stderr.txt" || { echo "failed: $*" >&2; cat "$machine/stderr.txt" >&2; exit 1; }
  end=$EPOCHREALTIME
  awk -v s="$start" -v e="$end" 'BEGIN { printf "%.3f\n", e - s }' >>"$machine/$into"
}

keldrun() {
  timed "$1" "$build/bin/Keldrun" X: Y: FAT32 "1,2,3,4," 1 "$machine/Vantrel/" "$2"
  grep -q '^shutdown' "$machine/shutdown.log" || { echo "Keldrun did not complete" >&2; exit 1; }
  rm "$machine/shutdown.log"
}

for ((i = 0; i < runs; i++)); do
  timed verify "$build/bin/vantrel-verify-bench" "$source_loop" "$dest_loop"
  timed both sh -c "dd if='$source_loop' of=/dev/null bs=20M iflag=direct status=none &
                    dd if='$dest_loop' of=/dev/null bs=20M iflag=direct status=none; wait"
  timed source dd if="$source_loop" of=/dev/null bs=20M iflag=direct status=none
  timed dest dd if="$dest_loop" of=/dev/null bs=20M iflag=direct status=none
  keldrun plain 0
  keldrun verified 1
done
grep -q "^Verified => $((mib * 1048576))\$" "$machine/Vantrel/status.txt" || { echo "Keldrun did not verify" >&2; exit 1; }

median() { sort -n "$machine/$1" | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

added=$(awk -v a="$(median verified)" -v b="$(median plain)" 'BEGIN { printf "%.3f", a - b }')
echo "Verification on loop devices with direct I/O, $mib MiB, medians of $runs interleaved rounds:"
printf '  %-52s %7.3f s\n' "verification pass (vantrel-verify-bench)" "$(median verify)" \
       "two dd bs=20M iflag=direct side by side" "$(median both)" \
       "source read alone (dd)" "$(median source)" \
       "destination read alone (dd)" "$(median dest)" \
       "Keldrun fast mode" "$(median plain)" \
       "Keldrun fast mode, verified" "$(median verified)" \
       "  what verifying added to the clone" "$added"
echo "  verification / two dd side by side: $(ratio "$(median verify)" "$(median both)") (goal <= 1.1)"
echo "  added to the clone / two dd side by side: $(ratio "$added" "$(median both)")"
