#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Times Keldrun copying only the used space of a 1 GiB NTFS volume filled through ntfs-3g
# to 10, 50 and 90 %, against ntfsclone --overwrite and partclone.ntfs -b (where they are
# installed) and against Keldrun's copy of the whole partition, on loop devices with
# direct I/O. The runs of one round are interleaved over the tools and the fills; the
# medians of RUNS rounds are shown with the ratios the goals are about. Every copy is
# checked with ntfsfix --no-action once the rounds are over.
# The images live under BUILD/bench-usedspace-copy; the loop devices are detached at the end.
#   bench/usedspace-copy.sh BUILD [RUNS]
set -euo pipefail

build=$(cd "${1:?usage: usedspace-copy.sh BUILD [RUNS]}" && pwd)
runs=${2:-3}
machine=$build/bench-usedspace-copy
fills=(10 50 90)
loops=()

cleanup() {
  if mountpoint -q "$machine/mnt"; then umount "$machine/mnt"; fi
  for loop in "${loops[@]}"; do
    losetup -d "$loop" 2>/dev/null || true
  done
  rm -rf "$machine"
}
trap cleanup EXIT

for tool in mkntfs ntfs-3g ntfsfix losetup fuser; do
  command -v $tool >/dev/null || { echo "used-space copy: skipped, $tool is missing"; exit 0; }
done
[ -w /dev/fuse ] || { echo "used-space copy: skipped, this machine has no FUSE"; exit 0; }
peers=()
if command -v ntfsclone >/dev/null; then peers+=(ntfsclone); else
  echo "used-space copy: ntfsclone is missing (Debian's ntfs-3g), its column is left out"
fi
if command -v partclone.ntfs >/dev/null; then peers+=(partclone); else
  echo "used-space copy: partclone.ntfs is missing (Debian's partclone), its column is left out"
fi

rm -rf "$machine"
mkdir -p "$machine/mnt" "$machine/Vantrel"
export VANTREL_SYSTEM_ROOT=$machine
dd if=/dev/urandom of="$machine/chunk" bs=1M count=4 status=none

bench="used-space copy"
# shellcheck source-path=SCRIPTDIR source=ntfs-volumes.sh
source "$(dirname "$0")/ntfs-volumes.sh"

for fill in "${fills[@]}"; do fill "$machine/fill$fill.img" "$fill"; done
dd if=/dev/urandom of="$machine/dest.img" bs=1M count=1024 status=none
declare -A source
for fill in "${fills[@]}"; do
  attach "$machine/fill$fill.img"
  source[$fill]=$attached
done
attach "$machine/dest.img"
dest=$attached
"$build/bin/vantrel-mountvol" Y: "$dest"

# Keldrun in fast mode from the fill's source; $3 is the used-space digit. The report's
# line on what was copied is kept for the summary.
keldrun() {
  "$build/bin/vantrel-mountvol" X: /d >/dev/null 2>&1 || true
  "$build/bin/vantrel-mountvol" X: "${source[$2]}" >/dev/null
  timed "$1" "$build/bin/Keldrun" X: Y: NTFS "0,0,0,0,0,0,0,0" 1 "$machine/Vantrel/" 0 "$3"
  grep -q '^shutdown' "$machine/shutdown.log" || { echo "Keldrun did not complete" >&2; exit 1; }
  rm "$machine/shutdown.log"
  if [ "$3" = 1 ]; then
    grep '^Only the used space' "$machine/Vantrel/status.txt" | sed 's/.*copied: //' >"$machine/copied$2" ||
      { echo "Keldrun did not copy the used space alone:" >&2; cat "$machine/Vantrel/status.txt" >&2; exit 1; }
  fi
}

checked() {
  ntfsfix --no-action "$dest" >"$machine/check.txt" 2>&1 ||
    { echo "the copy of $1 fails ntfsfix:" >&2; cat "$machine/check.txt" >&2; exit 1; }
}

for ((i = 0; i < runs; i++)); do
  for fill in "${fills[@]}"; do
    keldrun "used$fill" "$fill" 1
    [ "$i" -gt 0 ] || checked "Keldrun's used space at $fill %"
    for peer in "${peers[@]}"; do
      case $peer in
        ntfsclone) timed "ntfsclone$fill" ntfsclone --overwrite "$dest" --quiet "${source[$fill]}" ;;
        partclone) timed "partclone$fill" partclone.ntfs -b -q -s "${source[$fill]}" -o "$dest" ;;
      esac
      [ "$i" -gt 0 ] || checked "$peer at $fill %"
    done
    keldrun "whole$fill" "$fill" 0
  done
done

median() { sort -n "$machine/$1" | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
ratio() { awk -v a="$(median "$1")" -v b="$(median "$2")" 'BEGIN { printf "%.2f", a / b }'; }

echo "Used space of a 1 GiB NTFS volume on loop devices with direct I/O, medians of $runs interleaved rounds:"
for fill in "${fills[@]}"; do
  printf '  %2d %% full (Keldrun copied %s)\n' "$fill" "$(cat "$machine/copied$fill")"
  printf '    %-34s %7.3f s\n' "Keldrun, used space only" "$(median "used$fill")"
  for peer in "${peers[@]}"; do
    case $peer in
      ntfsclone) printf '    %-34s %7.3f s  (Keldrun / ntfsclone %s)\n' "ntfsclone --overwrite" \
                        "$(median "ntfsclone$fill")" "$(ratio "used$fill" "ntfsclone$fill")" ;;
      partclone) printf '    %-34s %7.3f s  (Keldrun / partclone %s)\n' "partclone.ntfs -b" \
                        "$(median "partclone$fill")" "$(ratio "used$fill" "partclone$fill")" ;;
    esac
  done
  printf '    %-34s %7.3f s  (whole / used space %s)\n' "Keldrun, whole partition" "$(median "whole$fill")" \
         "$(ratio "whole$fill" "used$fill")"
done
if [[ " ${peers[*]} " == *" ntfsclone "* ]]; then
  echo "  goal at 10 %: Keldrun / ntfsclone <= 1.1: $(ratio used10 ntfsclone10)"
fi
echo "  goal at 10 %: whole / used space >= 4: $(ratio whole10 used10)"
echo "  goal at 90 %: used space / whole <= 1: $(ratio used90 whole90)"
