# Shared steps of the whole-program tests: a private X server, a run folder of our own with the
# generated data, the game started in it, and ways to find its window, press keys and look.
# Each test script sources this file and calls e2e_setup first.
#
# Nothing here waits a fixed time for the game. Every wait polls for what it waits for, within
# a limit far above what the game needs on an idle machine (a busy machine or a sanitizer build
# makes it many times slower), and fails with a message that says what did not happen.
set -euo pipefail

E2E_GAME=${1:?usage: test.sh <path to quorvane>}
E2E_RUN_DIR=${QV_RUN_DIR:?QV_RUN_DIR is not set}
E2E_LIMIT=${QV_E2E_LIMIT:-300} # seconds that any one wait may take
E2E_TMP=""
# Libraries that the environment preloads are for the game alone (the sanitizer run keeps Mesa
# loaded for its leak check); the X server and the tools run without them.
E2E_GAME_PRELOAD=${LD_PRELOAD:-}
unset LD_PRELOAD
E2E_XVFB_PID=""
E2E_GAME_PID=""

e2e_fail() { echo "FAIL: $*" >&2; exit 1; }

e2e_cleanup() {
  [ -n "$E2E_GAME_PID" ] && kill "$E2E_GAME_PID" 2>/dev/null || true
  [ -n "$E2E_XVFB_PID" ] && kill "$E2E_XVFB_PID" 2>/dev/null || true
  wait 2>/dev/null || true
}

# True once the started game has ended (bash reaps its background children as they end).
e2e_game_ended() { [ -n "$E2E_GAME_PID" ] && ! kill -0 "$E2E_GAME_PID" 2>/dev/null; }

# Runs a command until it succeeds: e2e_wait_until SECONDS DESCRIPTION COMMAND... Fails after
# SECONDS, or at once when the game ends first.
e2e_wait_until() {
  local limit=$1 what=$2 end
  shift 2
  end=$((SECONDS + limit))
  until "$@"; do
    if e2e_game_ended; then
      e2e_fail "the game ended while waiting for $what: $(tail -n 5 "$E2E_TMP/game.err")"
    fi
    [ $SECONDS -lt $end ] || e2e_fail "$what: not within $limit s"
    sleep 0.2
  done
}

# Starts a private X server that takes a free display itself, so that tests running at once
# on this machine never share one, and exports DISPLAY once it accepts clients. The server ends
# with the shell that started it, however that ends (a timeout's kill included), so that it
# never outlives its test holding the runner's output. Keys do not repeat while held: the tests
# hold keys for as long as a slow frame needs, and a repeat would be a second press.
e2e_start_xvfb() {
  setpriv --pdeathsig TERM Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -r \
    3>"$E2E_TMP/display" </dev/null >"$E2E_TMP/xvfb.log" 2>&1 &
  E2E_XVFB_PID=$!
  local end=$((SECONDS + E2E_LIMIT))
  until grep -q . "$E2E_TMP/display" 2>/dev/null; do
    kill -0 "$E2E_XVFB_PID" 2>/dev/null || e2e_fail "the X server did not start: $(tail -n 3 "$E2E_TMP/xvfb.log")"
    [ $SECONDS -lt $end ] || e2e_fail "the X server gave no display within $E2E_LIMIT s"
    sleep 0.1
  done
  export DISPLAY=":$(head -n 1 "$E2E_TMP/display")"
  e2e_wait_until "$E2E_LIMIT" "the X server on $DISPLAY to answer" xwininfo -root >/dev/null 2>&1
}

# A fresh folder with the game's data (linked, not copied) and no Config.dat, and an X server.
e2e_setup() {
  E2E_TMP=$(mktemp -d "${TMPDIR:-/tmp}/qv-e2e.XXXXXX")
  ln -s "$E2E_RUN_DIR/data" "$E2E_TMP/data"
  # The single-instance lock lives in the runtime folder: a private one keeps copies of the
  # game that run elsewhere on this machine from counting as a first copy.
  export XDG_RUNTIME_DIR="$E2E_TMP/runtime"
  mkdir -m 700 "$XDG_RUNTIME_DIR"
  trap e2e_cleanup EXIT
  unset SDL_VIDEODRIVER
  export SDL_AUDIODRIVER=dummy
  e2e_start_xvfb
}

