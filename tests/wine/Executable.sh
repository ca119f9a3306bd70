#!/usr/bin/env bash
# The Windows executable's own headers, read with MinGW's objdump: a 32-bit x86 GUI program that
# imports only DLLs that Windows ships, and the DirectX End-User Runtime's D3DX, and no MinGW
# runtime DLL, with its manifest (UTF-8 process code page, supported Windows versions).
set -euo pipefail
exe=${1:?usage: Executable.sh <quorvane.exe> <objdump>}
objdump=${2:?usage: Executable.sh <quorvane.exe> <objdump>}
fail() { echo "FAIL: $*" >&2; exit 1; }

headers=$("$objdump" -p "$exe") || fail "$objdump cannot read $exe"
grep -q 'file format pei-i386' <<<"$headers" || fail "$exe is not a 32-bit x86 program: $(grep 'file format' <<<"$headers")"
grep -qE '^Magic[[:space:]]+010b' <<<"$headers" || fail "$exe has no PE32 optional header"
grep -qE '^Subsystem[[:space:]]+0+2[[:space:]]' <<<"$headers" ||
  fail "$exe is not a GUI program: $(grep '^Subsystem' <<<"$headers")"

# What Windows itself ships (the C runtime msvcrt.dll among it), and D3DX from the runtime.
allowed=" advapi32.dll d3d9.dll d3dx9_43.dll dsound.dll gdi32.dll kernel32.dll msvcrt.dll ole32.dll oleaut32.dll "
allowed+="shell32.dll user32.dll version.dll winmm.dll "
imports=$(awk '/DLL Name:/ { print tolower($3) }' <<<"$headers")
[ -n "$imports" ] || fail "$exe imports no DLL at all: the import table was not read"
for dll in $imports; do
  [[ "$allowed" == *" $dll "* ]] || fail "$exe imports $dll, which Windows does not ship (imports: $(echo $imports))"
done
grep -qx 'd3dx9_43.dll' <<<"$imports" || fail "$exe does not import d3dx9_43.dll"

# The manifest: resource type 24 (RT_MANIFEST) with id 1, which the loader reads at start.
awk '/The .rsrc Resource Directory/ { rsrc = 1 }
     rsrc && /^[0-9a-f]+   Entry: ID: 0x000018,/ { type = 1; next }
     type && /^[0-9a-f]+   Entry:/ { type = 0 }
     type && /^[0-9a-f]+     Entry: ID: 0x000001,/ { found = 1 }
     END { exit !found }' <<<"$headers" || fail "$exe has no manifest resource (type 24, id 1)"
text=$(strings -n 8 "$exe")
grep -q '<activeCodePage[^>]*>UTF-8</activeCodePage>' <<<"$text" || fail "the manifest does not set the UTF-8 code page"
grep -qi 'supportedOS Id="{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"' <<<"$text" ||
  fail "the manifest does not declare Windows 10 and 11"
echo "Executable passed ($(echo $imports))"
