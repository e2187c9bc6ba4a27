#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The demo's headless run end to end against the simulated unit, the sample firmware it offers
# the windows, its refusal of a busy port, and that nothing it started outlives it, whether it
# ends by itself or is stopped; and run.sh's check of its options before it builds.
#   demo_test.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
demo=$1/scripts/demo-session.sh
build=$(cd "$2" && pwd)
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

scratch=$(mktemp -d)
holder=
cleanup() {
  if [ -n "$holder" ]; then kill "$holder" 2>/dev/null || true; fi
  wait 2>/dev/null || true
  rm -rf "$scratch"
}
trap cleanup EXIT
# The demo's own temporary files go here, so that their removal can be seen.
export TMPDIR=$scratch/tmp
mkdir "$TMPDIR"
unset DISPLAY WAYLAND_DISPLAY
demo_args=(--build "$build" --port 0 --no-announce)

unit_port() { sed -n 's/^demo: simulated unit .* port \([0-9]*\)$/\1/p' "$1"; }
port_free() { ! command -v ss >/dev/null || [ -z "$(ss -Hlun "sport = :$1")" ]; }
# Bounded: at most $2 tenths of a second.
wait_gone() {
  local i
  for ((i = 0; i < $2; i++)); do
    kill -0 "$1" 2>/dev/null || return 0
    sleep 0.1
  done
  return 1
}

echo "== run.sh refuses a wrong option in its own name before it installs or builds anything"
# Stand-ins for what it would run first; each leaves a mark.
mkdir "$scratch/bin"
for tool in cmake dpkg-query apt-get sudo; do
  printf '#!/bin/sh\necho %s >>"%s/ran"\nexit 1\n' "$tool" "$scratch" >"$scratch/bin/$tool"
  chmod +x "$scratch/bin/$tool"
done
for args in "--bogus" "--port 70000" "--build $build" "--port"; do
  status=0
  # shellcheck disable=SC2086  # each case is several words
  PATH=$scratch/bin:$PATH timeout 20 "$1/scripts/run.sh" $args >"$scratch/args.log" 2>&1 ||
    status=$?
  [ "$status" -eq 64 ] || fail "run.sh $args ended with status $status, not 64"
  grep -q '^run\.sh: ' "$scratch/args.log" || fail "run.sh $args: $(cat "$scratch/args.log")"
  ! grep -q 'demo-session' "$scratch/args.log" || fail "run.sh $args names demo-session.sh"
done
PATH=$scratch/bin:$PATH timeout 20 "$1/scripts/run.sh" --help >"$scratch/args.log" ||
  fail "run.sh --help failed"
[ "$(head -1 "$scratch/args.log")" = "usage: run.sh [--port N] [--headless] [--no-announce]" ] ||
  fail "run.sh --help: $(head -1 "$scratch/args.log")"
[ ! -e "$scratch/ran" ] || fail "run.sh ran $(tr '\n' ' ' <"$scratch/ran")before checking its options"

echo "== a headless run flashes and verifies the sample"
status=0
timeout 120 "$demo" "${demo_args[@]}" >"$scratch/run.log" 2>&1 || status=$?
cat "$scratch/run.log"
[ "$status" -eq 0 ] || fail "the headless run ended with status $status"
grep -q '^Verification successful\.$' "$scratch/run.log" || fail "no verification line"
port=$(unit_port "$scratch/run.log")
[ -n "$port" ] || fail "the run did not name the unit's port"
port_free "$port" || fail "the unit still holds port $port after the run"
[ -z "$(ls -A "$TMPDIR")" ] || fail "temporary files left: $(ls -A "$TMPDIR")"

