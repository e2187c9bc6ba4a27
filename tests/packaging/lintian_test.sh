#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Lintian finds no error in either Debian package, and no hardening note: every program is built
# with Debian's hardening flags, which hardening-check confirms. Lintian's other warnings and
# notes are printed, so that they can be read in the test's output, but do not fail it.
#   lintian_test.sh BUILD_DIR [hardened|unhardened]
# A sanitizer build says unhardened: its packages are never shipped, and the sanitizers' own
# instrumentation takes the place of the hardening flags.
set -euo pipefail
build=$(cd "$1" && pwd)
hardening=${2:-hardened}
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
command -v lintian >/dev/null || { echo "SKIP: lintian is not installed" >&2; exit 77; }
command -v hardening-check >/dev/null ||
  { echo "SKIP: hardening-check (devscripts) is not installed" >&2; exit 77; }
[ -f "$build/CPackConfig.cmake" ] || fail "no CPackConfig.cmake in $build"

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
"${CPACK:-cpack}" --config "$build/CPackConfig.cmake" -B "$out" >"$out/cpack.log" 2>&1 ||
  { cat "$out/cpack.log" >&2; fail "cpack failed"; }
debs=("$out"/*.deb)
[ ${#debs[@]} -eq 2 ] || fail "cpack made ${#debs[@]} packages, not 2"

# Lintian's own exit status also counts warnings on some versions; the E: lines decide.
report=$(lintian --tag-display-limit 0 --display-info "${debs[@]}" 2>&1) || true
printf '%s\n' "$report"
if grep -q '^E: ' <<<"$report"; then fail "lintian reports errors"; fi
# Lintian that could not read a package prints no tags at all.
if grep -qi 'error\|unpack' <<<"$(grep -v '^[EWIPNX]: ' <<<"$report")"; then
  fail "lintian did not check the packages"
fi
if [ "$hardening" = unhardened ]; then
  echo "lintian: no errors in $(basename -a "${debs[@]}" | tr '\n' ' ')(hardening not checked)"
  exit 0
fi
if grep -q 'hardening-' <<<"$report"; then fail "lintian reports missing hardening"; fi

checked=0
for deb in "${debs[@]}"; do
  root=$out/$(basename "$deb" .deb)
  dpkg-deb -x "$deb" "$root"
  for program in "$root"/usr/bin/*; do
    # Control-flow protection is not among Debian's hardening flags on this release.
    hardening-check --nocfprotection "$program" || fail "$(basename "$program") is not hardened"
    checked=$((checked + 1))
  done
done
[ "$checked" -ge 6 ] || fail "only $checked programs were checked for hardening"
echo "lintian: no errors in $(basename -a "${debs[@]}" | tr '\n' ' ')"
