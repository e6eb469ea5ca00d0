#!/usr/bin/env bash
# Builds the tree and runs the whole test suite: `scripts/test.sh` (Release) or `scripts/test.sh asan`.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
flavour=${1:-release}
dir=$("$top/scripts/build.sh" "$flavour" | tail -n 1)
if [[ "$flavour" == asan ]]; then
  export LSAN_OPTIONS="suppressions=$top/tests/data/lsan-system.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
fi
report="$dir/tests/Hostile/work/report.txt"
desktop="$dir/tests/Desktop/work/report.txt"
rm -f "$report" "$desktop"
ctest --test-dir "$dir" --output-on-failure -j "${DV_JOBS:-$(nproc)}"
if [[ -f "$report" ]]; then
  echo "Hostile boards (host, board, outcome, wall time, peak memory):"
  cat "$report"
fi
if [[ -f "$desktop" ]]; then
  echo "Desktop clients:"
  cat "$desktop"
fi
