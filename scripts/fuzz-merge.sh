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
# are counted in the edges but never copied. Seeds with names of their own were
# written by hand and always stay; the others are named by their SHA-1 and, like the new inputs,
# are candidates. A greedy cover keeps the candidates that reach the most edges not yet reached,
# until no candidate adds one or the folder holds QV_FUZZ_MAX_SEEDS files (default 40). When the
# cap forces a choice, the edges the seeds reached before come first. New inputs larger than
# QV_FUZZ_MAX_LEN bytes (default 8192) are not taken, so the committed corpus stays small.
# Finally the folder is measured again; should it reach fewer edges than before (a target whose
# coverage varies from run to run), the old seeds come back. Prints one line:
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

# Edges that the inputs of the given folders reach, as libFuzzer counts them when it loads them;
# nothing when it cannot load them all.
edges() {
  { "$binary" -runs=0 "$@" 2>&1 || true; } | sed -n 's/.*INITED cov: \([0-9]*\).*/\1/p' | tail -n 1
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
  xargs -0 -P "$(nproc)" -I{} bash -c 'input_edges "$0" "$1"' "$binary" {} >"$work/edges"

# The greedy cover, in awk without interval expressions (Debian's mawk has none).
awk -v cap="$cap" '
  FNR == NR { kind[$2] = $1; next }
  {
    f = $2; size[f] = $1; n[f] = NF - 2
    for (i = 3; i <= NF; ++i) { e[f, i - 2] = $i; all[$i] = 1; if (kind[f] != "new") old[$i] = 1 }
    if (kind[f] == "seed" || kind[f] == "new") candidate[f] = 1
  }
  function fresh(f, wanted,    i, k) {
    k = 0
    for (i = 1; i <= n[f]; ++i) if ((e[f, i] in wanted) && !(e[f, i] in reached)) ++k
    return k
  }
  # Picks, while the folder has room (or, with room < 0, without end), the candidate that
  # reaches the most edges of `wanted` not yet reached; ties go to the smaller, then the
  # earlier name. Lazily: what a candidate added when last counted bounds what it adds now,
  # since the edges reached only grow, so only the candidate with the highest bound is
  # counted again at each step.
  function cover(wanted, room,    f, best, k, i) {
    for (f in bound) delete bound[f]
    for (f in candidate) if (!(f in chosen)) bound[f] = fresh(f, wanted)
    for (;;) {
      if (room >= 0 && files >= room) return
      best = ""
      for (f in bound)
        if (bound[f] > 0 && (best == "" || bound[f] > bound[best] ||
            (bound[f] == bound[best] && (size[f] < size[best] || (size[f] == size[best] && f < best))))) best = f
      if (best == "") return
      k = fresh(best, wanted)
      if (k < bound[best]) { bound[best] = k; continue }
      chosen[best] = 1; ++files
      delete bound[best]
      for (i = 1; i <= n[best]; ++i) reached[e[best, i]] = 1
    }
  }
  # Only the seeds written by hand, and the other targets seeds, count as reached.
  function reset(    f, i) {
    for (f in chosen) delete chosen[f]
    for (i in reached) delete reached[i]
    files = 0
    for (f in kind) {
      if (kind[f] == "hand") ++files
      if ((kind[f] == "hand" || kind[f] == "also") && (f in size))
        for (i = 1; i <= n[f]; ++i) reached[e[f, i]] = 1
    }
  }
  END {
    reset()
    cover(all, cap)
    lost = 0
    for (i in old) if (!(i in reached)) lost = 1
    if (lost) {
      # The cap cut into what the seeds reached: cover that first, whatever it takes, then
      # the rest while there is room.
      reset()
      cover(old, -1)
      cover(all, cap)
    }
    for (f in chosen) print f
    # A seed that libFuzzer could not run reports no edges; it stays rather than be lost.
    for (f in kind) if (kind[f] == "seed" && !(f in size)) print f
  }' "$work/inputs" "$work/edges" >"$work/chosen"

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
