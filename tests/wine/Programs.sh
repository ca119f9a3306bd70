#!/usr/bin/env bash
# Every generated model through Wine's own D3DX, which knows only the basic templates before it
# reads a file: the files load because they declare the templates they use.
source "$(dirname "$0")/lib/wine.bash"
wine_setup
trap 'cat "$E2E_TMP/game.out"; wine_cleanup' EXIT
wine_start 'data\xfile'
e2e_expect_exit 0 300
wine_passed WineModels
