#!/usr/bin/env bash
# Builds everything and runs every test: the normal build (warnings as errors) with its unit,
# fuzz-seed and whole-program tests, then a build with AddressSanitizer and
# UndefinedBehaviorSanitizer that runs them all again.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/deps.sh" || exit 1
jobs=$(nproc)
status=0

# run_config NAME LABELS "TEST ENVIRONMENT" CMAKE-OPTIONS...
run_config() {
  local name=$1 labels=$2 test_env=$3; shift 3
  local dir="$root/build-$name"
  echo "=== $name: configure and build ==="
  cmake -S "$root" -B "$dir" -G Ninja "$@" >/dev/null || return 1
  cmake --build "$dir" -j "$jobs" || return 1
  echo "=== $name: tests ==="
  (cd "$dir" && env $test_env ctest --output-on-failure --timeout 600 -j "$jobs" -L "$labels") || return 1
}

run_config main "unit|e2e" "" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQV_WERROR=ON || status=1

# The Windows executable from the same sources, against the real SDK headers, and its tests
# under Wine.
if bash "$root/scripts/windows.sh" -DQV_WERROR=ON; then
  echo "=== windows: tests under Wine ==="
  (cd "$root/build-windows" && ctest --output-on-failure --timeout 900 -L wine) || status=1
else
  status=1
fi

# Mesa unloads its drivers before the leak check runs, which leaves their own allocations
# unattributable; keeping them loaded for the whole process lets the check see only ours.
preload=""
for lib in /usr/lib/*/dri/swrast_dri.so /usr/lib/*/libEGL_mesa.so.0 /usr/lib/*/libGLX_mesa.so.0; do
  [ -e "$lib" ] && preload="$preload:$lib"
done
sanitize_env="ASAN_OPTIONS=detect_leaks=1:verify_asan_link_order=0 LSAN_OPTIONS=suppressions=$root/tests/lsan.supp UBSAN_OPTIONS=print_stacktrace=1"
[ -n "$preload" ] && sanitize_env="$sanitize_env LD_PRELOAD=${preload#:}"
run_config sanitize "unit|e2e" "$sanitize_env" \
  -DCMAKE_BUILD_TYPE=Debug -DQV_WERROR=ON -DQV_SANITIZE=ON -DQV_BENCH=OFF || status=1

if [ $status -eq 0 ]; then echo "=== all test configurations passed ==="; else echo "=== a test configuration FAILED ==="; fi
exit $status
