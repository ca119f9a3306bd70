#!/usr/bin/env bash
# The small Windows test programs under Wine, in one prefix: every generated model through
# Wine's own D3DX, which knows only the basic templates before it reads a file (the files load
# because they declare the templates they use); and the double results of the game's code after
# a Direct3D device is made, which must equal the host build's bit for bit although the device
# sets the x87 unit to single precision.
# Usage: Programs.sh <qv_load_models.exe> <qv_double_results.exe> <host qv_double_results>
source "$(dirname "$0")/lib/wine.bash"
doubles=${2:?the Windows double-results program}
host_doubles=${3:?the host double-results program}
wine_setup
trap 'cat "$E2E_TMP/game.out"; wine_cleanup' EXIT
wine_start 'data\xfile'
e2e_expect_exit 0 300

cp "$doubles" "$E2E_TMP/doubles.exe"
"$host_doubles" >"$E2E_TMP/doubles.host" || e2e_fail "the host's double results could not be computed"
(cd "$E2E_TMP" && wine_run ./doubles.exe | tr -d '\r' >"$E2E_TMP/doubles.windows") ||
  wine_fail "the double-results program failed under Wine"
grep -h 'x87 precision' "$E2E_TMP/wine.log" || true
diff "$E2E_TMP/doubles.host" "$E2E_TMP/doubles.windows" >&2 ||
  e2e_fail "double results after CreateDevice differ from the host's (above: host <, Windows >)"
wine_passed WinePrograms
