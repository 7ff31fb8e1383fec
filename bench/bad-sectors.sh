#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Times Keldrun's slow mode through scattered unreadable sectors against GNU ddrescue -d on
# the same source in the same run: a MiB-sized image behind the FUSE file system of the
# tests (tests/bootclone/BadSectorFs.cpp) with BAD single bad sectors strewn over it,
# copied onto an image file. Both make their copy durable before they end (Keldrun flushes
# it, ddrescue syncs it and its mapfile). The two run alternately, each on a fresh mount,
# a fresh destination and (for ddrescue) a fresh mapfile; medians of RUNS rounds. Then both copies must hold exactly
# the same sectors: those of the source but the bad ones, which Keldrun lists in its
# report and ddrescue in its mapfile. What the disk went through (reads, reads that
# touched a bad sector, most reads of one sector) is counted by the file system. A third
# line times Keldrun with a report folder that does not exist: it then writes no
# status.txt, which shows what the report's line per bad sector, each synced to disk before
# the clone goes on, costs on top of the copy (ddrescue syncs its mapfile once, at the end).
# Skips without FUSE or ddrescue.
#   bench/bad-sectors.sh BUILD [RUNS] [MiB] [BAD]
set -euo pipefail

build=$(cd "${1:?usage: bad-sectors.sh BUILD [RUNS] [MiB] [BAD]}" && pwd)
runs=${2:-3}
mib=${3:-256}
bad=${4:-100}
machine=$build/bench-bad-sectors
badsectorfs=$build/tests/bootclone/vantrel_badsectorfs
fs_pid=""

if [ ! -x "$badsectorfs" ] || [ ! -w /dev/fuse ] || ! command -v fusermount3 >/dev/null; then
  echo "bad sectors: skipped, FUSE cannot be used here (needs /dev/fuse, fusermount3 and libfuse3 at build time)"
  exit 0
fi
if ! command -v ddrescue >/dev/null; then
  echo "bad sectors: skipped, GNU ddrescue is not installed"
  exit 0
fi

unmount() {
  if [ -n "$fs_pid" ]; then
    fusermount3 -u "$machine/mnt" 2>/dev/null || true
    wait "$fs_pid" 2>/dev/null || true
    fs_pid=""
  fi
}
cleanup() {
  unmount
  rm -rf "$machine"
}
trap cleanup EXIT

rm -rf "$machine"
mkdir -p "$machine/Vantrel" "$machine/mnt"
export VANTREL_SYSTEM_ROOT=$machine
sectors=$((mib * 2048))
dd if=/dev/urandom of="$machine/source.img" bs=1M count="$mib" status=none
# Scattered, distinct, in order; the same map in every run.
awk -v n="$bad" -v max="$sectors" 'BEGIN { srand(22); while (count < n) { s = int(rand() * max); if (!(s in seen)) { seen[s] = 1; count++ } } for (s in seen) print s }' |
  sort -n >"$machine/bad.txt"
cat "$machine/source.img" >/dev/null  # the file system reads it from the page cache in every run

# Mounts the source with its bad sectors and gives it the letter X:.
mount_source() {
  # shellcheck disable=SC2046
  "$badsectorfs" "$machine/mnt" "$machine/source.img" $(cat "$machine/bad.txt") &
  fs_pid=$!
  for ((wait = 0; wait < 200; wait++)); do
    [ -e "$machine/mnt/disk.img" ] && break
    sleep 0.025
  done
  [ -e "$machine/mnt/disk.img" ] || { echo "the bad-sector file system did not come up" >&2; exit 1; }
  "$build/bin/vantrel-mountvol" X: /d >/dev/null 2>&1 || true
  "$build/bin/vantrel-mountvol" X: "$machine/mnt/disk.img"
}

fresh_dest() {
  rm -f "$machine/$1"
  fallocate -l "${mib}M" "$machine/$1"
}

# One timed run: appends its wall time to the file named by the first argument.
timed() {
  local into=$1 start end
  shift
  start=$EPOCHREALTIME
  "$@" </dev/null >/dev/null 2>&1 || { echo "failed: $*" >&2; exit 1; }
  end=$EPOCHREALTIME
  awk -v s="$start" -v e="$end" 'BEGIN { printf "%.3f\n", e - s }' >>"$machine/$into"
}

