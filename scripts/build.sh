#!/usr/bin/env bash
# Configures and builds Orvanta into build/ (the program folder is build/bin/).
# Usage: scripts/build.sh [Release|RelWithDebInfo|Debug]
set -euo pipefail
cd "$(dirname "$0")/.."
type=${1:-RelWithDebInfo}
jobs=$(nproc)
if [ ! -f build/build.ninja ] || ! grep -q "CMAKE_BUILD_TYPE:STRING=$type" build/CMakeCache.txt 2>/dev/null; then
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE="$type"
fi
cmake --build build -j "$jobs"
