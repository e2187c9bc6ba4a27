#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The bash completions offer every option that each program's --help lists and no other, files
# where a file is wanted and nothing where a number is.
#   completion_test.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
source_dir=$(cd "$1" && pwd)
build=$(cd "$2" && pwd)
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
helpers=/usr/share/bash-completion/bash_completion
[ -f "$helpers" ] || { echo "SKIP: bash-completion is not installed" >&2; exit 77; }
completions=$source_dir/packaging/completions

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
touch "$scratch/firmware.hex" "$scratch/targets.txt" "$scratch/notes.md"
mkdir "$scratch/lines"

# complete PROGRAM WORD... : what bash offers for the last word, sorted, one per line.
complete_words() {
  (
    cd "$scratch"
    # shellcheck disable=SC1090
    source "$helpers"
    # shellcheck disable=SC1090
    source "$completions/$1"
    COMP_WORDS=("$@")
    COMP_CWORD=$(($# - 1))
    COMP_LINE="$*"
    COMP_POINT=${#COMP_LINE}
    COMPREPLY=()
    "$(complete -p "$1" | sed 's/.*-F \([^ ]*\) .*/\1/')" "$1" "${!#}" "${COMP_WORDS[COMP_CWORD - 1]}"
    printf '%s\n' "${COMPREPLY[@]}" | sort
  )
}
expect() {
  local what=$1 got=$2 wanted=$3
  [ "$got" = "$wanted" ] || { diff <(echo "$wanted") <(echo "$got") >&2 || true; fail "$what"; }
}
long_options() { "$1" --help | grep -oE -- '--[a-z][a-z-]+' | sort -u; }

for program in "$build/loader/cli/quillon-flash" "$build/discovery/pellisk-watch"; do
  [ -x "$program" ] || fail "$program is not built"
done
expect "quillon-flash: the options offered differ from --help (< help, > offered)" \
  "$(complete_words quillon-flash --)" "$(long_options "$build/loader/cli/quillon-flash")"
expect "pellisk-watch: the options offered differ from --help (< help, > offered)" \
  "$(complete_words pellisk-watch --)" "$(long_options "$build/discovery/pellisk-watch")"

expect "quillon-flash: --targets does not offer files" \
  "$(complete_words quillon-flash --targets '')" "$(printf '%s\n' firmware.hex lines notes.md targets.txt | sort)"
expect "quillon-flash: --trace does not offer files" \
  "$(complete_words quillon-flash --trace t)" "targets.txt"
expect "quillon-flash: the firmware is not offered among HEX files and folders" \
  "$(complete_words quillon-flash 10.0.0.7 '')" "$(printf '%s\n' firmware.hex lines | sort)"
expect "quillon-flash: --port offers something" "$(complete_words quillon-flash --port '')" ""
expect "pellisk-watch: --once offers something" "$(complete_words pellisk-watch --once '')" ""
records=$build/station/records/quillon-records
[ -x "$records" ] || fail "$records is not built"
expect "quillon-records: the options offered differ from --help (< help, > offered)" \
  "$(complete_words quillon-records --)" "$(long_options "$records")"
expect "quillon-records: --format does not offer the formats" \
  "$(complete_words quillon-records --format '')" "$(printf '%s\n' csv json table)"
expect "quillon-records: --since offers something" "$(complete_words quillon-records --since '')" ""

station=$build/station/core/quillon-station
[ -x "$station" ] || fail "$station is not built"
expect "quillon-station: the options offered differ from --help (< help, > offered)" \
  "$(complete_words quillon-station --)" "$(long_options "$station")"
expect "quillon-station: the firmware is not offered among HEX files and folders" \
  "$(complete_words quillon-station --any '')" "$(printf '%s\n' firmware.hex lines | sort)"
expect "quillon-station: --mac offers something" "$(complete_words quillon-station --mac '')" ""
echo "completion: the programs' options and files as expected"
