#!/usr/bin/env bash
# Builds the tree and runs the whole test suite: `scripts/test.sh` (Release) or `scripts/test.sh asan`.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
dir=$("$top/scripts/build.sh" "${1:-release}" | tail -n 1)
ctest --test-dir "$dir" --output-on-failure -j "${DV_JOBS:-$(nproc)}"
