#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Image files standing in for partitions, for the scripts that build a simulated machine.
# Sourced, not run.

# make_ntfs FILE SIZE LABEL: an image formatted NTFS, as a partition starting at sector 0
# of a 255-head disk.
make_ntfs() {
  truncate -s "$2" "$1"
  mkntfs --force --quick --quiet --sector-size 512 --partition-start 0 --heads 255 --sectors-per-track 63 \
         --label "$3" "$1" >/dev/null 2>&1
}

# make_fat32 FILE SIZE LABEL: an image formatted FAT32.
make_fat32() {
  truncate -s "$2" "$1"
  mkfs.fat -F 32 -n "$3" "$1" >/dev/null
}
