#!/usr/bin/env bash
# A second copy started while the first runs ends at once with 0 and brings the first
# copy's window to the front.
source "$(dirname "$0")/lib/common.bash"
e2e_setup
e2e_start_game
win=$(e2e_wait_window "THE Quorvane")
xdotool windowfocus "$(xwininfo -root | awk '/Window id:/ { print $4 }')"
unfocused() { ! e2e_focused "$1"; }
e2e_wait_until "$E2E_LIMIT" "the focus to leave the window" unfocused "$win"

# "At once": it does not wait for the first copy, which runs until the Escape below.
start=$SECONDS
(cd "$E2E_TMP" && LD_PRELOAD=$E2E_GAME_PRELOAD timeout "$E2E_LIMIT" "$E2E_GAME" >/dev/null 2>"$E2E_TMP/second.err") && code=0 || code=$?
[ "$code" != 124 ] || e2e_fail "the second copy did not end within $E2E_LIMIT s"
[ "$code" = 0 ] || e2e_fail "the second copy ended with $code after $((SECONDS - start)) s"
[ "$(xdotool search --name '^THE Quorvane$' | wc -l)" = 1 ] || e2e_fail "the second copy made a window"
e2e_wait_until "$E2E_LIMIT" "the first copy's window brought to the front" e2e_focused "$win"

e2e_focus "$win"
e2e_hold Escape "the game to end on Escape" e2e_game_ended
e2e_expect_exit 0
echo "SecondCopy passed"
