#!/usr/bin/env bash
# With every package installed, scripts/install-deps.sh must change nothing: no apt-get, no sudo.
# A package named by a virtual or misspelled name never shows as installed and fails this.
set -euo pipefail
stubs=$(mktemp -d)
trap 'rm -rf "$stubs"' EXIT
for tool in apt-get apt sudo; do
  printf '#!/bin/sh\necho "install-deps ran %s $*" >> "%s/called"\nexit 1\n' "$tool" "$stubs" > "$stubs/$tool"
  chmod +x "$stubs/$tool"
done
PATH="$stubs:$PATH" "$1/scripts/install-deps.sh"
if [ -f "$stubs/called" ]; then
  cat "$stubs/called" >&2
  exit 1
fi
