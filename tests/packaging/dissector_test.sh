#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The installed Wireshark dissector reads a real flash of the simulated unit and its announces:
# a capture on loopback, decoded by tshark, must show the command order, the records of each
# batch, the verify fields, the announces, and the warnings for broken datagrams.
#   dissector_test.sh BUILD_DIR QUILLON_FLASH UNITSIM HEXGEN
# Exits 77 (skipped) when tshark is missing or no capture is possible here.
set -euo pipefail
build=$1 flash=$2 unitsim=$3 hexgen=$4
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
skip() {
  echo "SKIP: $*"
  exit 77
}
command -v tshark >/dev/null || skip "tshark is not installed"
command -v python3 >/dev/null || skip "python3 is not installed"

scratch=$(mktemp -d)
unit='' capture=''
cleanup() {
  if [ -n "$unit" ]; then kill "$unit" 2>/dev/null || true; fi
  if [ -n "$capture" ]; then kill "$capture" 2>/dev/null || true; fi
  wait 2>/dev/null || true
  rm -rf "$scratch"
}
trap cleanup EXIT

echo "== the install step puts the script into Wireshark's global Lua plugin folder"
# The package installs to /usr; the folder is the one this Wireshark reads.
plugins=$(tshark -G folders 2>/dev/null | sed -n 's/^Global Lua Plugins:[[:space:]]*//p')
[ -n "$plugins" ] || fail "tshark names no global Lua plugin folder"
"${CMAKE:-cmake}" --install "$build" --prefix "$scratch/usr" --component main >/dev/null
script=$scratch$plugins/quillon.lua
[ -f "$script" ] || fail "quillon.lua is not installed in $plugins: $(cd "$scratch" &&
  find . -name quillon.lua)"

# One datagram to 127.0.0.1 from a hex string; only loopback is ever addressed.
send() {
  python3 -c 'import socket, sys
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.sendto(bytes.fromhex(sys.argv[2]), ("127.0.0.1", int(sys.argv[1])))' "$1" "$2"
}
hex() { printf '%s' "$1" | od -An -v -tx1 | tr -d ' \n'; }
free_port() {
  python3 -c 'import socket
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.bind(("127.0.0.1", 0))
print(s.getsockname()[1])'
}

