#!/usr/bin/env bash
# The main job: builds the tree and runs the deliverables over the example boards.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
dir=$("$top/scripts/build.sh" release | tail -n 1)
echo "Built in $dir:"
find "$dir" -maxdepth 3 -name 'lib*.a' -printf '  %f\n' | sort
