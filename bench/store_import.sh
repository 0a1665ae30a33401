#!/usr/bin/env bash
# Store import rates against Orthanc (REST POST /instances, 4 clients, storage area synced),
# storescu -> storescp -od and cp -r, on generated 512x512 16-bit files in studies of 100
# (default 10,000 files); StoreFile from 1 thread and from 4.
# Orthanc comes from Debian's package, installed here only. Usage: bench/store_import.sh [files]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${ORVANTA_BUILD:-$root/build}"
command -v Orthanc >/dev/null || { apt-get update -q && DEBIAN_FRONTEND=noninteractive apt-get install -y -q orthanc; }
[ -f "$build/build.ninja" ] || cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" --target bench_store
uptime
"$build/bench/bench_store" "${1:-10000}" 512