echo "== text from a unit, and 1-byte datagrams on port 69, from a written capture"
# Written with text2pcap, not sent: a reply from port 69 needs no capture and no privilege.
written() { # written NAME SOURCE_PORT DESTINATION_PORT HEX...
  local name=$1 from=$2 to=$3
  shift 3
  for datagram in "$@"; do printf '0000 %s\n' "$(sed 's/../& /g' <<<"$datagram")"; done \
    >"$scratch/$name.txt"
  text2pcap -q -4 127.0.0.1,127.0.0.1 -u "$from,$to" "$scratch/$name.txt" "$scratch/$name.pcap" ||
    fail "text2pcap cannot write $name.pcap"
}
written_fields() { # written_fields NAME FIELD...
  local name=$1 args=()
  shift
  for field in "$@"; do args+=(-e "$field"); done
  tshark -r "$scratch/$name.pcap" -X "lua_script:$script" -T fields -E separator="|" \
    "${args[@]}" 2>/dev/null
}
# A version reply whose name holds ESC, BEL, CR and LF, as a unit on port 69 would send it.
version_reply=$(python3 -c 'import sys
body = bytes([1, 1, 4]) + b"\x1b[31m\x07\r\nDone.\x00"
crc = 0
for byte in body:
    crc ^= byte << 8
    for _ in range(8):
        crc = ((crc << 1) ^ 0x1021) & 0xFFFF if crc & 0x8000 else (crc << 1) & 0xFFFF
frame = bytearray([1])
for byte in body + bytes([crc & 0xFF, crc >> 8]):
    frame += bytes([0x10, byte]) if byte in (1, 4, 0x10) else bytes([byte])
print((frame + bytes([4])).hex())')
written hostile_name 69 40000 "$version_reply"
r=$'\357\277\275' # U+FFFD
shown_name="$r[31m$r$r${r}Done."
got=$(written_fields hostile_name _ws.col.Info quillon.name)
[ "$got" = "Reply CMD_READ_VERSION v1.04 \"$shown_name\"|$shown_name" ] ||
  fail "a unit's name with control bytes shows as '$got'"
written hostile_announce 40000 30303 \
  "$(hex $'Unit\eX\r\n02:00:5E:00:00:01\r\nmessage with a bell\a')"
got=$(written_fields hostile_announce _ws.col.Info pellisk.name pellisk.message)
[ "$got" = "Announce Unit${r}X 02:00:5E:00:00:01|Unit${r}X|message with a bell$r" ] ||
  fail "an announce with control bytes shows as '$got'"
written one_byte 40000 69 04 10
tshark -r "$scratch/one_byte.pcap" -X "lua_script:$script" -V >"$scratch/one_byte.txt" 2>&1 ||
  fail "tshark cannot read 1-byte datagrams: $(head -3 "$scratch/one_byte.txt")"
if grep -q 'Lua Error' "$scratch/one_byte.txt"; then
  fail "a 1-byte datagram on port 69 raised: $(grep -m1 'Lua Error' "$scratch/one_byte.txt")"
fi
[ "$(grep -c '^Trivial File Transfer Protocol' "$scratch/one_byte.txt")" -eq 2 ] ||
  fail "the 1-byte datagrams on port 69 were not left to TFTP"

"$hexgen" --bytes 1000 -o "$scratch/fw.hex"
"$flash" --image-info "$scratch/fw.hex" >"$scratch/info.txt"
image() { sed -n "s/^$1 //p" "$scratch/info.txt"; }
start=$(image start) length=$(image length) crc=$(image crc16) records=$(image records)
[ -n "$start" ] && [ -n "$length" ] && [ -n "$crc" ] && [ -n "$records" ] ||
  fail "no image info: $(cat "$scratch/info.txt")"

name="Dissect-$$" mac="02:00:5E:D1:55:EC" message="Bench unit, shelf 3"
# The unit announces to a port of this test's own: other tests on this loopback may use 30303.
announce_port=$(free_port)
: >"$scratch/unit.log"
"$unitsim" --port 0 --announce-interval 200 --announce-port "$announce_port" --name "$name" \
  --mac "$mac" --message "$message" --quiet >"$scratch/unit.log" 2>&1 &
unit=$!
port=
for _ in $(seq 100); do
  port=$(sed -n 's/^.*: bootloader on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$scratch/unit.log")
  [ -n "$port" ] && break
  sleep 0.1
done
[ -n "$port" ] || fail "the simulated unit did not start: $(cat "$scratch/unit.log")"

echo "== capture on loopback"
filter="udp and host 127.0.0.1 and (port $port or port $announce_port or port 69 or port 30303)"
# tcpdump cannot give up root inside a user namespace; dumpcap needs no such step.
start_capture() {
  : >"$scratch/capture.err"
  timeout -s TERM 60 "$@" >"$scratch/capture.pcap" 2>"$scratch/capture.err" &
  capture=$!
  for _ in $(seq 100); do
    if grep -q -e 'listening on' -e 'Capturing on' "$scratch/capture.err"; then
      # dumpcap says so before it finds out that it may not capture.
      sleep 0.5
      kill -0 "$capture" 2>/dev/null && return 0
      break
    fi
    kill -0 "$capture" 2>/dev/null || break
    sleep 0.1
  done
  kill "$capture" 2>/dev/null || true
  wait "$capture" 2>/dev/null || true
  capture=
  return 1
}
started=
if command -v tcpdump >/dev/null &&
  start_capture tcpdump -i lo -U -c 500 -w - "$filter"; then
  started=tcpdump
elif command -v dumpcap >/dev/null &&
  start_capture dumpcap -q -i lo -c 500 -f "$filter" -w -; then
  started=dumpcap
fi
[ -n "$started" ] ||
  skip "no packet capture here: $(grep -v '^Capturing on' "$scratch/capture.err" | head -2)"
echo "capturing with $started"

timeout 60 "$flash" --port "$port" 127.0.0.1 "$scratch/fw.hex" >"$scratch/flash.log" 2>&1 ||
  fail "the flash failed: $(cat "$scratch/flash.log")"
# A broken Frame to the unit that woke up (it drops it), and datagrams for port 69 and the
# announce checks.
send "$port" 0102422104
send 69 "$(hex remotebootlind)00"
send 69 0105a55104
send 69 "0001$(hex fw.bin)00$(hex octet)00"
send 30303 "$(hex 'Short')0d0a$(hex 'mac')0d0a$(hex 'msg')"
send "$announce_port" "$(hex 'Unit-31')0d0a$(hex 'AA:BB:CC:DD:EE:FF')0d0a$(hex 'xyz')"
send "$announce_port" "$(hex 'Unit-32')0d0a$(hex 'AA:BB:CC:DD:EE:FF')0d0a$(hex 'wxyz')"
send "$announce_port" "$(hex 'Unit-LF')0a$(hex 'AA:BB:CC:DD:EE:FF')0a$(hex 'one piece, no CR LF')"
send "$announce_port" \
  "$(hex 'Unit-4')0d0a$(hex 'AA:BB:CC:DD:EE:00')0d0a$(hex 'third')0d0a$(hex 'fourth line')"
# A few more announces of the unit after the flash.
sleep 1
kill "$unit"
wait "$unit" 2>/dev/null || true
unit=
sleep 0.3
kill -TERM "$capture" 2>/dev/null || true
wait "$capture" 2>/dev/null || true
capture=

tshark_fields() {
  local filter=$1
  shift
  local args=()
  for field in "$@"; do args+=(-e "$field"); done
  tshark -r "$scratch/capture.pcap" -X "lua_script:$script" -d "udp.port==$announce_port,pellisk" \
    -Y "$filter" -T fields -E separator="|" -E occurrence=a -E aggregator=, "${args[@]}" 2>/dev/null
}
count() { tshark_fields "$1" frame.number | wc -l; }
tshark -r "$scratch/capture.pcap" -X "lua_script:$script" >"$scratch/summary.txt" 2>&1 ||
  fail "tshark cannot read the capture: $(cat "$scratch/summary.txt")"
if grep -q 'Lua Error' "$scratch/summary.txt"; then
  fail "the script raised an error: $(grep 'Lua Error' "$scratch/summary.txt" | head -3)"
fi

echo "== the flash: wake-up, read-version, erase, programming batches, verify, exit"
tshark_fields "udp.port == $port && quillon && !quillon.frame_crc.bad" \
  quillon.direction quillon.wakeup quillon.command quillon.records quillon.record.offset \
  >"$scratch/flash.txt"
# W for the wake-up, then the command codes; a resent request counts once.
requests=$(awk -F'|' '$1 == 0 { print ($2 != "" ? "W" : $3) }' "$scratch/flash.txt" | uniq |
  tr -d '\n')
[[ $requests =~ ^W123+45$ ]] || fail "request order is $requests, expected W, 1, 2, 3..., 4, 5"
replies=$(awk -F'|' '$1 == 1 { print $3 }' "$scratch/flash.txt" | uniq | tr -d '\n')
[[ $replies =~ ^123+4$ ]] || fail "reply order is $replies, expected 1, 2, 3..., 4"

# A resent batch is the same request again; it is counted once.
batches=$(awk -F'|' '$1 == 0 && $3 == 3 { print $4 "|" $5 }' "$scratch/flash.txt" | uniq |
  cut -d'|' -f1 | tr '\n' ' ')
echo "records per batch: $batches"
awk -v total="$records" '{
    for (i = 1; i <= NF; i++) { sum += $i; if (i < NF && $i != 11) bad = 1 }
    if ($NF < 1 || $NF > 11) bad = 1
  } END { exit (bad || sum != total) }' <<<"$batches" ||
  fail "batches of $batches records; expected 11 each but the last, $records in all"
[ "$(count "quillon.record.type == 1")" -ge 1 ] || fail "no end-of-file record"
[ "$(count "quillon.record.checksum.bad")" -eq 0 ] || fail "a record checksum was reported bad"

echo "== the version reply and the verify fields"
version=$(tshark_fields "quillon.direction == 1 && quillon.command == 1" quillon.version \
  quillon.name | sort -u)
[ "$version" = "1.04|$name" ] || fail "version reply decoded as '$version'"
verify=$(tshark_fields "quillon.direction == 0 && quillon.command == 4" \
  quillon.start quillon.length quillon.crc | sort -u)
expected=$(printf '0x%08x|%d|0x%04x' "$start" "$length" "$crc")
[ "$verify" = "$expected" ] || fail "verify request decoded as '$verify', expected '$expected'"
reply_crc=$(tshark_fields "quillon.direction == 1 && quillon.command == 4" quillon.crc | sort -u)
[ "$reply_crc" = "$(printf '0x%04x' "$crc")" ] || fail "verify reply CRC decoded as '$reply_crc'"
[ "$(count "quillon.crc.mismatch")" -eq 0 ] || fail "a verify mismatch was reported"

echo "== broken Frames, port 69 and TFTP"
[ "$(count "udp.port == $port && quillon.frame_crc.bad && quillon.command == 2")" -eq 1 ] ||
  fail "the Frame with a wrong CRC got no warning"
[ "$(count "udp.port == $port && quillon.frame_crc.status == 0")" -eq 1 ] ||
  fail "only the broken Frame may have a bad CRC"
[ "$(count "udp.dstport == 69 && quillon.wakeup == \"remotebootlind\"")" -eq 1 ] ||
  fail "the wake-up to port 69 was not decoded"
[ "$(count "udp.dstport == 69 && quillon.command == 5 && quillon.frame_crc.bad")" -eq 1 ] ||
  fail "the broken Frame to port 69 was not decoded"
[ "$(count "udp.dstport == 69 && tftp.opcode == 1 && !quillon")" -eq 1 ] ||
  fail "a TFTP request on port 69 was not left to TFTP"

echo "== announces"
announces=$(tshark_fields "udp.dstport == $announce_port && pellisk.name == \"$name\"" \
  pellisk.name pellisk.mac pellisk.message)
[ "$(wc -l <<<"$announces")" -ge 3 ] || fail "fewer than three announces captured: $announces"
# After the exit command the unit restarts and announces the firmware it runs.
[ "$(grep -v -E "^$name\|$mac\|Running firmware CRC [0-9A-F]{4}\$" <<<"$announces" | sort -u)" = \
  "$name|$mac|$message" ] ||
  fail "announces decoded as: $(sort -u <<<"$announces" | head -3)"
[ "$(count "pellisk.name == \"$name\" && (pellisk.dropped.short || pellisk.dropped.lines)")" \
  -eq 0 ] || fail "the unit's announces were noted as dropped"
[ "$(count "udp.dstport == 30303 && pellisk.name == \"Short\" && pellisk.dropped.short")" -eq 1 ] ||
  fail "a short announce on port 30303 got no drop note"
[ "$(count "pellisk.name == \"Unit-31\" && pellisk.dropped.short")" -eq 1 ] ||
  fail "a 31-character announce got no drop note"
[ "$(count "pellisk.name == \"Unit-32\" && !pellisk.dropped.short && !pellisk.dropped.lines")" \
  -eq 1 ] || fail "a 32-character announce was noted as dropped"
[ "$(count "pellisk.name contains \"Unit-LF\" && pellisk.dropped.lines && !pellisk.mac")" -eq 1 ] ||
  fail "an announce with LF line ends was not noted as one line"
four=$(tshark_fields "pellisk.name == \"Unit-4\" && !pellisk.dropped.lines" pellisk.mac \
  pellisk.message)
[ "$four" = "AA:BB:CC:DD:EE:00|third" ] || fail "a four-line announce decoded as '$four'"
echo "dissector: all checks passed"
