#!/usr/bin/env bash
# Fuzzes the game's readers and its model path with libFuzzer under AddressSanitizer and
# UndefinedBehaviorSanitizer (every library instrumented), then merges what the runs found into
# the committed seeds.
#
#   bash scripts/fuzz.sh [SECONDS] [TARGET...]
#
# SECONDS is each target's run time (default 600); TARGETs are names from tests/fuzz/ (default:
# all). QV_FUZZ_JOBS targets run at a time (default 4), inputs are at most QV_FUZZ_MAX_LEN bytes
# (default 8192, or the max_len of tests/fuzz/<target>.options). A target is also seeded with the
# corpora its options name ("also = <target>") and with what the build's fuzz_seeds_<target>
# makes, if it has one. Finds of every run are kept in build-fuzz/corpus/<target>/, so a later
# run goes on from them; crashes land in build-fuzz/artifacts/<target>/. Then
# scripts/fuzz-merge.sh chooses tests/fuzz/corpus/<target>/ again so that it only grows, and
# prints each target's "edges before -> after".
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-600}
[ $# -gt 0 ] && shift
jobs=${QV_FUZZ_JOBS:-4}
max_len=${QV_FUZZ_MAX_LEN:-8192}
dir="$root/build-fuzz"

if [ $# -gt 0 ]; then
  targets=("$@")
else
  targets=()
  for src in "$root"/tests/fuzz/*.cpp; do
    name=$(basename "$src" .cpp)
    [ "$name" = ReplayMain ] || targets+=("$name")
  done
fi
for t in "${targets[@]}"; do
  [ -f "$root/tests/fuzz/$t.cpp" ] || { echo "no fuzz target tests/fuzz/$t.cpp" >&2; exit 2; }
done

bash "$root/scripts/deps.sh"
bash "$root/scripts/deps.sh" "$root/scripts/packages-fuzz.txt"
echo "=== fuzz: configure and build ==="
CC=clang CXX=clang++ cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQV_FUZZ=ON -DQV_BENCH=OFF >/dev/null
cmake --build "$dir" -j "$(nproc)" --target "${targets[@]/#/fuzz_}"
makers=()
for t in "${targets[@]}"; do
  if grep -q "^build fuzz_seeds_$t: phony" "$dir/build.ninja"; then makers+=("fuzz_seeds_$t"); fi
done
[ ${#makers[@]} -eq 0 ] || cmake --build "$dir" -j "$(nproc)" --target "${makers[@]}"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}

# A target's option from tests/fuzz/<target>.options ("name = value" lines), one value a line.
option() {
  local file="$root/tests/fuzz/$1.options"
  [ -f "$file" ] && sed -n "s/^$2 *= *//p" "$file"
  return 0
}

max_len_of() {
  local len
  len=$(option "$1" max_len | tail -n 1)
  echo "${len:-$max_len}"
}

# The folders that seed a target besides its own committed seeds: other targets' corpora that
# its options name, and what its seed maker made.
also_seeds() {
  local other
  for other in $(option "$1" also); do echo "$root/tests/fuzz/corpus/$other"; done
}

extra_seeds() {
  also_seeds "$1"
  if [ -d "$dir/seeds/$1" ]; then echo "$dir/seeds/$1"; fi
}

fuzz_one() {
  local t=$1 seeds="$root/tests/fuzz/corpus/$1" work="$dir/corpus/$1" art="$dir/artifacts/$1/"
  mkdir -p "$work" "$art" "$seeds"
  local status=0
  mapfile -t extra < <(extra_seeds "$t")
  "$dir/tests/fuzz_$t" -max_total_time="$seconds" -max_len="$(max_len_of "$t")" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$art" "$work" "$seeds" "${extra[@]}" >"$dir/logs/$t.log" 2>&1 || status=$?
  echo "$t: fuzzed ${seconds} s, exit $status, $(ls "$work" | wc -l) inputs kept in $work"
  return 0
}

mkdir -p "$dir/logs"
for t in "${targets[@]}"; do
  if [ -x "$dir/tests/fuzz_seeds_$t" ]; then
    rm -rf "$dir/seeds/$t"
    "$dir/tests/fuzz_seeds_$t" "$dir/seeds/$t" "$(max_len_of "$t")"
  fi
done

echo "=== fuzz: ${#targets[@]} targets, $seconds s each, $jobs at a time ==="
for t in "${targets[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n || true; done
  fuzz_one "$t" &
done
wait

echo "=== fuzz: merge into tests/fuzz/corpus ==="
failed=0
for t in "${targets[@]}"; do
  also=()
  for other in $(also_seeds "$t"); do also+=(--also "$other"); done
  made=()
  if [ -d "$dir/seeds/$t" ]; then made=("$dir/seeds/$t"); fi
  line=$(QV_FUZZ_MAX_LEN="$(max_len_of "$t")" bash "$root/scripts/fuzz-merge.sh" "$dir/tests/fuzz_$t" \
    "$root/tests/fuzz/corpus/$t" "${also[@]}" "$dir/corpus/$t" "${made[@]}" 2>"$dir/logs/$t.merge.log") ||
    { line="merge failed (see $dir/logs/$t.merge.log)"; failed=1; }
  crashes=$(ls "$dir/artifacts/$t" | wc -l)
  [ "$crashes" -eq 0 ] || failed=1
  echo "$t: $line, crashes $crashes"
done
exit $failed
