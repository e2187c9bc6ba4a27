#!/usr/bin/env bash
# The Debian package: its control fields, dependencies found by the shared-library scan, and
# the same files as the install tree under /usr, with stripped programs.
#   deb_test.sh BUILD_DIR VERSION PROGRAM...
set -euo pipefail
build=$(cd "$1" && pwd)
version=$2
shift 2
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
[ -f "$build/CPackConfig.cmake" ] || fail "no CPackConfig.cmake in $build"

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
"${CPACK:-cpack}" --config "$build/CPackConfig.cmake" -B "$out" >"$out/cpack.log" 2>&1 ||
  { cat "$out/cpack.log" >&2; fail "cpack failed"; }
debs=("$out"/*.deb)
if [ ${#debs[@]} -ne 1 ] || ! [ -f "${debs[0]}" ]; then fail "cpack made no single package"; fi
deb=${debs[0]}

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = quillon ] || fail "Package is $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version is $(field Version), not $version"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] ||
  fail "Architecture is $(field Architecture)"
[ "$(field Section)" = electronics ] || fail "Section is $(field Section)"
[ -n "$(field Maintainer)" ] || fail "no Maintainer"
description=$(field Description)
[ "$(wc -l <<<"$description")" -gt 2 ] || fail "no long Description"
# The synopsis must not come back as the first line of the long description.
[ "$(sed -n 2p <<<"$description")" != " $(sed -n 1p <<<"$description")" ] ||
  fail "the synopsis is repeated in the long Description"
depends=$(field Depends)
for lib in libc6 libstdc++6; do
  grep -q "\b$lib\b" <<<"$depends" || fail "Depends lacks $lib: $depends"
done
case " $* " in
  *" quillon "* | *" pellisk "*)
    grep -q 'libqt6widgets6' <<<"$depends" || fail "Depends lacks Qt Widgets: $depends" ;;
esac

dpkg-deb -x "$deb" "$out/root"
for program in "$@"; do
  file=$out/root/usr/bin/$program
  [ -x "$file" ] || fail "usr/bin/$program is not in the package"
  if readelf -S "$file" | grep -q '\.debug_info'; then fail "usr/bin/$program is not stripped"; fi
done
for app in quillon pellisk; do
  case " $* " in *" $app "*) ;; *) continue ;; esac
  [ -f "$out/root/usr/share/applications/$app.desktop" ] || fail "no $app.desktop"
  [ -f "$out/root/usr/share/icons/hicolor/scalable/apps/$app.svg" ] || fail "no $app.svg"
done
echo "package $(basename "$deb"): Depends: $depends"
