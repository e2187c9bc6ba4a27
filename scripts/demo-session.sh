#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The demo on a built tree: a simulated unit on 127.0.0.1 and a generated sample firmware, then
# Pellisk and Quillon to load it with when there is a display, or a headless flash of it when
# there is none.
# Everything started here is stopped when the session ends, however it ends.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=scripts/demo-options.sh
source "$root/scripts/demo-options.sh"
demo_parse_options demo-session.sh 1 "$@"
if [ -z "$build" ]; then build=$root/build/default; fi
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then headless=1; fi

program() {
  local path=$build/$1
  if ! [ -x "$path" ]; then
    echo "demo: $path is missing; build the tree first (scripts/run.sh does)" >&2
    exit 1
  fi
  printf '%s\n' "$path"
}
unitsim=$(program tools/unitsim/unitsim)
hexgen=$(program tools/hexgen/hexgen)
if [ -n "$headless" ]; then
  flash=$(program loader/cli/quillon-flash)
else
  pellisk=$(program discovery/pellisk)
  quillon=$(program loader/app/quillon)
fi

# ss lists bound UDP sockets too; without it the unit's own bind error has to do.
if [ "$port" -ne 0 ] && command -v ss >/dev/null &&
  [ -n "$(ss -Hlun "sport = :$port" 2>/dev/null)" ]; then
  echo "demo: UDP port $port is already in use on this machine (another demo or unitsim" \
    "still running?); stop that program or choose another port with --port" >&2
  exit 1
fi

# Each program gets a session of its own, so that ending its group also ends anything it started.
pids=()
spawn() {
  setsid "$@" </dev/null &
  spawned=$!
  pids+=("$spawned")
}
work=$(mktemp -d "${TMPDIR:-/tmp}/quillon-demo.XXXXXX")
# shellcheck disable=SC2317  # called by the traps below
cleanup() {
  trap - EXIT INT TERM
  local pid alive
  for pid in "${pids[@]}"; do kill -TERM -- "-$pid" 2>/dev/null || true; done
  # A few seconds' grace to close windows and sockets, then what is left is ended for good.
  for _ in $(seq 50); do
    alive=
    for pid in "${pids[@]}"; do kill -0 -- "-$pid" 2>/dev/null && alive=1; done
    [ -z "$alive" ] && break
    sleep 0.1
  done
  for pid in "${pids[@]}"; do kill -KILL -- "-$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

unit_args=(--bind 127.0.0.1 --port "$port" --name "Demo unit")
if [ -z "$announce" ]; then
  unit_args+=(--announce-interval 0)
else
  unit_args+=(--announce-address 127.0.0.1 --announce-port 30303 --announce-interval 2000)
  # With --port 0 the unit names the port it got in its default message.
  if [ "$port" -ne 0 ]; then unit_args+=(--message "Bootloader on UDP port $port"); fi
fi
spawn "$unitsim" "${unit_args[@]}" >"$work/unit.log" 2>&1
unit=$spawned

bound=
for _ in $(seq 100); do
  bound=$(sed -n 's/^unitsim: bootloader on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$work/unit.log")
  [ -n "$bound" ] && break
  kill -0 "$unit" 2>/dev/null || break
  sleep 0.1
done
if [ -z "$bound" ]; then
  echo "demo: the simulated unit did not start:" >&2
  sed 's/^/  /' "$work/unit.log" >&2
  if grep -q 'in use' "$work/unit.log"; then
    echo "demo: UDP port $port is already in use; stop the program holding it or choose" \
      "another port with --port" >&2
  fi
  exit 1
fi
echo "demo: simulated unit \"Demo unit\" on 127.0.0.1 port $bound"

# A deterministic sample: 64 KiB in 16-byte records, enough for the progress to be seen.
hex=$work/sample.hex
"$hexgen" --bytes 65536 --record 16 --seed 7 -o "$hex"

if [ -z "$headless" ]; then
  echo "demo: a sample firmware to Load is $hex (removed when the demo ends)"
  if [ -n "$announce" ]; then echo "demo: it announces itself to 127.0.0.1 port 30303"; fi
  echo "demo: in Quillon enter 127.0.0.1 and port $bound, Connect, Load the sample and Flash" \
    "Firmware; close both windows to end"
  spawn tail -n +1 -f "$work/unit.log"
  spawn "$pellisk"
  gui=("$spawned")
  spawn "$quillon"
  gui+=("$spawned")
  for pid in "${gui[@]}"; do wait "$pid" || true; done
  echo "demo: both windows closed; stopping the simulated unit"
  exit 0
fi

echo "demo: flashing the generated sample $hex headless"
status=0
spawn "$flash" --port "$bound" 127.0.0.1 "$hex"
wait "$spawned" || status=$?
if [ "$status" -eq 0 ]; then
  echo "demo: quillon-flash verified the firmware"
else
  echo "demo: quillon-flash failed with status $status; the unit's log:" >&2
  tail -n 20 "$work/unit.log" | sed 's/^/  /' >&2
fi
exit "$status"
