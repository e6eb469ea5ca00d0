#!/usr/bin/env bash
# The main job: builds the tree and runs the deliverables over the example boards.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
dir=$("$top/scripts/build.sh" release | tail -n 1)
echo "Built in $dir:"
find "$dir" -maxdepth 3 -name 'lib*.a' -printf '  %f\n' | sort
echo "Search importer (Indexwright) over the example boards, one JSON object per board:"
"$dir/hosts/indexwright-host/indexwright-host" --bundle "$dir/Indexwright.plugin" "$top"/examples/*.drevalin
