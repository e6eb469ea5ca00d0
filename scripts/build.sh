#!/usr/bin/env bash
# Configures and builds one flavour of the tree: `release` (default) or `asan`.
# Prints the build folder on its last line.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
flavour=${1:-release}
case "$flavour" in
  release) dir="$top/build/release"; extra=(-DCMAKE_BUILD_TYPE=Release) ;;
  asan) dir="$top/build/asan"; extra=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DDV_SANITIZE=ON -DDV_BUILD_BENCH=OFF) ;;
  *) echo "usage: $0 [release|asan]" >&2; exit 2 ;;
esac
"$top/scripts/install-deps.sh"
jobs=${DV_JOBS:-$(nproc)}
cmake -S "$top" -B "$dir" -G Ninja "${extra[@]}" >/dev/null
cmake --build "$dir" -j "$jobs" >&2
echo "$dir"
