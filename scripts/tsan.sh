#!/usr/bin/env bash
# Runs the multi-threaded stress tests (font resolver; image store with the decoded-image cache,
# plus the cache's own tests; thumbnail providers drawing on several threads, each starting fonts
# on a thread of its own; pictures drawn in bands on several threads, heavy fills and strokes whose work the
# bands share, text lines shown on several threads at once, text over dozens of font files drawn in bands) under
# ThreadSanitizer. Races reported inside the uninstrumented
# system font libraries are suppressed (tests/data/tsan-platform.supp); any report in the kit's
# own code fails the run.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
dir="$top/build/tsan"
cmake -S "$top" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDV_BUILD_BENCH=OFF \
  -DCMAKE_CXX_FLAGS=-fsanitize=thread -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread >/dev/null
cmake --build "$dir" -j "${DV_JOBS:-4}" --target tests_DVRender tests_Thumbwright tests_PlatformGraphics tests_PlatformText tests_TextThreads >&2
export TSAN_OPTIONS="halt_on_error=1 suppressions=$top/tests/data/tsan-platform.supp"
export FONTCONFIG_FILE="$top/tests/data/fonts/fonts.conf"
"$dir/tests/DVRender/tests_DVRender" --gtest_filter='FontResolverConcurrency*:ImageStore.*:DecodedImageCache.*:BandedRaster.*'
"$dir/tests/PlatformGraphics/tests_PlatformGraphics" --gtest_filter='BandedDrawing.*:SparseFill.Bands*:SparseFill.HeavyFillsDrawnInBands*:SparseStroke.BandsShare*'
"$dir/tests/PlatformText/tests_PlatformText" --gtest_filter='TextLine.Threads*'
"$dir/tests/Thumbwright/tests_Thumbwright" --gtest_filter='ThumbnailProviderTest.Concurrent*'
FONTCONFIG_FILE="$top/tests/data/fonts/many-fonts.conf" "$dir/tests/TextThreads/tests_TextThreads"
