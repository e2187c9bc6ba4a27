#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Installs what is missing, builds, and runs the tests of the default build, isolated from
# the network. Arguments go to ctest: scripts/test.sh -R Hex runs the tests matching Hex.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
werror=()
if [ -n "${CI:-}" ]; then werror=(-DCMAKE_COMPILE_WARNING_AS_ERROR=ON); fi
cmake --preset default "${werror[@]}" >/dev/null
cmake --build --preset default
scripts/isolated.sh ctest --preset default "$@"
