#!/usr/bin/env bash
# The main job: builds the tree and runs the deliverables over the example boards.
# Every board in examples/ becomes a thumbnail with the light and with the dark system appearance
# (a board whose own colours decide gives the same picture twice), written to build/examples/;
# then the search importer prints the attributes of every board.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
dir=$("$top/scripts/build.sh" release | tail -n 1)
out="$top/build/examples"
mkdir -p "$out"
size=${THUMB_SIZE:-256}
status=0

echo "Thumbnails (Thumbwright) of the example boards at $size points:"
for board in "$top"/examples/*.drevalin; do
  name=$(basename "$board" .drevalin)
  for appearance in light dark; do
    png="$out/$name-$appearance.png"
    if "$dir/hosts/thumbwright-host/thumbwright-host" -s "$size" --appearance "$appearance" "$board" "$png"; then
      dims=$(od -An -tu1 -j16 -N8 "$png" | awk '{print $1*16777216+$2*65536+$3*256+$4 "x" $5*16777216+$6*65536+$7*256+$8}')
      echo "  $name, $appearance system appearance: $png ($dims pixels)"
    else
      echo "  $name, $appearance system appearance: FAILED" >&2
      status=1
    fi
  done
done

echo "Search importer (Indexwright) over the example boards, one JSON object per board:"
"$dir/hosts/indexwright-host/indexwright-host" --bundle "$dir/Indexwright.plugin" "$top"/examples/*.drevalin || status=1
exit $status
