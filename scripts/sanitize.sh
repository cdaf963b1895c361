#!/usr/bin/env bash
# The whole test suite under a sanitizer: "address" (AddressSanitizer with UndefinedBehaviorSanitizer) or
# "thread" (ThreadSanitizer), in a build folder of its own (build-address/ or build-thread/). Every report
# fails the run. Extra arguments go to ctest (for example -R Framework).
set -euo pipefail
kind=${1:-}
[[ $kind == address || $kind == thread ]] || { echo "usage: scripts/sanitize.sh address|thread [ctest arguments]" >&2; exit 2; }
shift
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export BUILD_DIR=${BUILD_DIR:-$root/build-$kind}
export BUILD_TYPE=${BUILD_TYPE:-RelWithDebInfo}
export CMAKE_ARGS="-DTARNWELL_SANITIZE=$kind ${CMAKE_ARGS:-}"
"$root/scripts/setup.sh"
supp=$root/scripts/sanitize
# Child processes (the program, the feed) are instrumented too and inherit these. No strict string checks:
# they read a string given with its length up to a terminator it need not have, and the X keyboard library
# copies names out of X replies exactly that way.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$supp/leak.supp:print_suppressions=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1:suppressions=$supp/thread.supp}
# Instrumented programs run several times slower (the thread checker more so): tests wait longer for them.
if [[ $kind == thread ]]; then patience=6; else patience=3; fi
export TARNWELL_TEST_PATIENCE=${TARNWELL_TEST_PATIENCE:-$patience}
cd "$BUILD_DIR"
ctest --output-on-failure --no-tests=error --timeout 1800 -j "$(nproc)" "$@"
