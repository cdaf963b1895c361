#!/usr/bin/env bash
# Fuzzes every parser of outside input with libFuzzer (clang, address and undefined-behaviour sanitizers).
#
# Usage: scripts/fuzz.sh [SECONDS]     (default 600 seconds per fuzzer)
#   Environment: FUZZERS="tape csv" runs only those; BUILD_LOCK=/path holds that lock while building.
#
# Builds build-fuzz/ with clang and -DTARNWELL_FUZZ=ON (the project libraries carry
# -fsanitize=fuzzer-no-link,address,undefined), copies each seed corpus from tests/fuzz/corpus/<fuzzer>/ to
# build-fuzz/corpus/<fuzzer>/ (the repository's corpus never grows), runs each fuzzer for SECONDS and prints
# per fuzzer the runs, the coverage and the findings (crash, leak, timeout and out-of-memory files, kept in
# build-fuzz/findings/<fuzzer>/). Exits non-zero when any fuzzer found anything.
#
# The fuzzers and what they read:
#   vendor_client   frames a hostile server sends the client library: messages, data blocks, the block
#                   reader and every field decoder of the feed nodes
#   feed_requests   frames a hostile client sends the feed: greeting, request/advise/unadvise items,
#                   execute commands (watch lists)
#   feed_control    command lines on the feed's control port, "until TIME" times
#   tape            tape lines and whole tape files
#   config          Config.ini
#   csv             overnight CSV files and Holidays.csv: one line of cells, cells as numbers, whole files
#   object_stream   page and window files: the object stream, its text rendering, factory objects
#   symbols         the monitor's symbol file and a window's symbol list lines
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
seconds=${1:-600}
build="$root/build-fuzz"
all=(vendor_client feed_requests feed_control tape config csv object_stream symbols)
read -r -a fuzzers <<<"${FUZZERS:-${all[*]}}"

declare -A max_len=([vendor_client]=16384 [feed_requests]=4096 [feed_control]=2048 [tape]=8192
  [config]=4096 [csv]=8192 [object_stream]=8192 [symbols]=4096)

for f in "${fuzzers[@]}"; do
  [[ -n "${max_len[$f]:-}" ]] || { echo "fuzz: no fuzzer '$f' (there are: ${all[*]})" >&2; exit 2; }
done
command -v clang++ >/dev/null || { echo "fuzz: clang++ is missing (scripts/setup.sh installs it)" >&2; exit 2; }
flags="-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer -g"
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
lock=()
[[ -n "${BUILD_LOCK:-}" ]] && lock=(flock "$BUILD_LOCK")
"${lock[@]}" cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_COMPILER=clang \
  -DCMAKE_CXX_COMPILER=clang++ "${launcher[@]}" -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
  -DTARNWELL_FUZZ=ON >/dev/null
targets=()
for f in "${fuzzers[@]}"; do targets+=("fuzz_$f"); done
"${lock[@]}" cmake --build "$build" -j2 --target "${targets[@]}"

export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
failed=0
printf '%-15s %12s %8s %8s %s\n' fuzzer runs cov ft findings
for f in "${fuzzers[@]}"; do
  corpus="$build/corpus/$f"
  findings="$build/findings/$f"
  rm -rf "$findings"  # the findings of this run only; an earlier run's are replayed by hand
  mkdir -p "$corpus" "$findings"
  [[ -d "$root/tests/fuzz/corpus/$f" ]] && cp -n "$root/tests/fuzz/corpus/$f"/* "$corpus"/ 2>/dev/null || true
  log="$build/findings/$f.log"
  set +e
  (cd "$build" && "$build/tests/fuzz/fuzz_$f" "$corpus" -max_total_time="$seconds" -rss_limit_mb=2048 \
    -max_len="${max_len[$f]}" -timeout=25 -print_final_stats=1 -artifact_prefix="$findings/") >"$log" 2>&1
  set -e
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' | tail -1)
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | grep -o '[0-9]*')
  ft=$(grep -o 'ft: [0-9]*' "$log" | tail -1 | grep -o '[0-9]*')
  found=$(find "$findings" -maxdepth 1 -type f \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' \
    -o -name 'oom-*' -o -name 'slow-unit-*' \) | wc -l)
  # A fuzzer that died before its statistics counts as a finding too: its log says why.
  [[ -z "$runs" ]] && found=$((found + 1))
  printf '%-15s %12s %8s %8s %s\n' "$f" "${runs:-?}" "${cov:-?}" "${ft:-?}" "$found"
  if ((found > 0)); then
    failed=1
    echo "  see $log and $findings/" >&2
  fi
done
exit $failed
