#!/bin/bash
# Installs, builds and runs every test.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
bash "$top/scripts/install-deps.sh"
bash "$top/scripts/build.sh"
ctest --test-dir "$top/build" --output-on-failure -j 2
