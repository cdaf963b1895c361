#!/usr/bin/env bash
# Installs what is missing (Debian packages listed in scripts/packages/*.txt), configures and builds.
# Environment: BUILD_DIR (default build), BUILD_TYPE (default Release), CMAKE_ARGS (extra configure arguments).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_dir=${BUILD_DIR:-$root/build}
build_type=${BUILD_TYPE:-Release}

mapfile -t wanted < <(cat "$root"/scripts/packages/*.txt | sed -e 's/#.*//' -e 's/[[:space:]]//g' | grep -v '^$' | sort -u)
# The indicators' independent check runs Node.js and npm; take Debian's only when the machine has none.
command -v node >/dev/null 2>&1 || wanted+=(nodejs)
command -v npm >/dev/null 2>&1 || wanted+=(npm)
missing=()
for pkg in "${wanted[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$pkg")
done
if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  sudo_cmd=()
  [[ $(id -u) -eq 0 ]] || sudo_cmd=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

cmake -S "$root" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE="$build_type" ${CMAKE_ARGS:-}
cmake --build "$build_dir"
