#!/usr/bin/env bash
# Set-up as scripts/setup.sh, then every benchmark; each prints its figures and ratios.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$root/scripts/setup.sh"
build_dir=${BUILD_DIR:-$root/build}
for bench in "$build_dir"/bench/tarnwell_bench_* "$build_dir"/bench/*/tarnwell_bench_*; do
  [[ -f "$bench" && -x "$bench" ]] || continue
  echo "== $(basename "$bench")"
  "$bench" "$@"
done
