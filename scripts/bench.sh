#!/usr/bin/env bash
# Compares the clone with dd (see bench/clone-vs-dd.sh), and a clone through Vantrel's
# dialog with Keldrun (see bench/dialog-vs-keldrun.sh).
#   scripts/bench.sh BUILD
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/bench/clone-vs-dd.sh" "${1:?usage: bench.sh BUILD}" "${BENCH_RUNS:-5}"
"$here/bench/dialog-vs-keldrun.sh" "$1" "${BENCH_RUNS:-5}"
