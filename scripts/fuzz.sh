#!/usr/bin/env bash
# Fuzzes the game's readers with libFuzzer under AddressSanitizer and UndefinedBehaviorSanitizer
# (every library instrumented), then merges what the runs found into the committed seeds.
#
#   bash scripts/fuzz.sh [SECONDS] [TARGET...]
#
# SECONDS is each target's run time (default 600); TARGETs are names from tests/fuzz/ (default:
# all). QV_FUZZ_JOBS targets run at a time (default 4), inputs are at most QV_FUZZ_MAX_LEN bytes
# (default 8192). Finds of every run are kept in build-fuzz/corpus/<target>/, so a later run goes
# on from them; crashes land in build-fuzz/artifacts/<target>/. The merge then adds to
# tests/fuzz/corpus/<target>/ the fewest inputs that reach the edges its seeds do not.
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

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}

# Edges that the inputs of the given folders reach, as libFuzzer counts them when it loads them.
edges() {
  local t=$1; shift
  "$dir/tests/fuzz_$t" -runs=0 "$@" 2>&1 | sed -n 's/.*INITED cov: \([0-9]*\).*/\1/p' | tail -n 1
}

fuzz_one() {
  local t=$1 seeds="$root/tests/fuzz/corpus/$1" work="$dir/corpus/$1" art="$dir/artifacts/$1/"
  mkdir -p "$work" "$art" "$seeds"
  local status=0
  "$dir/tests/fuzz_$t" -max_total_time="$seconds" -max_len="$max_len" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$art" "$work" "$seeds" >"$dir/logs/$t.log" 2>&1 || status=$?
  echo "$t: fuzzed ${seconds} s, exit $status, $(ls "$work" | wc -l) inputs kept in $work"
  return 0
}

mkdir -p "$dir/logs"
declare -A before_edges before_files
for t in "${targets[@]}"; do
  mkdir -p "$root/tests/fuzz/corpus/$t"
  before_edges[$t]=$(edges "$t" "$root/tests/fuzz/corpus/$t")
  before_files[$t]=$(ls "$root/tests/fuzz/corpus/$t" | wc -l)
done

echo "=== fuzz: ${#targets[@]} targets, $seconds s each, $jobs at a time ==="
for t in "${targets[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n || true; done
  fuzz_one "$t" &
done
wait

# The edges one input reaches, as "<size> <path> <edge>...": libFuzzer's merge writes an input's
# edges into its control file (only those that no input before it in the same process reached,
# hence one process per input). Inputs that libFuzzer skips (empty ones) print nothing.
input_edges() {
  local binary=$1 input=$2 tmp
  tmp=$(mktemp -d)
  mkdir "$tmp/in" "$tmp/out"
  cp "$input" "$tmp/in/"
  if "$binary" -merge=1 -use_counters=0 -merge_control_file="$tmp/control" "$tmp/out" "$tmp/in" >/dev/null 2>&1 &&
    [ -f "$tmp/control" ]; then
    awk -v input="$input" -v size="$(stat -c %s "$input")" '$1 == "COV" { $1 = ""; $2 = ""; print size, input $0 }' \
      "$tmp/control"
  fi
  rm -rf "$tmp"
}
export -f input_edges

# Chooses the seeds of $1 again from its seeds and the runs' finds. Seeds with names of their
# own were written by hand and stay; the others (named by their SHA-1) and the finds are
# candidates, of which a greedy cover keeps those that reach the most edges not yet reached,
# until no candidate adds one or the folder holds QV_FUZZ_MAX_SEEDS files (default 40), so the
# committed corpora stay small. libFuzzer's own -merge=1 takes inputs smallest first and keeps
# many more of them.
merge_into_seeds() {
  local t=$1 seeds="$root/tests/fuzz/corpus/$1" file
  find "$seeds" "$dir/corpus/$t" -type f -print0 |
    xargs -0 -P "$(nproc)" -I{} bash -c 'input_edges "$0" "$1"' "$dir/tests/fuzz_$t" {} >"$dir/logs/$t.edges"
  awk -v seeds="$seeds/" -v limit="${QV_FUZZ_MAX_SEEDS:-40}" '
    {
      f = NR; size[f] = $1; path[f] = $2; edges[f] = ""
      for (i = 3; i <= NF; ++i) edges[f] = edges[f] " " $i
      name = substr($2, length(seeds) + 1)
      if (index($2, seeds) == 1 && name !~ /^[0-9a-f]{40}$/) {
        for (i = 3; i <= NF; ++i) reached[$i] = 1
        ++kept
      } else candidate[f] = 1
    }
    END {
      for (; kept < limit; ++kept) {
        best = -1; most = 0
        for (f in candidate) {
          n = split(edges[f], e, " "); fresh = 0
          for (i = 1; i <= n; ++i) if (!(e[i] in reached)) ++fresh
          if (fresh == 0) { delete candidate[f]; continue }
          if (fresh > most || (fresh == most && size[f] < size[best])) { best = f; most = fresh }
        }
        if (best < 0) break
        n = split(edges[best], e, " ")
        for (i = 1; i <= n; ++i) reached[e[i]] = 1
        delete candidate[best]
        print path[best]
      }
    }' "$dir/logs/$t.edges" >"$dir/logs/$t.chosen"
  for file in "$seeds"/*; do
    [[ "$(basename "$file")" =~ ^[0-9a-f]{40}$ ]] && ! grep -qxF "$file" "$dir/logs/$t.chosen" && rm "$file"
  done
  while IFS= read -r file; do
    [ "$(dirname "$file")" = "$seeds" ] || cp "$file" "$seeds/$(sha1sum "$file" | cut -d' ' -f1)"
  done <"$dir/logs/$t.chosen"
}

echo "=== fuzz: merge into tests/fuzz/corpus ==="
failed=0
for t in "${targets[@]}"; do
  seeds="$root/tests/fuzz/corpus/$t"
  merge_into_seeds "$t" || { echo "$t: merge failed (see $dir/logs/$t.merge.log)"; failed=1; }
  crashes=$(ls "$dir/artifacts/$t" | wc -l)
  [ "$crashes" -eq 0 ] || failed=1
  echo "$t: edges ${before_edges[$t]} -> $(edges "$t" "$seeds") (with all finds: $(edges "$t" "$seeds" "$dir/corpus/$t")), seeds ${before_files[$t]} -> $(ls "$seeds" | wc -l), crashes $crashes"
done
exit $failed