# The disk's counts of the run just made, as "reads,touching-bad,most-of-a-bad,most".
counts() {
  awk '{ v[NR] = $NF } END { printf "%d,%d,%d,%d\n", v[1], v[2], v[3], v[4] }' "$machine/mnt/reads.txt"
}

# keldrun NAME REPORTFOLDER
keldrun() {
  mount_source
  fresh_dest keldrun-dest.img
  "$build/bin/vantrel-mountvol" Y: /d >/dev/null 2>&1 || true
  "$build/bin/vantrel-mountvol" Y: "$machine/keldrun-dest.img"
  timed "$1" "$build/bin/Keldrun" X: Y: FAT32 "1,2,3,4," 0 "$2"
  grep -q '^shutdown' "$machine/shutdown.log" || { echo "Keldrun did not complete" >&2; exit 1; }
  rm "$machine/shutdown.log"
  counts >>"$machine/$1-counts"
  unmount
}

ddrescue_run() {
  mount_source
  fresh_dest ddrescue-dest.img
  rm -f "$machine/mapfile"
  timed ddrescue ddrescue -f -q -d "$machine/mnt/disk.img" "$machine/ddrescue-dest.img" "$machine/mapfile"
  counts >>"$machine/ddrescue-counts"
  unmount
}

for ((i = 0; i < runs; i++)); do
  if ((i % 2 == 0)); then
    keldrun keldrun "$machine/Vantrel/"; ddrescue_run; keldrun unreported "$machine/missing/"
  else
    keldrun unreported "$machine/missing/"; ddrescue_run; keldrun keldrun "$machine/Vantrel/"
  fi
done

# The sectors each copy lacks: those that differ from the source (the destinations start
# as zeros, the source is random), those Keldrun lists and those ddrescue's mapfile marks.
differing() {
  { cmp -l "$machine/source.img" "$machine/$1" || true; } | awk '{ print int(($1 - 1) / 512) }' | uniq
}
differing keldrun-dest.img >"$machine/keldrun-missing"
differing ddrescue-dest.img >"$machine/ddrescue-missing"
sed -n 's/.*Skipping bad sector at location: \([0-9]*\) on partition X:$/\1/p' "$machine/Vantrel/status.txt" \
  >"$machine/keldrun-listed"
# Block lines of the mapfile: position, size (hexadecimal bytes) and status; "+" is copied.
while read -r position size status; do
  [[ $position == 0x* && $size == 0x* && $status != "+" ]] || continue
  for ((s = position / 512; s < (position + size) / 512; s++)); do echo "$s"; done
done <"$machine/mapfile" >"$machine/ddrescue-listed"
same="yes"
for list in keldrun-missing ddrescue-missing keldrun-listed ddrescue-listed; do
  cmp -s "$machine/bad.txt" "$machine/$list" || { same="no ($list differs from the bad sectors)"; }
done
cmp -s "$machine/keldrun-dest.img" "$machine/ddrescue-dest.img" || same="no (the copies differ)"

median() { sort -n "$machine/$1" | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
range() { sort -n "$machine/$1" | awk 'NR == 1 { lo = $1 } { hi = $1 } END { printf "%.2f-%.2f", lo, hi }'; }
show_counts() {
  tail -n 1 "$machine/$1" | awk -F, '{ printf "%8d reads, %5d touching a bad sector, a bad sector read at most %d times, any sector at most %d", $1, $2, $3, $4 }'
}

echo "Scattered bad sectors: $mib MiB source through FUSE, $bad single unreadable sectors, medians of $runs alternating rounds:"
printf '  %-28s %7.3f s (%s)   %s\n' "Keldrun slow mode" "$(median keldrun)" "$(range keldrun)" "$(show_counts keldrun-counts)"
printf '  %-28s %7.3f s (%s)   %s\n' "ddrescue -d -f" "$(median ddrescue)" "$(range ddrescue)" "$(show_counts ddrescue-counts)"
printf '  %-28s %7.3f s (%s)\n' "Keldrun without status.txt" "$(median unreported)" "$(range unreported)"
echo "  slow mode / ddrescue: $(awk -v a="$(median keldrun)" -v b="$(median ddrescue)" 'BEGIN { printf "%.2f", a / b }') (goal <= 1.2)"
echo "  the same sectors recovered by both, all but the $bad bad ones: $same"
[ "$same" = "yes" ] || exit 1
