#!/usr/bin/env bash
# Runs every fuzz target under libFuzzer with AddressSanitizer and UndefinedBehaviorSanitizer:
#
#   scripts/fuzz.sh MINUTES [TARGET...]
#
# Builds the targets with clang in build/fuzz, then runs each for MINUTES minutes, DV_FUZZ_JOBS
# at a time (default: half the cores). Each target starts from its seed corpus in fuzz/corpus/
# and grows a working corpus in build/fuzz/corpus/. Inputs that crash, leak, time out or run out
# of memory land in build/fuzz/findings/TARGET/; keep the ones that matter as seeds in
# fuzz/corpus/TARGET/ once fixed, so that the ordinary test run replays them. Exits 1 when there
# are findings.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
minutes=${1:?usage: scripts/fuzz.sh MINUTES [TARGET...]}
shift
dir="$top/build/fuzz"
cores=$(nproc)
jobs=${DV_FUZZ_JOBS:-$(( cores > 1 ? cores / 2 : 1 ))}

# The fuzzing compiler is needed only here, never by the ordinary build. clang before 17 leaves
# sized deallocation off unless asked, and the value tree frees its blocks by size.
if ! command -v clang++ >/dev/null || ! dpkg -s libclang-rt-14-dev >/dev/null 2>&1; then
  sudo=""; [ "$(id -u)" -eq 0 ] || sudo=sudo
  $sudo apt-get install -y -o DPkg::Lock::Timeout=600 clang libclang-rt-14-dev >&2
fi

cmake -S "$top" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DDV_FUZZ=ON -DDV_SANITIZE=ON -DDV_BUILD_BENCH=OFF \
  -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link -fsized-deallocation -Wno-unknown-warning-option" >/dev/null
mapfile -t all < <(cd "$top/fuzz" && ls ./*.cpp | sed 's|^\./||; s|\.cpp$||')
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=("${all[@]}")
cmake --build "$dir" -j "${DV_JOBS:-4}" $(printf -- '--target fuzz_%s ' "${targets[@]}") >&2

run_one() {
  local name=$1
  local work="$dir/corpus/$name" found="$dir/findings/$name"
  mkdir -p "$work" "$found"
  # One process per target; -fork would only multiply the memory on a shared machine.
  "$dir/fuzz/fuzz_$name" "$work" "$top/fuzz/corpus/$name" \
    -max_total_time=$(( minutes * 60 )) -rss_limit_mb=2048 -timeout=30 -max_len=65536 \
    -print_final_stats=1 -artifact_prefix="$found/" >"$dir/logs/$name.log" 2>&1 || true
}
export -f run_one
export dir top minutes
# fontconfig's process-long caches are not leaks of ours (the same list the sanitizer test run uses).
export LSAN_OPTIONS="suppressions=$top/tests/data/lsan-system.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
mkdir -p "$dir/logs"
printf '%s\n' "${targets[@]}" | xargs -P "$jobs" -I{} bash -c 'run_one {}'

total=0
findings=0
printf '%-24s %14s %9s %s\n' target executions findings "corpus"
for name in "${targets[@]}"; do
  log="$dir/logs/$name.log"
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' | tail -1 || true)
  runs=${runs:-0}
  found=$(find "$dir/findings/$name" -type f | wc -l)
  size=$(find "$dir/corpus/$name" -type f | wc -l)
  printf '%-24s %14s %9s %s\n' "$name" "$runs" "$found" "$size"
  total=$(( total + runs ))
  findings=$(( findings + found ))
  if [ "$found" -gt 0 ]; then
    find "$dir/findings/$name" -type f | sed 's/^/    /'
    grep -m1 -A3 'ERROR:\|invariant broken\|runtime error' "$log" | sed 's/^/    /' || true
  fi
done
printf '%-24s %14s %9s\n' total "$total" "$findings"
[ "$findings" -eq 0 ]
