#!/usr/bin/env bash
# Compares the clone with dd (see bench/clone-vs-dd.sh).
#   scripts/bench.sh BUILD
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
exec "$here/bench/clone-vs-dd.sh" "${1:?usage: bench.sh BUILD}" "${BENCH_RUNS:-5}"
