#!/usr/bin/env bash
# Builds the whole tree under sanitizers, in a build folder of its own, and runs the tests there.
# Usage: scripts/sanitize.sh asan|tsan [ctest options, e.g. -R Kelvast -j4]
#   asan  AddressSanitizer + UndefinedBehaviorSanitizer, in build-asan/
#   tsan  ThreadSanitizer, in build-tsan/
# The first run configures and builds everything (several minutes); later runs build what changed.
# Compiles with clang (the Debian package "clang"); CC and CXX choose another compiler, e.g.
# CC=gcc CXX=g++. The GPU kernels are left out. A report stops the test that caused it.
# TARGETS="Kelvast_tests Orvanta_tests" builds only those targets (the whole tree takes long under
# the sanitizers); pass the matching -R to ctest.
# ThreadSanitizer reads scripts/tsan.supp: races inside libraries that are not built with the
# sanitizer (Qt, GLib, cpp-httplib), whose own locking it cannot see. Never list our own code there.
set -euo pipefail
cd "$(dirname "$0")/.."
kind=${1:-}
case "$kind" in
  asan) sanitizers=address,undefined ;;
  tsan) sanitizers=thread ;;
  *) echo "usage: scripts/sanitize.sh asan|tsan [ctest options]" >&2; exit 2 ;;
esac
shift
export CC=${CC:-clang} CXX=${CXX:-clang++}
command -v "$CXX" >/dev/null || { echo "$CXX is not installed (apt-get install clang)" >&2; exit 1; }
export BUILD_DIR=build-$kind
export ORVANTA_CMAKE_ARGS="-DORVANTA_SANITIZE=$sanitizers -DORVANTA_CUDA=OFF"
# shellcheck disable=SC2086 # TARGETS holds several names on purpose
scripts/build.sh ${TARGETS:-}

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
# die_after_fork=0: the crash tests fork a child that runs the store or the receiving service and is
# then killed; ThreadSanitizer would otherwise refuse the child's threads.
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1:die_after_fork=0:suppressions=$PWD/scripts/tsan.supp}
export QT_QPA_PLATFORM=offscreen
cd "$BUILD_DIR"
exec ctest --output-on-failure "$@"
