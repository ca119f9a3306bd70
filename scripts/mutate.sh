#!/usr/bin/env bash
# Mutation testing of our own (Debian packages no such tool for C++): puts one small fault at a
# time into the given sources, builds each faulty program in the build folder of the worker
# that runs it, runs the unit tests that cover the file, and reports every fault that no test
# noticed, as diff lines, with the score: the share of built mutants that a test failed on.
#
#   bash scripts/mutate.sh [-n N] [-j JOBS] [-s SEED] [-t 'TARGETS|REGEX'] [-S RESULTS] [-l] FILE...
#   bash scripts/mutate.sh -c BUILD-DIR FILE...
#
#   -n N      at most N mutants per file, drawn with SEED (default: every mutant)
#   -j JOBS   workers, each with a source copy and build folder of its own and an equal share
#             of the processors for its builds and tests (default 2)
#   -s SEED   the draw's seed (default 1), so that two runs of one tree try the same mutants
#   -t SPEC   the test programs to build and the ctest regex to run, for every FILE
#             (default: the file's entry in tests_for below)
#   -S FILE   try again only the mutants that survived in FILE (a run's build-mutate/results)
#   -l        list the mutants and stop
#   -c DIR    print how many tests of the build in DIR each FILE selects, and fail when one
#             selects none
#
# A file whose tests select nothing, or fail unchanged, stops the run: no score is given. A
# mutant whose build or tests take too long counts as not built or killed; each worker puts
# its copy of the file back after every mutant, and on start whatever a killed worker left.
# Mutants listed in scripts/mutate-equivalent.txt behave like the original in every way a test
# could see; they are set aside and not counted. Work folders live in build-mutate/ and are
# kept, so that later runs build only what changed. Run by hand, never in CI.
set -uo pipefail
{ # read whole before it runs, so that editing this file during a run does not upset the run
root=$(cd "$(dirname "$0")/.." && pwd)
work=$root/build-mutate
count=0 jobs=2 seed=1 spec="" list_only=0 again=/dev/null check_dir=""
while getopts "n:j:s:t:S:lc:" opt; do
  case $opt in
    n) count=$OPTARG ;;
    j) jobs=$OPTARG ;;
    s) seed=$OPTARG ;;
    t) spec=$OPTARG ;;
    S) again=$(realpath "$OPTARG") ;;
    l) list_only=1 ;;
    c) check_dir=$(realpath "$OPTARG") ;;
    *) sed -n '7,20p' "$0"; exit 2 ;;
  esac
