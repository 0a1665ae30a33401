#!/usr/bin/env bash
# Store lists, search and delete at 10,000 studies, 50,000 series and 1,000,000 instances (rows
# written directly; the deleted study has 2,000 instances). Usage: bench/store_scale.sh [studies]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${ORVANTA_BUILD:-$root/build}"
[ -f "$build/build.ninja" ] || cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" --target bench_store
uptime
"$build/bench/bench_store" scale "${1:-10000}" 5 20
