# Shared steps of the tests of the Windows build under Wine. On top of the whole-program tests'
# private X server and folder: a copy of the run folder, and a 32-bit Wine prefix and HOME of
# the test's own, with a Japanese locale made into a private LOCPATH, IPAGothic for the system's
# Japanese fonts and a null ALSA device, so that DirectMusic starts without a sound card.
# Each test script sources this file and calls wine_setup first; the program under test is its
# first argument.
source "$(dirname "${BASH_SOURCE[0]}")/../../e2e/lib/common.bash"

WINE_PROGRAM=$(basename "$E2E_GAME")

WINE_PASSED=0

wine_cleanup() {
  # Ends the processes of this test's own prefix only. The prefix and the copied run folder go;
  # a failed test leaves its logs and pictures behind.
  if [ -n "${WINEPREFIX:-}" ] && [ -d "$WINEPREFIX" ]; then
    timeout 30 wineserver -k 2>/dev/null || true
  fi
  e2e_cleanup
  if [ -n "$E2E_TMP" ]; then
    if [ "$WINE_PASSED" = 1 ]; then
      rm -rf "$E2E_TMP"
    else
      rm -rf "$E2E_TMP/home" "$E2E_TMP/data" "$E2E_TMP/$WINE_PROGRAM" "$E2E_TMP/locale"
      if [ -s "$E2E_TMP/game.err" ]; then
        echo "last lines of $E2E_TMP/game.err:" >&2
        tail -n 15 "$E2E_TMP/game.err" >&2
      fi
    fi
  fi
}

# Marks the test passed, so that its folder goes at exit.
wine_passed() {
  WINE_PASSED=1
  echo "$1 passed"
}

# The locale the programs run in: Japanese, unless a test sets another (C.UTF-8 is English).
WINE_LOCALE=ja_JP.UTF-8

# Runs a Windows program in the test's locale, with Wine's errors in wine.log.
wine_run() { env LANG=$WINE_LOCALE LC_ALL=$WINE_LOCALE wine "$@" 2>>"$E2E_TMP/wine.log"; }

wine_fail() { e2e_fail "$* (last lines of $E2E_TMP/wine.log: $(tail -n 5 "$E2E_TMP/wine.log" 2>/dev/null | tr '\n' ' '))"; }

# Waits, at most the given seconds, until every process of the prefix has ended.
wine_wait_idle() { timeout "$1" wineserver -w || wine_fail "Wine's processes did not end within $1 s"; }

wine_setup() {
  command -v wine >/dev/null || e2e_fail "wine is not installed (scripts/windows.sh installs it)"
  e2e_setup
  trap wine_cleanup EXIT
  # The program starts in a copy of the run folder.
  rm "$E2E_TMP/data"
  cp -r "$E2E_RUN_DIR/data" "$E2E_TMP/data"
  cp "$E2E_GAME" "$E2E_TMP/$WINE_PROGRAM"

  # The programs are 32-bit; a prefix without the 64-bit half is made sooner.
  export HOME="$E2E_TMP/home" WINEPREFIX="$E2E_TMP/home/wine" WINEARCH=win32
  # Only errors are logged; no Mono or Gecko installer is offered and no menu entries are made.
  export WINEDEBUG=-all,err+all WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe=d"
  mkdir -p "$HOME"
  printf 'pcm.!default {\n  type null\n}\n' >"$HOME/.asoundrc"
  export LOCPATH="$E2E_TMP/locale"
  mkdir -p "$LOCPATH"
  localedef -i ja_JP -f UTF-8 "$LOCPATH/ja_JP.UTF-8" >"$E2E_TMP/localedef.log" 2>&1 ||
    e2e_fail "the ja_JP.UTF-8 locale could not be made: $(tail -n 3 "$E2E_TMP/localedef.log")"

  # A new prefix takes a while on a busy machine: wait for its set-up to end, generously.
  wine_run wineboot -i || wine_fail "wineboot could not make the prefix $WINEPREFIX"
  wine_wait_idle 600
  printf '%s\r\n' 'Windows Registry Editor Version 5.00' '' \
    '[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]' \
    '"MS UI Gothic"="IPAGothic"' '"MS Gothic"="IPAGothic"' '"ＭＳ ゴシック"="IPAGothic"' \
    '"MS PGothic"="IPAPGothic"' '"ＭＳ Ｐゴシック"="IPAPGothic"' | iconv -f UTF-8 -t UTF-16 >"$E2E_TMP/fonts.reg"
  wine_run regedit /S "$(winepath -w "$E2E_TMP/fonts.reg" 2>/dev/null)" || wine_fail "the font replacements could not be registered"
  wine_wait_idle 120
}

# Starts the program in the test folder under Wine; its output goes to game.out and game.err.
wine_start() {
  (cd "$E2E_TMP" && exec env LANG=$WINE_LOCALE LC_ALL=$WINE_LOCALE wine "./$WINE_PROGRAM" "$@" \
    >"$E2E_TMP/game.out" 2>"$E2E_TMP/game.err") &
  E2E_GAME_PID=$!
}
