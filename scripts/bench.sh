#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Compares the clone with dd on image files (see bench/clone-vs-dd.sh), with dd and GNU
# ddrescue on loop devices with direct I/O where the machine has them, and there the
# verification of a copy with two dd reading both partitions (see bench/loop-devices.sh),
# a clone through Vantrel's dialog with Keldrun (see bench/dialog-vs-keldrun.sh), and slow
# mode through scattered bad sectors with GNU ddrescue on a FUSE source where the machine
# has FUSE (see bench/bad-sectors.sh), and copies of the used space alone against ntfsclone
# and partclone (see bench/usedspace-copy.sh).
#   scripts/bench.sh BUILD
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/bench/clone-vs-dd.sh" "${1:?usage: bench.sh BUILD}" "${BENCH_RUNS:-5}"
"$here/bench/loop-devices.sh" "$1" "${BENCH_RUNS:-5}"
"$here/bench/dialog-vs-keldrun.sh" "$1" "${BENCH_RUNS:-5}"
"$here/bench/bad-sectors.sh" "$1" "${BENCH_RUNS:-3}"
"$here/bench/usedspace-copy.sh" "$1" "${BENCH_RUNS:-3}"