echo "== with a display it names a sample firmware that exists while the windows are open"
# Stand-in windows that note what they find, in a copy of the tree that has them.
fake=$scratch/fake
mkdir -p "$fake/tools/unitsim" "$fake/tools/hexgen" "$fake/discovery" "$fake/loader/app"
ln -s "$build/tools/unitsim/unitsim" "$fake/tools/unitsim/unitsim"
ln -s "$build/tools/hexgen/hexgen" "$fake/tools/hexgen/hexgen"
for window in discovery/pellisk loader/app/quillon; do
  name=$(basename "$window")
  # shellcheck disable=SC2016  # the stand-in expands $TMPDIR when it runs
  printf '#!/bin/sh\nls "$TMPDIR"/quillon-demo.*/sample.hex >"%s/%s.saw"\ncat "$TMPDIR"/quillon-demo.*/sample.hex >"%s/%s.hex"\n' \
    "$scratch" "$name" "$scratch" "$name" >"$fake/$window"
  chmod +x "$fake/$window"
done
status=0
DISPLAY=:none timeout 60 "$demo" --build "$fake" --port 0 --no-announce >"$scratch/gui.log" 2>&1 ||
  status=$?
cat "$scratch/gui.log"
[ "$status" -eq 0 ] || fail "the run with a display ended with status $status"
sample=$(sed -n 's/^demo: a sample firmware to Load is \(.*\) (removed when the demo ends)$/\1/p' \
  "$scratch/gui.log")
[ -n "$sample" ] || fail "the run with a display named no sample firmware"
for window in pellisk quillon; do
  [ "$(cat "$scratch/$window.saw" 2>/dev/null)" = "$sample" ] ||
    fail "$window did not find the sample $sample while it ran"
done
[ "$(tail -n 1 "$scratch/quillon.hex" | tr -d '\r')" = :00000001FF ] ||
  fail "the sample is not an Intel HEX file"
[ -z "$(ls -A "$TMPDIR")" ] || fail "temporary files left: $(ls -A "$TMPDIR")"

echo "== a busy port is refused with a clear message, and its holder left alone"
# Created here: the background job opens its output only after it has been forked.
: >"$scratch/holder.log"
"$build/tools/unitsim/unitsim" --port 0 --announce-interval 0 --quiet >"$scratch/holder.log" &
holder=$!
busy=
for _ in $(seq 100); do
  busy=$(sed -n 's/^unitsim: bootloader on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$scratch/holder.log")
  [ -n "$busy" ] && break
  sleep 0.1
done
[ -n "$busy" ] || fail "the port holder did not start"
status=0
timeout 60 "$demo" --build "$build" --port "$busy" --no-announce >"$scratch/busy.log" 2>&1 ||
  status=$?
cat "$scratch/busy.log"
[ "$status" -ne 0 ] || fail "a run on a busy port reported success"
grep -q "UDP port $busy is already in use" "$scratch/busy.log" || fail "no clear busy-port message"
kill -0 "$holder" 2>/dev/null || fail "the run on a busy port ended the program holding it"
kill "$holder"
wait "$holder" || true
holder=

echo "== a run stopped by SIGTERM leaves nothing behind"
: >"$scratch/stop.log"
"$demo" "${demo_args[@]}" >"$scratch/stop.log" 2>&1 &
run=$!
# Stopped once the flash is under way, when the most is running.
for _ in $(seq 100); do
  grep -q '^demo: flashing ' "$scratch/stop.log" && break
  sleep 0.1
done
port=$(unit_port "$scratch/stop.log")
[ -n "$port" ] || fail "the stopped run did not start its unit"
sleep 0.2
# The run gives each program a process group of its own; no member may be left after.
children=$(pgrep -P "$run" || true)
kill -TERM "$run"
wait_gone "$run" 150 || fail "the run did not end within 15 s of SIGTERM"
status=0
wait "$run" || status=$?
cat "$scratch/stop.log"
# It may have finished the flash before the signal came.
[ "$status" -eq 143 ] || [ "$status" -eq 0 ] || fail "the stopped run ended with status $status"
for child in $children; do
  if kill -0 -- "-$child" 2>/dev/null; then fail "process group $child outlived the run"; fi
done
port_free "$port" || fail "the unit still holds port $port after SIGTERM"
[ -z "$(ls -A "$TMPDIR")" ] || fail "temporary files left: $(ls -A "$TMPDIR")"
echo "demo: all cases passed"
