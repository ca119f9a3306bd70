#!/usr/bin/env bash
# scripts/mutate.sh must find tests for a source of every folder of the program: a selection
# that matched nothing would count every mutant of that folder as a survivor.
#   MutateSelection.sh SOURCE-DIR BUILD-DIR
set -euo pipefail
src=$1 build=$2
cd "$src"
mapfile -t files < <(git ls-files '*.cpp' | grep -vE '^(tests|bench)/' | awk -F/ '{ d = $0; sub(/\/[^\/]*$/, "", d) } !(d in seen) { seen[d]; print }')
[ ${#files[@]} -ge 10 ] || { echo "only ${#files[@]} folders of sources found" >&2; exit 1; }
bash scripts/mutate.sh -c "$build" "${files[@]}"
