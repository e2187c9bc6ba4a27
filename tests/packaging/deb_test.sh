#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The two Debian packages: their control fields, dependencies found by the shared-library scan,
# each program in its package, stripped, with its man page and answering --version with its
# installed name, and each package's copyright and changelog.
#   deb_test.sh BUILD_DIR VERSION --man|--no-man MAIN_PROGRAM... -- DEVTOOL...
set -euo pipefail
build=$(cd "$1" && pwd)
version=$2
man=$3
shift 3
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
[ -f "$build/CPackConfig.cmake" ] || fail "no CPackConfig.cmake in $build"
main=()
devtools=()
while [ $# -gt 0 ] && [ "$1" != -- ]; do main+=("$1") && shift; done
[ $# -gt 0 ] && shift
devtools=("$@")

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
"${CPACK:-cpack}" --config "$build/CPackConfig.cmake" -B "$out" >"$out/cpack.log" 2>&1 ||
  { cat "$out/cpack.log" >&2; fail "cpack failed"; }
arch=$(dpkg --print-architecture)
made=$(cd "$out" && ls -- *.deb | sort | tr '\n' ' ')
[ "$made" = "quillon-devtools_${version}_$arch.deb quillon_${version}_$arch.deb " ] ||
  fail "cpack made $made, not the two packages"

# check_package PACKAGE SECTION PROGRAM...
check_package() {
  local package=$1 section=$2
  shift 2
  local deb=$out/${package}_${version}_$arch.deb root=$out/$package
  field() { dpkg-deb -f "$deb" "$1"; }
  [ "$(field Package)" = "$package" ] || fail "$package: Package is $(field Package)"
  [ "$(field Version)" = "$version" ] || fail "$package: Version is $(field Version)"
  [ "$(field Architecture)" = "$arch" ] || fail "$package: Architecture is $(field Architecture)"
  [ "$(field Section)" = "$section" ] || fail "$package: Section is $(field Section)"
  [ -n "$(field Maintainer)" ] || fail "$package: no Maintainer"
  if field Maintainer | grep -qi 'example\.\(org\|com\|net\)'; then
    fail "$package: the Maintainer is a placeholder: $(field Maintainer)"
  fi
  local description synopsis
  description=$(field Description)
  synopsis=$(sed -n 1p <<<"$description")
  [ "$(wc -l <<<"$description")" -gt 2 ] || fail "$package: no long Description"
  # The synopsis must not come back as the first line of the long description.
  [ "$(sed -n 2p <<<"$description")" != " $synopsis" ] ||
    fail "$package: the synopsis is repeated in the long Description"
  case ${synopsis,,} in "$package"*) fail "$package: the synopsis starts with its name" ;; esac
  local depends
  depends=$(field Depends)
  for lib in libc6 libstdc++6; do
    grep -q "\b$lib\b" <<<"$depends" || fail "$package: Depends lacks $lib: $depends"
  done

  dpkg-deb -x "$deb" "$root"
  local program file
  for program in "$@"; do
    file=$root/usr/bin/$program
    [ -x "$file" ] || fail "usr/bin/$program is not in $package"
    if readelf -S "$file" | grep -q '\.debug_info'; then fail "usr/bin/$program is not stripped"; fi
    answer=$(QT_QPA_PLATFORM=offscreen timeout 10 "$file" --version) ||
      fail "$program --version failed"
    [ "$answer" = "$program $version" ] || fail "$program --version says \"$answer\""
    if [ "$man" = --man ]; then
      [ -f "$root/usr/share/man/man1/$program.1.gz" ] ||
        fail "$package has no man page usr/share/man/man1/$program.1.gz"
    fi
  done
  [ -f "$root/usr/share/doc/$package/copyright" ] || fail "$package has no copyright file"
  grep -qx 'License: Apache-2.0' "$root/usr/share/doc/$package/copyright" ||
    fail "$package: its copyright file does not grant Apache-2.0"
  [ -f "$root/usr/share/doc/$package/changelog.gz" ] || fail "$package has no changelog"
  echo "package $package: Depends: $depends"
}

check_package quillon electronics "${main[@]}"
case " ${main[*]} " in
  *" quillon "* | *" pellisk "*)
    depends=$(dpkg-deb -f "$out/quillon_${version}_$arch.deb" Depends)
    for lib in libqt6widgets6 libqt6svg6; do
      grep -q "\b$lib\b" <<<"$depends" || fail "quillon: Depends lacks $lib: $depends"
    done ;;
esac
for app in quillon pellisk; do
  case " ${main[*]} " in *" $app "*) ;; *) continue ;; esac
  for file in applications/$app.desktop icons/hicolor/scalable/apps/$app.svg \
    metainfo/invalid.quillon.$app.metainfo.xml; do
    [ -f "$out/quillon/usr/share/$file" ] || fail "quillon has no usr/share/$file"
  done
done

check_package quillon-devtools devel "${devtools[@]}"
# The developer tools need nothing of the product, and the product none of them.
if dpkg-deb -f "$out/quillon-devtools_${version}_$arch.deb" Depends | grep -q 'quillon\|qt6'; then
  fail "quillon-devtools depends on the product or on Qt"
fi
for program in "${devtools[@]}"; do
  [ ! -e "$out/quillon/usr/bin/$program" ] || fail "$program is in quillon too"
done
