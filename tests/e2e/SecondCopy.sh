#!/usr/bin/env bash
# A second copy started while the first runs ends at once with 0 and brings the first
# copy's window to the front.
source "$(dirname "$0")/lib/common.bash"
e2e_setup
e2e_start_game
win=$(e2e_wait_window "THE Quorvane")
root=$(xwininfo -root | awk '/Window id:/ { print $4 }')
xdotool windowfocus "$root"
sleep 0.3
[ "$(xdotool getwindowfocus)" != "$win" ] || e2e_fail "the window kept the focus"

start=$(date +%s%N)
(cd "$E2E_TMP" && timeout 20 "$E2E_GAME" >/dev/null 2>"$E2E_TMP/second.err")
code=$?
elapsed_ms=$((($(date +%s%N) - start) / 1000000))
[ "$code" = 0 ] || e2e_fail "the second copy ended with $code"
[ "$elapsed_ms" -lt 10000 ] || e2e_fail "the second copy took $elapsed_ms ms to end"
[ "$(xdotool search --name '^THE Quorvane$' | wc -l)" = 1 ] || e2e_fail "the second copy made a window"
sleep 0.3
[ "$(xdotool getwindowfocus)" = "$win" ] || e2e_fail "the first copy's window was not brought to the front"

e2e_focus "$win"
e2e_press Escape
e2e_expect_exit 0
echo "SecondCopy passed"