# The run folder copied whole: the executable and the data tree, so the game runs as it would
# from its own folder.
e2e_copy_run_folder() {
  rm "$E2E_TMP/data"
  cp -r "$E2E_RUN_DIR/data" "$E2E_TMP/data"
  cp "$E2E_GAME" "$E2E_TMP/"
  E2E_GAME="$E2E_TMP/$(basename "$E2E_GAME")"
}

# Starts the game in the test folder; its standard error goes to game.err there.
e2e_start_game() {
  (cd "$E2E_TMP" && LD_PRELOAD=$E2E_GAME_PRELOAD exec "$E2E_GAME" >"$E2E_TMP/game.out" 2>"$E2E_TMP/game.err") &
  E2E_GAME_PID=$!
}

# The id of a viewable top-level window with exactly this title, in any script; fails when
# there is none. The server's own list of top-level windows is read, as xdotool cannot match
# titles outside Latin-1, and xdotool's search too, for windows below the top level.
e2e_find_window() {
  local id
  for id in $(xwininfo -root -children 2>/dev/null | grep -F "\"$1\":" | awk '{ print $1 }' || true) \
    $(xdotool search --name "^${1}\$" 2>/dev/null || true); do
    if xwininfo -id "$id" 2>/dev/null | grep -q 'IsViewable'; then echo $((id)); return 0; fi
  done
  return 1
}

# The size of a window as "WIDTH HEIGHT": e2e_window_size WINDOW.
e2e_window_size() {
  xwininfo -id "$1" | awk '/Width:/ { w = $2 } /Height:/ { h = $2 } END { print w, h }'
}

# A picture of a window, within a time limit (import can wait without end for a window that
# has gone): e2e_grab WINDOW FILE [import options before the file...].
e2e_grab() {
  local window=$1 file=$2
  timeout 20 import -window "$window" "${@:3}" "$file"
}

# Waits until a window with the given title is visible; prints its id. When none shows, the
# failure lists the windows that the server has.
e2e_wait_window() {
  local limit=$E2E_LIMIT
  if ! (E2E_LIMIT=$limit e2e_wait_until "$limit" "a window titled '$1'" e2e_find_window "$1" >/dev/null 2>&1); then
    e2e_game_ended && e2e_fail "the game ended before its window '$1' showed: $(tail -n 5 "$E2E_TMP/game.err")"
    e2e_fail "no window titled '$1' within $limit s on $DISPLAY; its windows: $(xwininfo -root -tree 2>&1 | grep -E '^ +0x' | head -n 20 | tr -s ' ' | tr '\n' ';')"
  fi
  e2e_find_window "$1"
}

# Waits for the game to end and fails unless its exit code is the expected one.
e2e_expect_exit() {
  local expected=$1 seconds=${2:-$E2E_LIMIT} code end
  end=$((SECONDS + seconds))
  while kill -0 "$E2E_GAME_PID" 2>/dev/null; do
    [ $SECONDS -lt $end ] || e2e_fail "the game did not end within $seconds s"
    sleep 0.1
  done
  wait "$E2E_GAME_PID" && code=0 || code=$?
  E2E_GAME_PID=""
  [ "$code" = "$expected" ] || e2e_fail "the game ended with $code, not $expected: $(tail -n 5 "$E2E_TMP/game.err")"
}

# Gives the window the keyboard (there is no window manager under Xvfb). The game sees the
# focus arrive before any key sent after this, as the server queues both in order.
e2e_focused() { [ "$(xdotool getwindowfocus 2>/dev/null)" = "$1" ]; }
e2e_focus() {
  xdotool windowfocus "$1"
  e2e_wait_until "$E2E_LIMIT" "the keyboard focus on window $1" e2e_focused "$1"
}

