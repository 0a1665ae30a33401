#!/usr/bin/env bash
# The store's crash test at full size: a child imports 2,000 files and is killed with SIGKILL at
# 20 random moments; after each every database passes integrity_check and every row's file
# parses. CI runs the same test with 120 files.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${ORVANTA_BUILD:-$root/build}"
[ -f "$build/build.ninja" ] || cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" --target Kelvast_tests
KELVAST_CRASH_FILES="${1:-2000}" KELVAST_CRASH_KILLS="${2:-20}" \
  "$build/tests/Kelvast_tests" --gtest_filter='KelvastCrash.*'
