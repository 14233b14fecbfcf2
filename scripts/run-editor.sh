#!/usr/bin/env bash
# Installs what is missing, builds, and starts the editor.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
build="${KORVANE_BUILD_DIR:-$root/build}"
exec "$build/bin/korvane-editor" "$@"
