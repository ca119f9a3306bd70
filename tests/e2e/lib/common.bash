# Shared steps of the whole-program tests: a private X server, a run folder of our own with the
# generated data, the game started in it, and ways to find its window, press keys and look.
# Each test script sources this file and calls e2e_setup first.
set -euo pipefail

E2E_GAME=${1:?usage: test.sh <path to quorvane>}
E2E_RUN_DIR=${QV_RUN_DIR:?QV_RUN_DIR is not set}
E2E_TMP=""
E2E_XVFB_PID=""
E2E_GAME_PID=""

e2e_fail() { echo "FAIL: $*" >&2; exit 1; }

e2e_cleanup() {
  [ -n "$E2E_GAME_PID" ] && kill "$E2E_GAME_PID" 2>/dev/null || true
  [ -n "$E2E_XVFB_PID" ] && kill "$E2E_XVFB_PID" 2>/dev/null || true
  wait 2>/dev/null || true
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
  local display
  for display in $(seq 90 140); do
    [ -e "/tmp/.X11-unix/X$display" ] && continue
    Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    E2E_XVFB_PID=$!
    for _ in $(seq 1 50); do
      [ -e "/tmp/.X11-unix/X$display" ] && break
      sleep 0.1
    done
    # The socket can exist before the server answers: wait until it does.
    for _ in $(seq 1 50); do
      DISPLAY=":$display" xwininfo -root >/dev/null 2>&1 && break
      sleep 0.1
    done
    if kill -0 "$E2E_XVFB_PID" 2>/dev/null && DISPLAY=":$display" xwininfo -root >/dev/null 2>&1; then
      export DISPLAY=":$display"
      unset SDL_VIDEODRIVER
      export SDL_AUDIODRIVER=dummy
      return 0
    fi
  done
  e2e_fail "no X server could be started"
}

# Starts the game in the test folder; its standard error goes to game.err there.
e2e_start_game() {
  (cd "$E2E_TMP" && exec "$E2E_GAME" >"$E2E_TMP/game.out" 2>"$E2E_TMP/game.err") &
  E2E_GAME_PID=$!
}

# Waits until a window with the given title is visible; prints its id.
e2e_wait_window() {
  local title=$1 id
  for _ in $(seq 1 600); do
    if [ -n "$E2E_GAME_PID" ] && ! kill -0 "$E2E_GAME_PID" 2>/dev/null; then
      e2e_fail "the game ended before its window '$title' showed: $(tail -n 5 "$E2E_TMP/game.err")"
    fi
    for id in $(xdotool search --name "^${title}\$" 2>/dev/null || true); do
      if xwininfo -id "$id" 2>/dev/null | grep -q 'IsViewable'; then echo "$id"; return 0; fi
    done
    sleep 0.1
  done
  e2e_fail "no window titled '$title'"
}

# Waits for the game to end and fails unless its exit code is the expected one.
e2e_expect_exit() {
  local expected=$1 seconds=${2:-20} code
  for _ in $(seq 1 $((seconds * 10))); do
    if ! kill -0 "$E2E_GAME_PID" 2>/dev/null; then
      wait "$E2E_GAME_PID" && code=0 || code=$?
      E2E_GAME_PID=""
      [ "$code" = "$expected" ] || e2e_fail "the game ended with $code, not $expected"
      return 0
    fi
    sleep 0.1
  done
  e2e_fail "the game did not end within $seconds s"
}

e2e_key() { xdotool key --window "$1" --clearmodifiers "${@:2}"; }
e2e_screenshot() { import -window root "$1"; }

# Gives the window the keyboard (there is no window manager under Xvfb).
e2e_focus() { xdotool windowfocus --sync "$1" 2>/dev/null || xdotool windowfocus "$1"; sleep 0.3; }

# Holds a key (with modifiers, e.g. "alt+c") long enough for a frame to see it.
e2e_press() {
  local keys=(${1//+/ })
  local k
  for k in "${keys[@]}"; do xdotool keydown "$k"; done
  sleep 0.15
  for ((i = ${#keys[@]} - 1; i >= 0; i--)); do xdotool keyup "${keys[$i]}"; done
  sleep 0.25
}

# Waits until a file exists; fails otherwise.
e2e_wait_file() {
  for _ in $(seq 1 100); do [ -s "$1" ] && return 0; sleep 0.1; done
  e2e_fail "no file $1"
}

# Checks that the white text of a reference crop (WxH+X+Y of a picture) is drawn in that region:
# every white pixel of the reference must be white in the picture, whatever the scene behind
# the text shows. The region must not be white all over, or the check would prove nothing.
e2e_expect_text() {
  local picture=$1 region=$2 reference=$3 base
  base="$E2E_TMP/$(basename "$reference" .png)"
  convert "$picture" -crop "$region" +repage "$base.actual.png"
  if [ "${QV_UPDATE_REFERENCES:-0}" = 1 ]; then cp "$base.actual.png" "$reference"; return 0; fi
  local white='r>0.8&&g>0.8&&b>0.8'
  convert "$reference" -fx "$white" "$base.expected-mask.png"
  convert "$base.actual.png" -fx "$white" "$base.actual-mask.png"
  local missing coverage
  missing=$(convert "$base.expected-mask.png" "$base.actual-mask.png" -compose minus_src -composite \
    -format '%[fx:round(mean*w*h)]' info:)
  coverage=$(convert "$base.actual-mask.png" -format '%[fx:mean]' info:)
  [ "$missing" -le 4 ] || e2e_fail "$missing pixels of the text of $reference are missing in $region of $picture (see $base.actual.png)"
  awk -v c="$coverage" 'BEGIN { exit !(c < 0.75) }' || e2e_fail "$region of $picture is white all over"
}

# Whether a viewable top-level window with exactly this title exists (any script; xdotool
# cannot match titles outside Latin-1).
e2e_window_shown() {
  local ids id
  ids=$(xwininfo -root -children 2>/dev/null | grep -F "\"$1\":" | awk '{ print $1 }' || true)
  for id in $ids; do
    [[ "$(xwininfo -id "$id" 2>/dev/null)" == *IsViewable* ]] && return 0
  done
  return 1
}

e2e_wait_shown() {
  for _ in $(seq 1 50); do e2e_window_shown "$1" && return 0; sleep 0.1; done
  e2e_fail "no window titled '$1'"
}

e2e_wait_gone() {
  for _ in $(seq 1 50); do e2e_window_shown "$1" || return 0; sleep 0.1; done
  e2e_fail "the window titled '$1' is still shown"
}
