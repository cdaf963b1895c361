#!/usr/bin/env bash
# Set-up as scripts/setup.sh, then every test. Fails when a test fails or when none ran.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$root/scripts/setup.sh"
build_dir=${BUILD_DIR:-$root/build}
cd "$build_dir"
ctest --output-on-failure --no-tests=error --timeout 600 -j "$(nproc)" "$@"
