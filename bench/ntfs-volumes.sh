#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# 1 GiB NTFS volumes filled through ntfs-3g on loop devices with direct I/O, for the
# used-space benchmarks. Sourced, not run: the sourcing script sets machine (a folder with
# a folder mnt), bench (its name, for the skip line) and the array loops, whose devices it
# detaches at its end.
# shellcheck disable=SC2154

# A 1 GiB NTFS image filled to $2 percent with 4 MiB files ($machine/chunk) in 16
# folders and a few hundred small ones. Its free space holds random bytes, as a disk's
# does: a sparse image would read its holes without touching the disk.
fill() {
  local image=$1 percent=$2 n=0
  dd if=/dev/urandom of="$image" bs=1M count=1024 status=none
  mkntfs -F -Q -q -s 512 -c 4096 "$image" >/dev/null 2>&1
  ntfs-3g "$image" "$machine/mnt"
  for ((i = 0; i < 300; i++)); do echo "$i" >"$machine/mnt/small-$i.txt"; done
  while [ "$(df --output=pcent "$machine/mnt" | tail -n 1 | tr -dc 0-9)" -lt "$percent" ]; do
    mkdir -p "$machine/mnt/folder-$((n % 16))"
    cp "$machine/chunk" "$machine/mnt/folder-$((n % 16))/file-$n.bin"
    n=$((n + 1))
  done
  umount "$machine/mnt"
  # ntfs-3g lets go of the image a moment after the unmount.
  while fuser -s "$image" 2>/dev/null; do sleep 0.1; done
}

# Attaches an image with direct I/O as the loop device $attached, kept in loops for the
# cleanup (called as $(attach ...), the list would stay in a subshell); without loop
# devices the benchmark is skipped.
attach() {
  if ! attached=$(losetup --find --show --direct-io=on "$1" 2>/dev/null); then
    echo "$bench: skipped, this machine cannot attach loop devices (needs root and /dev/loop-control)"
    exit 0
  fi
  loops+=("$attached")
}

# One timed run of the command after the first argument: appends its seconds to the file
# that argument names; a failing command ends the benchmark with its output.
timed() {
  local into=$1 start end
  shift
  start=$EPOCHREALTIME
  "$@" </dev/null >"$machine/out.txt" 2>&1 || { echo "failed: $*" >&2; cat "$machine/out.txt" >&2; exit 1; }
  end=$EPOCHREALTIME
  awk -v s="$start" -v e="$end" 'BEGIN { printf "%.4f\n", e - s }' >>"$machine/$into"
}
