#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Times a slow-mode clone run through Vantrel's worker and dialog (vantrel-dialog-bench, on
# the offscreen window system) against Keldrun in slow mode on the same 256 MiB pair of
# image files, under BUILD/bench-dialog. Prints medians of RUNS alternating runs: each
# program's wall time, the clone alone as the dialog bench measures it (without starting
# the window system), and each program's processor time (user + system), which the disk's
# write-back does not blur. Goal: dialog / Keldrun <= 1.5.
#   bench/dialog-vs-keldrun.sh BUILD [RUNS]
set -euo pipefail

build=$(cd "${1:?usage: dialog-vs-keldrun.sh BUILD [RUNS]}" && pwd)
runs=${2:-5}
bench=$build/bin/vantrel-dialog-bench
[ -x "$bench" ] || { echo "dialog bench: $bench is not built (needs Qt)"; exit 0; }
machine=$build/bench-dialog
rm -rf "$machine"
mkdir -p "$machine/Vantrel" "$machine/images"
export VANTREL_SYSTEM_ROOT=$machine QT_QPA_PLATFORM=offscreen
mib=256

dd if=/dev/urandom of="$machine/images/source.img" bs=1M count=$mib status=none
fallocate -l ${mib}M "$machine/images/dest.img"
"$build/bin/vantrel-mountvol" X: "$machine/images/source.img"
"$build/bin/vantrel-mountvol" Y: "$machine/images/dest.img"

# One run, after the previous one's writes have reached the disk: prints "wall cpu", the
# wall time from the shell's microsecond clock, the processor time in hundredths.
timed() {
  sync
  local start=$EPOCHREALTIME end
  /usr/bin/time -f '%U %S' -o "$machine/time.txt" "$@" </dev/null >"$machine/out.txt" 2>&1 ||
    { echo "failed: $*" >&2; cat "$machine/out.txt" >&2; exit 1; }
  end=$EPOCHREALTIME
  awk -v wall="$(awk -v a="$start" -v b="$end" 'BEGIN { print b - a }')" \
      '{ printf "%.3f %.3f\n", wall, $1 + $2 }' "$machine/time.txt"
}
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

kWall=() kCpu=() dWall=() dCpu=() clone=()
for ((i = 0; i < runs; i++)); do
  read -r wall cpu < <(timed "$build/bin/Keldrun" X: Y: FAT32 "1,2,3,4," 0 "$machine/Vantrel/")
  kWall+=("$wall") kCpu+=("$cpu")
  rm -f "$machine/shutdown.log"
  read -r wall cpu < <(timed "$bench" X: Y: 0 "$machine/Vantrel/")
  dWall+=("$wall") dCpu+=("$cpu") clone+=("$(tail -n 1 "$machine/out.txt")")
done
cmp -s "$machine/images/source.img" "$machine/images/dest.img" || { echo "the copy differs from its source" >&2; exit 1; }

kw=$(printf '%s\n' "${kWall[@]}" | median) kc=$(printf '%s\n' "${kCpu[@]}" | median)
dw=$(printf '%s\n' "${dWall[@]}" | median) dc=$(printf '%s\n' "${dCpu[@]}" | median)
c=$(printf '%s\n' "${clone[@]}" | median)
echo "slow mode through the dialog ($mib MiB, $runs runs), goal dialog/Keldrun <= 1.5:"
printf '  wall time:      Keldrun %6.3f s  dialog %6.3f s  ratio %s;  clone alone %6.3f s  ratio %s\n' \
       "$kw" "$dw" "$(ratio "$dw" "$kw")" "$c" "$(ratio "$c" "$kw")"
printf '  processor time: Keldrun %6.3f s  dialog %6.3f s  ratio %s\n' "$kc" "$dc" "$(ratio "$dc" "$kc")"
"$build/bin/vantrel-mountvol" X: /d
"$build/bin/vantrel-mountvol" Y: /d
rm -rf "$machine"
