#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Installs what is missing, builds, and runs the demo on a simulated unit at 127.0.0.1 port 6969:
# with a display it writes a sample firmware, prints its path and opens Pellisk and Quillon to
# flash it with; without one it flashes the sample headless.
# Its options (--port N, --headless, --no-announce) are checked before anything is installed or
# built, then go to scripts/demo-session.sh.
set -euo pipefail
cd "$(dirname "$0")/.."

# shellcheck source=scripts/demo-options.sh
source scripts/demo-options.sh
demo_parse_options run.sh "" "$@"

scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default
exec scripts/demo-session.sh --build build/default "$@"