done
shift $((OPTIND - 1))
[ $# -gt 0 ] || { sed -n '7,20p' "$0"; exit 2; }

# The GoogleTest suites defined in the given folders of tests/, as one alternation.
suites() {
  local d
  for d in "$@"; do cat "$root/tests/$d"/*.cpp; done 2>/dev/null |
    grep -oE '^(TEST|TEST_F|TEST_P|TYPED_TEST)\( *[A-Za-z0-9_]+' | sed -E 's/.*\( *//' | sort -u | paste -sd'|'
}

# "TARGETS|SELECTORS": what to build and which tests cover a file: every test program that
# exercises it. The layers under the drawing code are also exercised by the pictures that the
# models, the shadows and the stage draw through them.
tests_for() {
  local pictures='ModelPicture|ModelPictures|ModelDevicePictures|ShadowPicture|Stage[A-Za-z]*PictureTest'
  local picture_programs='test_render test_game test_tools'
  case $1 in
    platform/d3dx9/XFileReader.cpp) echo 'test_platform fuzz_XFileReader|^(XFile|fuzz_replay\.XFileReader$)' ;;
    platform/d3dx9/D3DXAnimationController.cpp) echo 'test_platform test_render|^(XFile|ModelAnimation|AnimationSet|AnimationController)' ;;
    platform/d3dx9/D3DX9Math.cpp) echo 'test_platform|^(D3DX9Math|XFile)' ;;
    platform/d3dx9/EffectCompiler.cpp | platform/d3dx9/Effect.cpp)
      echo "test_platform $picture_programs fuzz_EffectParser|^(($(suites platform/effect)|ShadowVolume|$pictures)\.|fuzz_replay\.EffectParser$)" ;;
    platform/d3dx9/*)
      echo "test_platform $picture_programs fuzz_ModelPath|^(($(suites platform/d3dx9 platform/xfile)|Model|ModelAnimation|ModelBoxes|ShadowVolume|$pictures)\.|fuzz_replay\.ModelPath$)" ;;
    render/COBB.cpp) echo 'test_render|^(COBB|OBB|JacobiEigen3|ModelBoxes)' ;;
    app/FrameTimer.cpp) echo 'test_app|^FrameTimer' ;;
    platform/dmusic/* | sound/*)
      echo "test_platform test_sound test_app test_game fuzz_WaveReader fuzz_VorbisWaveStream|^(($(suites platform/dmusic sound)|GameMainTest|StageSound|LogoTest|OpeningTest)\.|fuzz_replay\.(WaveReader|VorbisWaveStream)$)" ;;
    platform/d3d9/*)
      echo "test_platform $picture_programs fuzz_D3D9DrawStream|^(($(suites platform/d3d9)|EffectDevice|D3DX9MeshDrawTest|DeviceOwner|StateCache|$pictures)\.|fuzz_replay\.D3D9DrawStream$)" ;;
    platform/win32/*)
      echo "test_platform test_app fuzz_CodePages|^(($(suites platform/win32 platform)|GameMainTest|VersionBox)\.|fuzz_replay\.CodePages$)" ;;
    render/*) echo "test_render test_game|@render ^($pictures|Rina[A-Za-z]*|Stage[A-Za-z]*)\." ;;
    resources/*) echo 'test_platform test_app|^(ResourceScript|Menus|MenuRules|Dialogs|VersionBox|GameMainTest)\.' ;;
    app/CGameConfig.cpp) echo 'test_app fuzz_ConfigFile|@app ^fuzz_replay\.ConfigFile$' ;;
    *) local top=${1%%/*}; echo "test_$top|@$top" ;;  # @LABEL: every unit test of that program
  esac
}

for f in "$@"; do
  [ -f "$root/$f" ] || { echo "mutate.sh: no such source: $f (paths are relative to $root)" >&2; exit 2; }
done

# sync_tree SRC DST: makes DST hold SRC's files (the tree's own when SRC is the tree), copying
# only those that differ, with a new time, so that a build compiles exactly what changed.
sync_tree() {
  local src=$1 dst=$2 f
  mkdir -p "$dst"
  if [ "$src" = "$root" ]; then
    git -C "$src" ls-files -co --exclude-standard | sort >"$dst.list"
  else
    (cd "$src" && find . -type f -printf '%P\n' | sort) >"$dst.list"
  fi
  (cd "$dst" && find . -path ./build -prune -o -type f -printf '%P\n' | sort) | comm -13 "$dst.list" - |
    (cd "$dst" && xargs -r -d '\n' rm -f)
  while IFS= read -r f; do
    [ -f "$src/$f" ] || continue
    cmp -s "$src/$f" "$dst/$f" || { mkdir -p "$(dirname "$dst/$f")" && cp "$src/$f" "$dst/$f"; }
  done <"$dst.list"
}
# selected_tests BUILD FILE: the names of the tests in BUILD that cover FILE, one a line. The
# selection after the test programs is a list of @LABEL or REGEX words, whose tests are joined.
selected_tests() {
  local build=$1 targets selectors word
  IFS='|' read -r targets selectors <<<"${spec:-$(tests_for "$2")}"
  for word in $selectors; do
    if [ "${word:0:1}" = "@" ]; then
      (cd "$build" && ctest -N -L "^${word:1}$")
    else
      (cd "$build" && ctest -N -R "$word")
    fi
  done 2>/dev/null | sed -nE 's/^ *Test +#[0-9]+: (.*)$/\1/p' | sort -u
}
# The names as one regex that matches exactly them.
names_regex() {
  sed -E 's/[][\.*^$+?(){}|]/\\&/g' | paste -sd'|' | sed -E 's/^(.*)$/^(\1)$/'
}

if [ -n "$check_dir" ]; then
  status=0
  for f in "$@"; do
    n=$(selected_tests "$check_dir" "$f" | wc -l)
    echo "$f: $n tests"
    [ "$n" -gt 0 ] || { echo "mutate.sh: the tests of $f select nothing in $check_dir" >&2; status=1; }
  done
  exit $status
fi

# A run takes a snapshot of the tree: the mutants are made from it and the workers copy it,
# so that the tree may change while the run goes on. One run at a time uses the work folders;
# a listing reads the tree itself and touches nothing.
mkdir -p "$work"
if [ $list_only -eq 1 ]; then
  tree=$root mutants=$(mktemp)
  trap 'rm -f "$mutants"' EXIT
else
  exec 9>"$work/lock"
  flock -n 9 || { echo "mutate.sh: another run is using $work" >&2; exit 1; }
  sync_tree "$root" "$work/snapshot"
  tree=$work/snapshot mutants=$work/mutants
fi

# Every mutant of the files, one a line: FILE LINE ORIGINAL MUTATED, tab-separated; sampled,
# with the equivalent ones marked by an E in front.
python3 - "$tree" "$root/scripts/mutate-equivalent.txt" "$count" "$seed" "$again" "$@" >"$mutants" <<'PY'
import random, re, sys

snapshot, equivalent_file, count, seed, again, files = (sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4],
                                                        sys.argv[5], sys.argv[6:])

def masked(line, in_comment):
    """The line with comments, strings and characters blanked, and whether a /* */ comment
    runs on past it."""
    out, i, quote = [], 0, None
    while i < len(line):
        c, two = line[i], line[i:i + 2]
        if in_comment:
            if two == '*/':
                in_comment = False
                out.append('  ')
                i += 2
                continue
            out.append(' ')
        elif quote:
            if c == '\\':
                out.append('  ')
                i += 2
                continue
            out.append(c if c == quote else ' ')
            if c == quote:
                quote = None
        elif two == '//':
            break
        elif two == '/*':
            in_comment = True
            out.append('  ')
            i += 2
            continue
        elif c in '"\'' and not (c == "'" and i > 0 and line[i - 1].isalnum() and line[i - 1] not in 'uUL'):
            quote = c
            out.append(c)
        else:
            out.append(c)
        i += 1
    return ''.join(out).ljust(len(line)), in_comment

SWAPS = {'<': ['<=', '>='], '<=': ['<', '>'], '>': ['>=', '<='], '>=': ['>', '<'], '==': ['!='], '!=': ['=='],
         '+': ['-'], '-': ['+'], '*': ['/'], '/': ['*'], '+=': ['-='], '-=': ['+='], '*=': ['/='], '/=': ['*='],
         '&&': ['||'], '||': ['&&'], '++': ['--'], '--': ['++']}
SPACED = re.compile(r'(?<=\s)(<=|>=|==|!=|&&|\|\||[-+*/]=|<|>|[-+*/])(?=\s)')
STEP = re.compile(r'\+\+|--')
NOT = re.compile(r'!(?!=)')
NUMBER = re.compile(r'(?<![\w.])(0[xX][0-9a-fA-F]+|(?:\d+\.\d*|\.\d+|\d+)(?:[eE][-+]?\d+)?)([uUlLfF]*)(?![\w.])')
KEYWORD = r'(?!(?:return|if|while|for|switch|case|else|do|throw|delete|new|break|continue|goto|using|typedef)\b)'
CALL = re.compile(r'^\s*' + KEYWORD + r'[A-Za-z_:~][\w:.\->\[\]]*\s*\(.*\)\s*;\s*$')
ASSIGN = re.compile(r'^\s*' + KEYWORD + r'[\w.\->\[\]*()]+\s*(?:[-+*/|&^%]|<<|>>)?=(?!=)\s*\S.*;\s*$')
STEPPED = re.compile(r'^\s*(?:\+\+|--)?[A-Za-z_][\w.\->\[\]]*(?:\+\+|--)?;\s*$')
RETURN = re.compile(r'^(\s*)return\s+(.+?)\s*;\s*$')

def number_variants(text, suffix):
    if text.lower().startswith('0x'):
        v = int(text, 16)
        return [hex(n) + suffix for n in (v + 1, v - 1) if n >= 0]
    if re.fullmatch(r'\d+', text):
        v = int(text)
        return [str(n) + suffix for n in (v + 1, v - 1) if n >= 0]
    v = float(text)
    return [repr(n) + suffix for n in (v + 1.0, v - 1.0)]

def mutants(line, mask):
    """Every mutated form of one line."""
    out = []
    def at(start, end, new):
        out.append(line[:start] + new + line[end:])
    for m in SPACED.finditer(mask):
        for new in SWAPS[m.group(1)]:
            at(m.start(), m.end(), new)
    for m in STEP.finditer(mask):
        at(m.start(), m.end(), SWAPS[m.group(0)][0])
    for m in NOT.finditer(mask):
        if not mask[:m.start()].rstrip().endswith('operator'):
            at(m.start(), m.end(), '')
    for m in NUMBER.finditer(mask):
        for new in number_variants(m.group(1), m.group(2)):
            at(m.start(), m.end(), new)
    indent = line[:len(line) - len(line.lstrip())]
    if CALL.match(mask) or ASSIGN.match(mask) or STEPPED.match(mask):
        out.append(indent + ';  // deleted')
    r = RETURN.match(mask)
    if r:
        value = line[r.start(2):r.end(2)]
        changed = {'true': 'false', 'false': 'true', 'D3D_OK': 'E_FAIL', 'S_OK': 'E_FAIL', 'TRUE': 'FALSE',
                   'FALSE': 'TRUE'}.get(value)
        if changed is None and value not in ('0', 'nullptr', 'NULL', '{}') and not NUMBER.fullmatch(value):
            changed = '{}'
        if changed:
            at(r.start(2), r.end(2), changed)
    return [m for m in dict.fromkeys(out) if m != line]

def equivalents():
    """(file, line or None, original, mutant) of every mutant set aside by hand."""
    keys, current, at, original = set(), None, None, None
    try:
        lines = open(equivalent_file, encoding='utf-8').read().splitlines()
    except FileNotFoundError:
        return keys
    for l in lines:
        if l.startswith('--- '):
            current, _, number = l[4:].strip().partition(':')
            at = int(number) if number else None
        elif l.startswith('-') and current:
            original = l[1:].strip()
        elif l.startswith('+') and current and original is not None:
            keys.add((current, at, original, l[1:].strip()))
            original = None
    return keys

skip = equivalents()
survivors = set()
for l in open(again, encoding='utf-8'):
    fields = l.rstrip('\n').split('\t')  # result, file, line, original, mutated
    if fields[0] == 'survived':
        survivors.add((fields[1], int(fields[2]), fields[3], fields[4]))
for f in files:
    all_mutants, in_comment = [], False
    for n, line in enumerate(open(f'{snapshot}/{f}', encoding='utf-8').read().split('\n'), 1):
        mask, next_comment = masked(line, in_comment)
        if not in_comment and not line.lstrip().startswith('#'):
            all_mutants += [(n, line, m) for m in mutants(line, mask)]
        in_comment = next_comment
    chosen = all_mutants
    if 0 < count < len(all_mutants):
        chosen = sorted(random.Random(f'{seed}:{f}').sample(all_mutants, count))
    for n, line, m in chosen:
        if again != '/dev/null' and (f, n, line, m) not in survivors:
            continue
        key = (line.strip(), m.strip())
        mark = 'E' if (f, None) + key in skip or (f, n) + key in skip else 'M'
        print(f'{mark}\t{f}\t{n}\t{line}\t{m}')
PY
[ -s "$mutants" ] || { echo "mutate.sh: no mutants" >&2; exit 1; }
if [ $list_only -eq 1 ]; then
  awk -F'\t' '{printf "%s %s:%s\n-%s\n+%s\n", $1, $2, $3, $4, $5}' "$mutants"
  exit 0
fi

# Each worker builds and tests with its share of the processors.
cores=$(( $(nproc) / jobs ))
[ $cores -ge 1 ] || cores=1

# One worker: a source copy and a build folder of its own; it builds the program, checks that
# the tests pass unchanged, then tries its share of the mutants one at a time.
worker() {
  local k=$1 dir=$work/w$1 mark file line original mutated targets selectors result current=""
  mkdir -p "$dir"
  # Whatever a worker killed halfway left in its copy goes back to the snapshot's.
  sync_tree "$work/snapshot" "$dir/src"
  trap '[ -n "$current" ] && cp "$work/snapshot/$current" "$dir/src/$current"; exit 1' TERM INT
  : >"$dir/results"
  if [ ! -f "$dir/build/build.ninja" ]; then
    local linker=()
    command -v ld.lld >/dev/null && linker=(-DCMAKE_EXE_LINKER_FLAGS=-fuse-ld=lld)
    cmake -S "$dir/src" -B "$dir/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -DCMAKE_C_FLAGS_RELWITHDEBINFO=-O2 -DQV_BENCH=OFF "${linker[@]}" \
      >"$dir/configure.log" 2>&1 || { echo "worker $k: configure failed, see $dir/configure.log" >&2; return 1; }
  fi
  local -A regex_of=()
  build_for() { # FILE: builds its test programs; false when that fails or takes too long
    IFS='|' read -r targets selectors <<<"${spec:-$(tests_for "$1")}"
    timeout 900 cmake --build "$dir/build" -j "$cores" --target qv_data $targets >"$dir/build.log" 2>&1
  }
  run_tests() { # FILE: builds its test programs and runs its tests; 2 when it does not build
    build_for "$1" || return 2
    (cd "$dir/build" && ctest -R "${regex_of[$1]}" --stop-on-failure --timeout 120 -j "$cores" >"$dir/test.log" 2>&1)
  }
  for file in "${files[@]}"; do
    build_for "$file" || { echo "worker $k: $file does not build unchanged, see $dir/build.log" >&2; return 1; }
    regex_of[$file]=$(selected_tests "$dir/build" "$file" | names_regex)
    [ "${regex_of[$file]}" != '^()$' ] ||
      { echo "worker $k: the tests of $file select nothing; see tests_for in $0" >&2; return 1; }
    run_tests "$file" || { echo "worker $k: the tests of $file fail unchanged, see $dir/test.log" >&2; return 1; }
  done
  awk -v k="$k" -v j="$jobs" '(NR - 1) % j == k - 1' "$work/mutants" >"$dir/mutants"
  while IFS=$'\t' read -r mark file line original mutated; do
    if [ "$mark" = E ]; then
      result=equivalent
    else
      touch "$dir/stamp"
      current=$file
      M="$mutated" awk -v n="$line" 'NR == n { print ENVIRON["M"]; next } { print }' \
        "$work/snapshot/$file" >"$dir/src/$file"
      run_tests "$file"
      case $? in
        0) result=survived ;;
        2) result=unbuilt ;;
        *) result=killed ;;
      esac
      cp "$work/snapshot/$file" "$dir/src/$file" # a newer time: the next build compiles it again
      current=""
      # A test that wrote into the sources (a reference picture, say) is undone too.
      (cd "$dir/src" && find . -path ./build -prune -o -type f -newer "$dir/stamp" -printf '%P\n') |
        while IFS= read -r changed; do
          [ "$changed" = "$file" ] || cp "$work/snapshot/$changed" "$dir/src/$changed" 2>/dev/null ||
            rm -f "$dir/src/$changed"
        done
    fi
    printf '%s\t%s\t%s\t%s\t%s\n' "$result" "$file" "$line" "$original" "$mutated" >>"$dir/results"
  done <"$dir/mutants"
}

files=("$@")
echo "mutate.sh: $(wc -l <"$work/mutants") mutants of ${#files[@]} file(s), $jobs worker(s) of $cores processor(s)"
pids=()
for ((k = 1; k <= jobs; k++)); do
  worker "$k" &
  pids+=($!)
done
failed=0
for pid in "${pids[@]}"; do wait "$pid" || failed=1; done
[ $failed -eq 0 ] || { echo "mutate.sh: a worker failed; no score" >&2; exit 1; }

for ((k = 1; k <= jobs; k++)); do cat "$work/w$k/results"; done | sort -t$'\t' -k2,2 -k3,3n >"$work/results"
awk -F'\t' '$1 == "survived" { printf "--- %s:%s\n-%s\n+%s\n", $2, $3, $4, $5 }' "$work/results"
awk -F'\t' '
  { n[$2 FS $1]++; seen[$2] = 1 }
  END {
    for (f in seen) {
      k = n[f FS "killed"] + 0; s = n[f FS "survived"] + 0
      printf "%s: %d killed, %d survived, %d not built, %d equivalent: score %s\n", f, k, s,
        n[f FS "unbuilt"] + 0, n[f FS "equivalent"] + 0, (k + s ? sprintf("%.1f%%", 100 * k / (k + s)) : "-")
    }
  }' "$work/results" | sort
exit
}
