#!/usr/bin/env bash
# Installs what is missing, builds a release and starts Orvanta from the program folder.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
scripts/build.sh Release
exec build/bin/Orvanta "$@"
