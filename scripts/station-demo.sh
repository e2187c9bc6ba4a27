#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# A flashing station on a simulated line of 8 units at 127.0.0.2 to 127.0.0.9, joining a second
# apart: writes a sample firmware, starts the line and quillon-station with its live page on
# http://127.0.0.1:8080/, and records in a temporary SQLite file. Ctrl-C ends both.
# The line announces on UDP port 30399 with MACs no real unit has, and the station listens there
# with a filter for them: units on the real network are never flashed.
#   scripts/station-demo.sh [--build DIR] [--http ADDR:PORT]
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/default
http=127.0.0.1:8080
while [ $# -gt 0 ]; do
  case $1 in
    --build) build=$2; shift 2 ;;
    --http) http=$2; shift 2 ;;
    *) echo "usage: $0 [--build DIR] [--http ADDR:PORT]" >&2; exit 64 ;;
  esac
done
for program in tools/unitsim/unitsim tools/hexgen/hexgen station/core/quillon-station \
               loader/cli/quillon-flash; do
  [ -x "$build/$program" ] || { echo "$build/$program is not built (cmake --build --preset default)" >&2; exit 1; }
done

work=$(mktemp -d /tmp/quillon-station-demo.XXXXXX)
line_pid=
cleanup() {
  [ -n "$line_pid" ] && kill "$line_pid" 2>/dev/null && wait "$line_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
"$build/tools/hexgen/hexgen" --bytes 65536 -o "$work/sample.hex"
# A real flash's pace, roughly: 200 ms to erase, 20 us a byte.
"$build/tools/unitsim/unitsim" --units 8 --addresses 127.0.0.2 --port 6969 --join-every 1000 \
  --announce-port 30399 --name Demo --mac 02-00-5E-00-00-00 --erase-ms 200 \
  --program-us-per-byte 20 --quiet >"$work/line.log" &
line_pid=$!
echo "demo: 8 simulated units join at 127.0.0.2 to 127.0.0.9; the page is http://$http/"
echo "demo: the record is $work/records.sqlite (removed when the demo ends); Ctrl-C to stop"
status=0
"$build/station/core/quillon-station" --announce-port 30399 --port 6969 --mac 02:00:5e:00:00 \
  --name 'Demo-*' --db "$work/records.sqlite" --http "$http" \
  --flasher "$build/loader/cli/quillon-flash" "$work/sample.hex" || status=$?
# SIGINT is how the demo ends.
[ "$status" -eq 130 ] && status=0
exit "$status"
