#!/usr/bin/env bash
# Configures and builds Orvanta into build/ (the program folder is build/bin/).
# Usage: scripts/build.sh [TARGET...]
#   With no target it builds everything: program, libraries, plug-ins, tests, benchmarks and tools.
#   ./run.sh builds only the target "program"; it shares build/ and its build type with ./test.sh,
#   so switching between the two never rebuilds what is already built.
#   BUILD_DIR picks another build folder; ORVANTA_CMAKE_ARGS adds configure options when that
#   folder is configured for the first time (scripts/sanitize.sh uses both).
#   CMAKE_BUILD_PARALLEL_LEVEL limits the parallel jobs (default: every core).
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${BUILD_DIR:-build}
if [ ! -f "$dir/build.ninja" ]; then
  # shellcheck disable=SC2086 # ORVANTA_CMAKE_ARGS holds several options on purpose
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo ${ORVANTA_CMAKE_ARGS:-}
fi
targets=()
for t in "$@"; do targets+=(--target "$t"); done
cmake --build "$dir" -j "${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}" "${targets[@]}"
