#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Every built man page renders without a single warning from man, and has NAME and SYNOPSIS.
# The compressed pages are checked, as they are installed.
# usage: man_pages_test.sh MAN_DIR PAGE...
set -uo pipefail
man_dir=$1
shift
failed=0
text=$(mktemp)
trap 'rm -f "$text"' EXIT
fail() { echo "FAIL: $*"; failed=1; }

for page in "$@"; do
  file="$man_dir/$page.1.gz"
  if [ ! -s "$file" ]; then
    fail "$page: $file is missing or empty"
    continue
  fi
  # -l reads the file itself; the rendered text is kept for the section checks.
  warnings=$(MANWIDTH=80 man --warnings -l "$file" 2>&1 >"$text")
  status=$?
  [ "$status" -eq 0 ] || fail "$page: man exited with $status"
  [ -z "$warnings" ] || fail "$page: man warned:"$'\n'"$warnings"
  for section in NAME SYNOPSIS DESCRIPTION "EXIT STATUS" TROUBLESHOOTING EXAMPLES; do
    grep -qx "$section" "$text" || fail "$page: no $section section"
  done
  # NAME says which program the page is for.
  grep -A1 -x NAME "$text" | grep -q "^ *$page - " || fail "$page: NAME does not name $page"
done

[ "$failed" -eq 0 ] && echo "man pages: $# rendered without warnings"
exit "$failed"
