#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Every installed program answers --version with "NAME VERSION" and --help with a usage text,
# on stdout, with status 0, and without a display; -V and -h answer the same.
# usage: program_options_test.sh VERSION NAME=PROGRAM...
set -uo pipefail
version=$1
shift
failed=0
fail() { echo "FAIL: $*"; failed=1; }

for pair in "$@"; do
  name=${pair%%=*}
  program=${pair#*=}
  # No display at all: quillon and pellisk must answer before Qt looks for one.
  out=$(env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb timeout 20 "$program" --version 2>&1)
  status=$?
  [ "$status" -eq 0 ] || fail "$name --version exited with $status: $out"
  [ "$out" = "$name $version" ] || fail "$name --version printed '$out', not '$name $version'"

  out=$(env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb timeout 20 "$program" --help 2>/dev/null)
  status=$?
  [ "$status" -eq 0 ] || fail "$name --help exited with $status"
  printf '%s\n' "$out" | head -1 | grep -q "^usage: $name" ||
    fail "$name --help does not start with 'usage: $name': $(printf '%s\n' "$out" | head -1)"
  printf '%s\n' "$out" | grep -q -- "--version" || fail "$name --help does not mention --version"
  help=$out

  out=$(env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb timeout 20 "$program" -V 2>&1)
  status=$?
  [ "$status" -eq 0 ] && [ "$out" = "$name $version" ] ||
    fail "$name -V exited with $status and printed '$out', not '$name $version'"
  out=$(env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb timeout 20 "$program" -h 2>/dev/null)
  status=$?
  [ "$status" -eq 0 ] && [ "$out" = "$help" ] || fail "$name -h (status $status) differs from --help"
  printf '%s\n' "$help" | grep -q -- "-V, --version" || fail "$name --help does not list -V"
done

[ "$failed" -eq 0 ] && echo "program options: $# programs answered --version, --help, -V and -h"
exit "$failed"
