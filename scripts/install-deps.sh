#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Installs every Debian package the project needs that is not installed yet.
set -euo pipefail

# What the tree uses: the toolchain, Qt (with Qt SVG, which draws the icons), the test and
# benchmark libraries, clang for the fuzz targets, and the tools the tests call (srec_cat,
# unshare and ip, python3 with jsonschema, pgrep, the packaging checkers and hardening-check,
# scdoc and man for the pages, tshark and tcpdump for the dissector's capture), and for the
# station: Qt SQL's drivers and a PostgreSQL server for its tests, Qt HttpServer (whose CMake
# files ask for Qt WebSockets) and the headless browser its page's test drives.
packages=(
  build-essential cmake ninja-build
  qt6-base-dev qt6-svg-dev libgl-dev
  libgtest-dev libbenchmark-dev
  clang libclang-rt-14-dev
  srecord iproute2 util-linux procps
  python3 python3-jsonschema
  dpkg-dev desktop-file-utils lintian devscripts appstream libxml2-utils bash-completion
  scdoc man-db groff-base
  tshark tcpdump
  libqt6sql6-sqlite libqt6sql6-psql postgresql
  qt6-httpserver-dev qt6-websockets-dev chromium chromium-driver python3-selenium
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
