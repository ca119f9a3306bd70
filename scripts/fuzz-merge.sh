#!/usr/bin/env bash
# Chooses the committed seeds of one fuzz target again, from those seeds and new inputs, so that
# they only ever grow: afterwards they reach every edge they reached before and as many of the
# new inputs' edges as the file cap leaves room for.
#
#   bash scripts/fuzz-merge.sh BINARY SEEDS [--also FOLDER]... [INPUTS...]
#
# BINARY is the target built with libFuzzer, SEEDS its committed folder (tests/fuzz/corpus/<name>),
# INPUTS folders of new inputs (a run's finds, extra seeds). The --also folders are committed
# seeds of other targets that seed this one as well: what they reach counts as reached, and they
# are counted in the edges but never copied. Seeds with names of their own were written by hand
# and always stay; the others are named by their SHA-1. Every seed stays, and a greedy cover adds
# the new inputs that reach the most edges not yet reached while the folder has room: at most
# QV_FUZZ_MAX_SEEDS files (default 40), or as many as it holds already. When the room runs out
# with edges left, other choices that keep every edge the seeds reached are weighed too (new
# inputs in the place of seeds they make spare; all new inputs less those that alone reach the
# fewest; the seeds' edges covered anew), and the one that reaches most is taken: coverage first,
# the old edges before new ones. New inputs larger than QV_FUZZ_MAX_LEN bytes (default 8192) are
# not taken, so the committed corpus stays small. Finally the folder is measured again; should it
# reach fewer edges than before, the old seeds come back. Prints:
#   edges <before> -> <after>, seeds <before> -> <after>
set -euo pipefail
binary=$1
seeds=$2
shift 2
also=()
while [ $# -gt 0 ] && [ "$1" = --also ]; do
  also+=("$2")
  shift 2
done
cap=${QV_FUZZ_MAX_SEEDS:-40}
max_len=${QV_FUZZ_MAX_LEN:-8192}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$seeds"

# Edges that the inputs of the given folders reach, as libFuzzer counts them when it loads them,
# the most of three counts (a target with threads of its own can reach a few more or fewer from
# one run to the next); nothing when it cannot load them all.
edges() {
  local run count most=""
  for run in 1 2 3; do
    count=$({ "$binary" -runs=0 "$@" 2>&1 || true; } | sed -n 's/.*INITED cov: \([0-9]*\).*/\1/p' | tail -n 1)
    if [ -n "$count" ] && { [ -z "$most" ] || [ "$count" -gt "$most" ]; }; then most=$count; fi
  done
  echo "$most"
}

# The edges one input reaches, as "<size> <path> <edge>...": libFuzzer's merge writes an input's
# edges into its control file (only those that no input before it in the same process reached,
# hence one process per input). Inputs that libFuzzer skips (empty ones) print nothing.
input_edges() {
  local binary=$1 input=$2 tmp
  tmp=$(mktemp -d)
  mkdir "$tmp/in" "$tmp/out"
  cp "$input" "$tmp/in/"
  if "$binary" -merge=1 -use_counters=0 -timeout=60 -merge_control_file="$tmp/control" "$tmp/out" "$tmp/in" \
    >/dev/null 2>&1 && [ -f "$tmp/control" ]; then
    awk -v input="$input" -v size="$(stat -c %s "$input")" '$1 == "COV" { $1 = ""; $2 = ""; print size, input $0 }' \
      "$tmp/control"
  fi
  rm -rf "$tmp"
}
export -f input_edges

is_hashed() { [[ "$(basename "$1")" =~ ^[0-9a-f]{40}$ ]]; }

before_edges=$(edges "$seeds" "${also[@]}")
before_files=$(find "$seeds" -type f | wc -l)
cp -a "$seeds" "$work/old"

# Every candidate with its edges; the seeds first, marked "seed" or "hand".
{
  find "$seeds" -type f | sort | while IFS= read -r f; do
    if is_hashed "$f"; then echo "seed $f"; else echo "hand $f"; fi
  done
  for dir in "${also[@]}"; do
    find "$dir" -type f | sort | sed 's/^/also /'
  done
  for dir in "$@"; do
    [ -d "$dir" ] || continue
    find "$dir" -type f -size -$((max_len + 1))c | sort | sed 's/^/new /'
  done
} >"$work/inputs"
cut -d' ' -f2- "$work/inputs" | tr '\n' '\0' |
  xargs -0 -P "${QV_FUZZ_JOBS:-4}" -I{} bash -c 'input_edges "$0" "$1"' "$binary" {} >"$work/edges"

# The choice, in awk without interval expressions (Debian's mawk has none). The edges that the
# seeds by hand (which always stay) and the other targets seeds reach are reached whatever is
# chosen, so the first pass over the edges puts them aside and the second keeps only the others.
# times[e] counts the chosen inputs that reach edge e.
awk -v cap="$cap" '
  FNR == 1 { ++file }
  file == 1 { kind[$2] = $1; if ($1 == "seed") ++seeds; if ($1 == "hand") ++hand; next }
  file == 2 { if (kind[$2] == "hand" || kind[$2] == "also") for (i = 3; i <= NF; ++i) base[$i] = 1; next }
  kind[$2] == "seed" || kind[$2] == "new" {
    f = $2; size[f] = $1; n[f] = 0
    for (i = 3; i <= NF; ++i) {
      if ($i in base) continue
      e[f, ++n[f]] = $i; all[$i] = 1
      if (kind[f] == "seed") old[$i] = 1
    }
  }
  function take(f,    i) { chosen[f] = 1; ++files; for (i = 1; i <= n[f]; ++i) ++times[e[f, i]] }
  function drop(f,    i) { delete chosen[f]; --files; for (i = 1; i <= n[f]; ++i) --times[e[f, i]] }
  function fresh(f, wanted,    i, k) {
    k = 0
    for (i = 1; i <= n[f]; ++i) if ((e[f, i] in wanted) && !(times[e[f, i]] > 0)) ++k
    return k
  }
  # Reached by the others too.
  function spare(f,    i) {
    for (i = 1; i <= n[f]; ++i) if (times[e[f, i]] < 2) return 0
    return 1
  }
  # Nothing chosen but the seeds by hand.
  function start(    f, i) {
    for (f in chosen) delete chosen[f]
    for (i in times) delete times[i]
    files = hand
  }
  function seedsOnly(    f) { start(); for (f in size) if (kind[f] == "seed") take(f) }
  # The input of the highest bound above 0 (the smaller, then the earlier name, of equals).
  function highest(    f, best) {
    best = ""
    for (f in bound)
      if (bound[f] > 0 && (best == "" || bound[f] > bound[best] ||
          (bound[f] == bound[best] && (size[f] < size[best] || (size[f] == size[best] && f < best))))) best = f
    return best
  }
  # Takes from the inputs of the kinds in `pool` the one that reaches the most edges of `wanted`
  # not yet reached (the smaller, then the earlier name, of equals), until none adds one or
  # `room` files are chosen (no end for room < 0). Lazily: what an input added when last
  # counted bounds what it adds now, since the edges reached only grow, so only the input with
  # the highest bound is counted again at each step.
  function greedy(pool, wanted, room,    f, best, k) {
    for (f in bound) delete bound[f]
    for (f in size) if ((kind[f] in pool) && !(f in chosen)) bound[f] = fresh(f, wanted)
    for (;;) {
      if (room >= 0 && files >= room) return
      best = highest()
      if (best == "") return
      k = fresh(best, wanted)
      if (k < bound[best]) { bound[best] = k; continue }
      delete bound[best]
      take(best)
    }
  }
  # Leaves out, one at a time, the input that alone reaches the fewest edges (the larger of
  # equals), but never one that alone reaches an edge the seeds reached, until `room` files
  # are left or every one is needed.
  function reduce(room,    f, i, best, fewest, alone, needed) {
    while (files > room) {
      best = ""
      for (f in chosen) {
        alone = 0; needed = 0
        for (i = 1; i <= n[f]; ++i) if (times[e[f, i]] == 1) { ++alone; if (e[f, i] in old) needed = 1 }
        if (needed) continue
        if (best == "" || alone < fewest || (alone == fewest && (size[f] > size[best] || (size[f] == size[best] && f > best)))) {
          best = f; fewest = alone
        }
      }
      if (best == "") return
      drop(best)
    }
  }
  # Tries the new inputs that add edges, the most first (the smaller, then the earlier name, of
  # equals; lazily, as greedy does; at most 100), each in the place of chosen inputs that it
  # makes spare, and keeps it where that leaves `room` files or fewer.
  function swap(room,    f, x, tries, was, k, r) {
    for (f in bound) delete bound[f]
    for (f in size) if (kind[f] == "new" && !(f in chosen)) bound[f] = fresh(f, all)
    for (tries = 0; tries < 100;) {
      x = highest()
      if (x == "") return
      k = fresh(x, all)
      if (k < bound[x]) { bound[x] = k; continue }
      delete bound[x]
      ++tries
      was = ""
      for (f in chosen) was = was f "\n"
      take(x)
      while (files > room) {
        r = ""
        for (f in chosen) if (f != x && spare(f) && (r == "" || size[f] > size[r])) r = f
        if (r == "") break
        drop(r)
      }
      if (files > room) {
        start()
        k = split(was, back, "\n")
        for (r = 1; r <= k; ++r) if (back[r] != "") take(back[r])
      }
    }
  }
  function reach(    i, k) { k = 0; for (i in times) if (times[i] > 0) ++k; return k }
  function keepsOld(    i) { for (i in old) if (!(times[i] > 0)) return 0; return 1 }
  function consider(name,    f) {
    if (files > room || !keepsOld()) return
    list[name] = ""
    for (f in chosen) list[name] = list[name] f "\n"
    got[name] = reach()
    if (best == "" || got[name] > got[best]) best = name
  }
  END {
    # The folder may hold QV_FUZZ_MAX_SEEDS files, or as many as it holds now.
    room = hand + seeds > cap ? hand + seeds : cap
    newKinds["new"] = 1; anyKinds["seed"] = 1; anyKinds["new"] = 1
    best = ""
    # Every seed stays and new inputs add what they reach while there is room: what the seeds
    # reach can only grow, even for a target whose inputs reach a little more or less from one
    # run to the next.
    seedsOnly(); greedy(newKinds, all, room)
    consider("stay")
    # When the room runs out, other choices that keep every edge the seeds reached, of which
    # the one that reaches most is taken: new inputs in the place of inputs they make spare;
    # all new inputs that add edges, less those that alone reach the fewest; or the seeds
    # edges covered anew from seeds and new inputs alike, then new edges while there is room.
    if (files >= room) {
      swap(room); consider("swap")
      seedsOnly(); greedy(newKinds, all, -1); reduce(room); consider("reduce")
      start(); greedy(anyKinds, old, -1); greedy(anyKinds, all, room); consider("anew")
    }
    printf "%s", list[best]
    # A seed that libFuzzer could not run reports no edges; it stays rather than be lost.
    for (f in kind) if (kind[f] == "seed" && !(f in size)) print f
  }' "$work/inputs" "$work/edges" "$work/edges" >"$work/chosen"

for file in "$seeds"/*; do
  if [ -e "$file" ] && is_hashed "$file" && ! grep -qxF "$file" "$work/chosen"; then rm "$file"; fi
done
while IFS= read -r file; do
  if [ "$(dirname "$file")" != "$seeds" ]; then cp "$file" "$seeds/$(sha1sum "$file" | cut -d' ' -f1)"; fi
done <"$work/chosen"

after_edges=$(edges "$seeds" "${also[@]}")
if [ -n "$before_edges" ] && { [ -z "$after_edges" ] || [ "$after_edges" -lt "$before_edges" ]; }; then
  rm -rf "$seeds"
  cp -a "$work/old" "$seeds"
  after_edges=$(edges "$seeds" "${also[@]}")
fi
echo "edges ${before_edges:-?} -> ${after_edges:-?}, seeds $before_files -> $(find "$seeds" -type f | wc -l)"
