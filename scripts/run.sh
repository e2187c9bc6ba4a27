#!/usr/bin/env bash
# Installs what is missing, builds, and starts a simulated unit to try the programs on.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default
exec build/default/tools/unitsim/unitsim --port 6969 --announce-port 30303
