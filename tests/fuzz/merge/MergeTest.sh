#!/usr/bin/env bash
# The seed merge on a target whose edges are known (KnownEdges.cpp: a branch per letter 'a'-'h'):
# the seeds never reach fewer edges than before, take what new inputs add within the file cap,
# keep the old edges first when the cap forces a choice, and keep the seeds written by hand.
#
#   bash MergeTest.sh PROBE MERGE-SCRIPT
#
# Exits 77 (skipped) when there is no probe: it needs clang's libFuzzer.
set -uo pipefail
probe=$1
merge=$2
[ -x "$probe" ] || { echo "no libFuzzer probe (clang++ -fsanitize=fuzzer): skipped"; exit 77; }
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
failures=0

fail() {
  echo "FAILED: $*"
  failures=$((failures + 1))
}

edges() {
  "$probe" -runs=0 "$@" 2>&1 | sed -n 's/.*INITED cov: \([0-9]*\).*/\1/p' | tail -n 1
}

# The texts of a folder's files, sorted, on one line.
texts() {
  local f
  for f in "$1"/*; do [ -e "$f" ] && { cat "$f"; echo; }; done | sort | tr '\n' ' '
}

# case NAME: a fresh seeds folder and inputs folder under $dir/NAME.
start() {
  current=$dir/$1
  seeds=$current/seeds
  inputs=$current/inputs
  mkdir -p "$seeds" "$inputs"
}

seed() {
  local text
  for text in "$@"; do printf '%s' "$text" >"$seeds/$(printf '%s' "$text" | sha1sum | cut -d' ' -f1)"; done
}

input() {
  local text
  for text in "$@"; do printf '%s' "$text" >"$inputs/$(printf '%s' "$text" | sha1sum | cut -d' ' -f1)"; done
}

run_merge() {
  line=$(bash "$merge" "$probe" "$seeds" "$inputs" 2>/dev/null | grep "^edges " | tail -n 1)
  echo "$current: $line"
}

# Seeds that each reach an edge of their own all stay when nothing new comes.
start unchanged
seed a b c
printf d >"$seeds/by_hand"
before=$(edges "$seeds")
run_merge
[ "$(edges "$seeds")" = "$before" ] || fail "unchanged: edges $before -> $(edges "$seeds")"
[ "$(texts "$seeds")" = "a b c d " ] || fail "unchanged: seeds are now $(texts "$seeds")"
case $line in "edges $before -> $before, seeds 4 -> 4") ;; *) fail "unchanged: reported '$line'" ;; esac

# New inputs add their edges; those that add none are not taken, and the seeds stay.
start grows
seed a b
input ab c a ""
all=$(edges "$seeds" "$inputs")
run_merge
[ "$(edges "$seeds")" = "$all" ] || fail "grows: edges $(edges "$seeds"), all inputs reach $all"
[ "$(texts "$seeds")" = "a b c " ] || fail "grows: seeds are now $(texts "$seeds")"

# With room for two files, the edges the seeds reached come before new ones ...
start capped
seed a b
input cde
before=$(edges "$seeds")
QV_FUZZ_MAX_SEEDS=2 run_merge
[ "$(edges "$seeds")" -ge "$before" ] || fail "capped: edges $before -> $(edges "$seeds")"
[ "$(texts "$seeds")" = "a b " ] || fail "capped: seeds are now $(texts "$seeds")"

# ... but an input that reaches all they reach and more takes the place of seeds, and the
# input that reaches most is taken first.
start capped_cover
seed a b
input abc d e
QV_FUZZ_MAX_SEEDS=2 run_merge
case $(texts "$seeds") in "abc d " | "abc e ") ;; *) fail "capped_cover: seeds are now $(texts "$seeds")" ;; esac

# Seeds written by hand stay even when the cap makes room, and other inputs reach all they
# reach; of inputs that add the same, the smaller is taken.
start by_hand
printf a >"$seeds/by_hand"
seed ab
input abc bc
QV_FUZZ_MAX_SEEDS=2 run_merge
[ -f "$seeds/by_hand" ] || fail "by_hand: the hand-written seed went"
[ "$(texts "$seeds")" = "a bc " ] || fail "by_hand: seeds are now $(texts "$seeds")"

# A folder already past the cap keeps its size and every edge, and takes nothing new.
start over_cap
seed a b
input c
QV_FUZZ_MAX_SEEDS=1 run_merge
[ "$(texts "$seeds")" = "a b " ] || fail "over_cap: seeds are now $(texts "$seeds")"

# New inputs longer than the length limit are not taken.
start too_long
seed a
input bcdefgh
QV_FUZZ_MAX_LEN=4 run_merge
[ "$(texts "$seeds")" = "a " ] || fail "too_long: seeds are now $(texts "$seeds")"

# Another target's seeds that seed this one count as reached and are never copied.
start also
seed a
mkdir -p "$current/other"
printf b >"$current/other/seed"
input b c
before=$(edges "$current/other" "$seeds")
line=$(bash "$merge" "$probe" "$seeds" --also "$current/other" "$inputs" 2>/dev/null | grep "^edges " | tail -n 1)
echo "$current: $line"
[ "$(texts "$seeds")" = "a c " ] || fail "also: seeds are now $(texts "$seeds")"
case $line in "edges $before -> $(edges "$current/other" "$seeds" "$inputs"),"*) ;;
  *) fail "also: reported '$line'" ;; esac

# A seed folder that does not exist yet is made and filled.
start empty
rmdir "$seeds"
input a
run_merge
[ "$(texts "$seeds")" = "a " ] || fail "empty: seeds are now $(texts "$seeds")"

[ $failures -eq 0 ] && echo "all merge cases passed"
exit $((failures > 0))
