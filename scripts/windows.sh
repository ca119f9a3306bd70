#!/usr/bin/env bash
# Builds the Windows executable, build-windows/run/quorvane.exe with the data tree beside it: a
# 32-bit x86 program, from the same game sources against MinGW-w64's Win32 and DirectX headers
# and libraries, with platform/ left out. Installs the Debian packages it needs, 32-bit Wine
# among them, adding Debian's i386 architecture when the machine lacks it. libogg and libvorbis
# are built for the same target from Debian's own sources, fetched with an apt configuration of
# the build folder's own, into build-windows/deps/prefix, which later builds reuse. Nothing
# outside the build folder is changed but the architecture and the packages installed.
# Arguments go to CMake (for example -DQV_WERROR=ON).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-windows"
deps="$build/deps"
prefix="$deps/prefix"
toolchain="$root/cmake/mingw-w64-i686.cmake"
triple=i686-w64-mingw32

fail() {
  echo "windows.sh: $*" >&2
  exit 1
}

bash "$root/scripts/deps.sh" || fail "the packages of scripts/packages.txt could not be installed"

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
mkdir -p "$build"

# apt-get with the given arguments; while another apt or dpkg holds the package locks it waits
# and tries again, for up to half an hour.
apt_run() {
  local log="$build/apt.log" tries=0
  until $sudo env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=60 "$@" >"$log" 2>&1; do
    if grep -qE 'Could not get lock|Unable to acquire|Unable to lock|is another process using it' "$log" &&
      [ $tries -lt 180 ]; then
      [ $tries -eq 0 ] && echo "windows.sh: apt is busy with another install; waiting for it"
      tries=$((tries + 1))
      sleep 10
      continue
    fi
    cat "$log" >&2
    return 1
  done
}

