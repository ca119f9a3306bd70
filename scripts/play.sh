#!/usr/bin/env bash
# Builds THE Quorvane and starts it from its run folder.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/deps.sh"
cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQV_TESTS=OFF -DQV_BENCH=OFF
cmake --build "$root/build" --target quorvane
cd "$root/build/run"
exec ./quorvane