# Presses a key (with modifiers, e.g. "alt+c") that acts through its own message: menus,
# accelerators, boxes. The game takes such messages in order, however busy it is.
e2e_press() {
  local keys=(${1//+/ }) i
  for i in "${keys[@]}"; do xdotool keydown "$i"; done
  sleep 0.15
  for ((i = ${#keys[@]} - 1; i >= 0; i--)); do xdotool keyup "${keys[$i]}"; done
}

# Holds a key (with modifiers) that the game reads from the keyboard state once a frame, until
# a command says it has acted: e2e_hold KEYS DESCRIPTION COMMAND...
e2e_hold() {
  local keys=(${1//+/ }) what=$2 i
  shift 2
  for i in "${keys[@]}"; do xdotool keydown "$i"; done
  e2e_wait_until "$E2E_LIMIT" "$what" "$@"
  for ((i = ${#keys[@]} - 1; i >= 0; i--)); do xdotool keyup "${keys[$i]}"; done
}

# Waits until a file exists and is not empty.
e2e_wait_file() { e2e_wait_until "$E2E_LIMIT" "the file $1" test -s "$1"; }

# The window's client area (the bottom WxH of the window, below the menu bar that the layer
# draws inside it) as a picture: e2e_client_shot WINDOW W H FILE.
e2e_client_shot() {
  e2e_grab "$1" "$4.whole.png" 2>/dev/null &&
    convert "$4.whole.png" -gravity south -crop "${2}x${3}+0+0" +repage "$4"
}

# Waits until the client area (W x H) of a window has shown two new pictures: the frame that
# drew the second began after the first was on the screen, so it read the keyboard as it is
# now. A key that the game reads once a frame can be pressed again only after a frame has seen
# it released: e2e_wait_frames WINDOW W H.
E2E_LAST_FRAME=""
e2e_new_frame() {
  local signature
  e2e_client_shot "$1" "$2" "$3" "$E2E_TMP/frame.png" || return 1
  signature=$(convert "$E2E_TMP/frame.png" -format '%#' info:)
  [ "$signature" != "$E2E_LAST_FRAME" ] || return 1
  E2E_LAST_FRAME=$signature
}
e2e_wait_frames() {
  e2e_new_frame "$@" || true
  e2e_wait_until "$E2E_LIMIT" "a new frame in window $1" e2e_new_frame "$@"
  e2e_wait_until "$E2E_LIMIT" "a second new frame in window $1" e2e_new_frame "$@"
}

# Whether a number is above a limit (both may be fractions).
e2e_above() { awk -v v="$1" -v l="$2" 'BEGIN { exit !(v > l) }'; }

# Whether the client area shows more than black: the game is drawing its frames.
e2e_client_lit() {
  e2e_client_shot "$1" "$2" "$3" "$E2E_TMP/lit.png" &&
    e2e_above "$(convert "$E2E_TMP/lit.png" -format '%[fx:mean]' info:)" 0.02
}
e2e_wait_running() { e2e_wait_until "$E2E_LIMIT" "frames drawn in window $1" e2e_client_lit "$@"; }

# Whether the white text of a reference crop is drawn in one of the regions (WxH+X+Y) of a
# picture: e2e_text_in PICTURE REFERENCE REGION... Every white pixel of the reference must be
# white in the picture, whatever the scene behind the text shows; the region must not be white
# all over, or the check would prove nothing.
e2e_text_in() {
  local picture=$1 reference=$2 region base missing coverage
  local white='r>0.8&&g>0.8&&b>0.8'
  base="$E2E_TMP/$(basename "$reference" .png)"
  convert "$reference" -fx "$white" "$base.expected-mask.png"
  for region in "${@:3}"; do
    convert "$picture" -crop "$region" +repage "$base.actual.png" || return 1
    convert "$base.actual.png" -fx "$white" "$base.actual-mask.png"
    missing=$(convert "$base.expected-mask.png" "$base.actual-mask.png" -compose minus_src -composite \
      -format '%[fx:round(mean*w*h)]' info:)
    coverage=$(convert "$base.actual-mask.png" -format '%[fx:mean]' info:)
    [ "$missing" -le 4 ] && e2e_above 0.75 "$coverage" && return 0
  done
  return 1
}

# Fails unless the text of the reference is in one of the regions of the picture:
# e2e_expect_text PICTURE REGION REFERENCE [REGION...]. QV_UPDATE_REFERENCES=1 writes the
# first region as the reference instead.
e2e_expect_text() {
  local picture=$1 region=$2 reference=$3
  if [ "${QV_UPDATE_REFERENCES:-0}" = 1 ]; then convert "$picture" -crop "$region" +repage "$reference"; return 0; fi
  e2e_text_in "$picture" "$reference" "$region" "${@:4}" ||
    e2e_fail "the text of $reference is not in $region ${*:4} of $picture (see $E2E_TMP/$(basename "$reference" .png).actual.png)"
}

# Whether a window with this title shows, and waits for one to show or to go.
e2e_window_shown() { e2e_find_window "$1" >/dev/null; }
e2e_window_gone() { ! e2e_window_shown "$1"; }
e2e_wait_shown() { e2e_wait_until "$E2E_LIMIT" "a window titled '$1'" e2e_window_shown "$1"; }
e2e_wait_gone() { e2e_wait_until "$E2E_LIMIT" "the window titled '$1' to go" e2e_window_gone "$1"; }
