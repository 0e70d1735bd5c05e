#!/bin/bash
# Configures and builds into build/; build/workspace/ is then a ready
# workspace: the program, the map background, the panel templates and the
# sample adventure.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cmake -S "$top" -B "$top/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$top/build" -j "$(nproc)" "$@"
