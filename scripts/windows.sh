#!/usr/bin/env bash
# Builds the Windows executable, build-windows/run/quorvane.exe with the data tree beside it,
# from the same game sources against MinGW-w64's Win32 and DirectX headers and libraries, with
# platform/ left out. Installs the Debian packages it needs. libogg and libvorbis are built for
# Windows from Debian's own sources, fetched with an apt configuration of the build folder's own,
# into build-windows/deps/prefix, which later builds reuse. Nothing outside the build folder is
# changed but the packages installed. Arguments go to CMake (for example -DQV_WERROR=ON).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-windows"
deps="$build/deps"
prefix="$deps/prefix"
toolchain="$root/cmake/mingw-w64-x86_64.cmake"

fail() {
  echo "windows.sh: $*" >&2
  exit 1
}

bash "$root/scripts/deps.sh" || fail "the packages of scripts/packages.txt could not be installed"
bash "$root/scripts/deps.sh" "$root/scripts/packages-windows.txt" ||
  fail "the packages of scripts/packages-windows.txt could not be installed"

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

# libogg and libvorbis for Windows, once: the prefix's stamp names what it holds.
if [ ! -e "$prefix/built-from" ]; then
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
    basename "$src" >>"$prefix/built-from.tmp"
  done
  mv "$prefix/built-from.tmp" "$prefix/built-from"
fi

echo "=== windows: configure and build ==="
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_FIND_ROOT_PATH="$prefix" "$@" >/dev/null
cmake --build "$build" -j "$(nproc)"
echo "Built $build/run/quorvane.exe"