# The packages of scripts/packages-windows.txt that are missing.
mapfile -t wanted < <(grep -vE '^\s*(#|$)' "$root/scripts/packages-windows.txt")
missing=()
for p in "${wanted[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  added_i386=0
  if printf '%s\n' "${missing[@]}" | grep -q ':i386$' && ! dpkg --print-foreign-architectures | grep -qx i386; then
    echo "windows.sh: adding Debian's i386 architecture (dpkg --add-architecture i386) for 32-bit Wine"
    $sudo dpkg --add-architecture i386 || fail "the i386 architecture could not be added"
    added_i386=1
  fi
  echo "windows.sh: installing ${missing[*]}"
  apt_run update || fail "apt-get update failed"
  # Every package must be available before anything is installed; when one is not, the
  # architecture added above is taken away again and nothing else is changed.
  unavailable=()
  for p in "${missing[@]}"; do
    [[ "$(apt-cache policy "$p" 2>/dev/null)" == *"Candidate: "[!\(]* ]] || unavailable+=("$p")
  done
  if [ ${#unavailable[@]} -gt 0 ]; then
    if [ $added_i386 = 1 ]; then
      $sudo dpkg --remove-architecture i386 && apt_run update ||
        echo "windows.sh: the i386 architecture added above could not be removed again" >&2
    fi
    fail "these packages cannot be had from the machine's apt sources: ${unavailable[*]}"
  fi
  apt_run install -y --no-install-recommends "${missing[@]}" || fail "could not install: ${missing[*]}"
fi

# deb-src entries for the Debian archive the machine already uses: its own entries for its
# release, read from its sources lists (one-line and deb822 forms), with the type changed.
write_source_entries() {
  local codename
  codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
  [ -n "$codename" ] || fail "/etc/os-release names no release, so no Debian sources can be chosen"
  local f
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -r "$f" ] || continue
    awk -v code="$codename" '$1 == "deb" {
        uri = 2
        if ($2 ~ /^\[/) { while (uri <= NF && $uri !~ /\]$/) uri++; uri++ }
        if ($(uri + 1) ~ ("^" code "(-|$)")) { $1 = "deb-src"; print }
      }' "$f"
  done >"$apt_dir/sources.list"
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -r "$f" ] || continue
    awk -v code="$codename" 'BEGIN { RS = ""; FS = "\n" }
      {
        types = ""; suites = ""
        for (i = 1; i <= NF; i++) {
          if ($i ~ /^Types:/) types = $i
          if ($i ~ /^Suites:/) suites = $i
        }
        if (types ~ /[ \t]deb([ \t]|$)/ && suites ~ ("[ \t]" code "([ \t-]|$)")) {
          for (i = 1; i <= NF; i++)
            if ($i ~ /^Types:/) print "Types: deb-src"
            else if ($i !~ /^#/) print $i
          print ""
        }
      }' "$f" >"$apt_dir/sources.list.d/$(basename "$f")"
  done
  [ -s "$apt_dir/sources.list" ] || grep -qs '^Types:' "$apt_dir"/sources.list.d/*.sources ||
    fail "the machine's apt sources name no Debian archive for $codename"
}

# libogg and libvorbis for Windows, once for each target: the prefix's stamp names the target
# and the toolchain file it was built with, then the sources; another target or toolchain
# builds them again.
target_line="target $triple, toolchain $(sha256sum "$toolchain" | cut -c1-16)"
if [ "$(head -n 1 "$prefix/built-from" 2>/dev/null)" != "$target_line" ]; then
  apt_dir="$deps/apt"
  rm -rf "$apt_dir" "$deps/src" "$deps/build" "$prefix"
  mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$apt_dir/sources.list.d" "$deps/src"
  write_source_entries
  apt_options=(-o "Dir::Etc::SourceList=$apt_dir/sources.list" -o "Dir::Etc::SourceParts=$apt_dir/sources.list.d"
    -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache=$apt_dir/cache" -o "APT::Sandbox::User=$(id -un)")
  echo "=== windows: fetching the Debian sources of libogg and libvorbis ==="
  apt-get "${apt_options[@]}" -qq update || fail "the Debian source index could not be fetched (entries: $apt_dir)"
  (cd "$deps/src" && apt-get "${apt_options[@]}" -qq source libogg libvorbis >"$deps/source.log" 2>&1) ||
    fail "the Debian sources of libogg and libvorbis could not be fetched: $(tail -n 3 "$deps/source.log")"
  echo "$target_line" >"$deps/built-from.tmp"
  for lib in libogg libvorbis; do
    src=$(find "$deps/src" -mindepth 1 -maxdepth 1 -type d -name "$lib-*" | head -n 1)
    [ -n "$src" ] || fail "the source of $lib was fetched but not unpacked (see $deps/source.log)"
    echo "=== windows: building $(basename "$src") for Windows ==="
    log="$deps/build-$lib.log"
    { cmake -S "$src" -B "$deps/build/$lib" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_FIND_ROOT_PATH="$prefix" \
        -DBUILD_SHARED_LIBS=OFF -DBUILD_TESTING=OFF -DINSTALL_DOCS=OFF &&
      cmake --build "$deps/build/$lib" -j "$(nproc)" &&
      cmake --install "$deps/build/$lib"; } >"$log" 2>&1 ||
      fail "$lib could not be built for Windows: $(tail -n 5 "$log")"
    basename "$src" >>"$deps/built-from.tmp"
  done
  mv "$deps/built-from.tmp" "$prefix/built-from"
fi

echo "=== windows: configure and build ==="
# A build folder configured for another target or toolchain is configured again from scratch.
if [ "$(cat "$build/configured-for" 2>/dev/null)" != "$target_line" ]; then
  rm -rf "$build/CMakeCache.txt" "$build/CMakeFiles"
  echo "$target_line" >"$build/configured-for"
fi
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_FIND_ROOT_PATH="$prefix" "$@" >/dev/null
cmake --build "$build" -j "$(nproc)"
echo "Built $build/run/quorvane.exe"
