#!/usr/bin/env bash
# Installs what is missing, builds the program with what it loads, and starts it from the program folder.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
scripts/build.sh program
exec build/bin/Orvanta "$@"
