#!/usr/bin/env bash
# Installs what is missing, builds a release and starts Orvanta from the program folder.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
scripts/build.sh Release
if [ ! -x build/bin/Orvanta ]; then
  echo "The Orvanta program is not built yet: the application shell does not exist so far." >&2
  echo "Libraries built so far are in build/bin/." >&2
  exit 1
fi
exec build/bin/Orvanta "$@"
