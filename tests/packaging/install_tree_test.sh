#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The install tree holds the programs, desktop entries, icons, AppStream metadata, man pages,
# completions and each package's copyright and changelog in their places and nothing else; no
# installed program looks for libraries in the build tree; each answers --version with its
# installed name; the desktop entries and the metadata validate.
#   install_tree_test.sh BUILD_DIR VERSION --man|--no-man MAIN_PROGRAM... -- DEVTOOL...
set -euo pipefail
build=$(cd "$1" && pwd)
version=$2
man=$3
shift 3
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
for tool in desktop-file-validate appstreamcli xmllint; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed" >&2; exit 77; }
done

programs=()
for program in "$@"; do [ "$program" = -- ] || programs+=("$program"); done

dest=$(mktemp -d)
trap 'rm -rf "$dest"' EXIT
"${CMAKE:-cmake}" --install "$build" --prefix "$dest/usr" >/dev/null
cd "$dest/usr"

expected=()
for program in "${programs[@]}"; do
  expected+=("bin/$program")
  [ -x "bin/$program" ] || fail "bin/$program is missing or not executable"
  dynamic=$(readelf -d "bin/$program") || fail "bin/$program is not an ELF program"
  if grep -E 'R(UN)?PATH' <<<"$dynamic" | grep -qF "$build"; then
    fail "bin/$program keeps a library path into the build tree"
  fi
  answer=$(QT_QPA_PLATFORM=offscreen timeout 10 "bin/$program" --version) ||
    fail "bin/$program --version failed"
  [ "$answer" = "$program $version" ] ||
    fail "bin/$program --version says \"$answer\", not \"$program $version\""
  if [ "$man" = --man ]; then expected+=("share/man/man1/$program.1.gz"); fi
done

apps=share/applications
icons=share/icons/hicolor/scalable/apps
for app in quillon pellisk; do
  case " ${programs[*]} " in *" $app "*) ;; *) continue ;; esac
  metainfo=share/metainfo/invalid.quillon.$app.metainfo.xml
  expected+=("$apps/$app.desktop" "$icons/$app.svg" "$metainfo")
  entry=$apps/$app.desktop
  [ -f "$entry" ] || fail "$entry is missing"
  # The entry must start the installed program and name the installed icon.
  name="$(tr '[:lower:]' '[:upper:]' <<<"${app:0:1}")${app:1}"
  grep -qx "Name=$name" "$entry" || fail "$entry: Name is not $name"
  grep -qx "Exec=$app" "$entry" || fail "$entry: Exec is not $app"
  grep -qx "Icon=$app" "$entry" || fail "$entry: Icon is not $app"
  grep -qx "Type=Application" "$entry" || fail "$entry: not an application"
  desktop-file-validate "$entry" || fail "$entry does not validate"
  icon=$icons/$app.svg
  [ -f "$icon" ] || fail "$icon is missing"
  grep -q '<svg xmlns="http://www.w3.org/2000/svg"' "$icon" || fail "$icon: no SVG root"
  grep -Eq 'viewBox="0 0 [0-9]+ [0-9]+"' "$icon" || fail "$icon: no viewBox to scale by"
  xmllint --noout "$icon" || fail "$icon is not well-formed"

  # The metadata names the installed desktop entry and this release.
  [ -f "$metainfo" ] || fail "$metainfo is missing"
  appstreamcli validate --no-net "$metainfo" || fail "$metainfo does not validate"
  grep -q "<id>invalid.quillon.$app</id>" "$metainfo" || fail "$metainfo: id not as its file"
  grep -q "<launchable type=\"desktop-id\">$app.desktop</launchable>" "$metainfo" ||
    fail "$metainfo does not launch $app.desktop"
  grep -q "<release version=\"$version\"" "$metainfo" || fail "$metainfo: no release $version"
  grep -q "<project_license>Apache-2.0</project_license>" "$metainfo" ||
    fail "$metainfo: the project licence is not Apache-2.0"
done

# The metadata and the desktop entries together, as a software centre reads them.
if [ -d share/metainfo ]; then
  appstreamcli validate-tree --no-net "$dest" || fail "the metadata and entries disagree"
fi

for tool in quillon-flash pellisk-watch quillon-records quillon-station; do
  case " ${programs[*]} " in *" $tool "*) ;; *) continue ;; esac
  expected+=("share/bash-completion/completions/$tool")
done
case " ${programs[*]} " in
  *" quillon-records "*) expected+=("share/bash-completion/completions/quillon-records") ;;
esac

# The station's service and its options, beside the prefix where Debian keeps them.
case " ${programs[*]} " in *" quillon-station "*)
  unit=../lib/systemd/system/quillon-station.service
  [ -f "$unit" ] || fail "$unit is missing"
  grep -qx 'DynamicUser=yes' "$unit" || fail "$unit: not DynamicUser=yes"
  grep -qx 'StateDirectory=quillon' "$unit" || fail "$unit: not StateDirectory=quillon"
  grep -qx 'EnvironmentFile=-/etc/default/quillon-station' "$unit" ||
    fail "$unit: no optional /etc/default/quillon-station"
  [ -f ../etc/default/quillon-station ] || fail "etc/default/quillon-station is missing"
  if command -v systemd-analyze >/dev/null; then
    systemd-analyze verify --man=no "$unit" 2>&1 | grep -v 'quillon-station: command not found\|is not executable' |
      grep -i 'quillon-station.service' && fail "$unit does not verify"
  fi
  ;;
esac

# The dissector's files are checked by its own test.
while IFS= read -r lua; do expected+=("$lua"); done < <(find . -path '*/wireshark/plugins/*' \
  -type f -printf '%P\n')

for package in quillon quillon-devtools; do
  doc=share/doc/$package
  expected+=("$doc/copyright" "$doc/changelog.gz")
  head -n 1 "$doc/copyright" |
    grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
    fail "$doc/copyright is not in the machine-readable format"
  # Compressed without a name or time stamp, so that the package builds reproducibly.
  [ "$(od -An -tx1 -j3 -N5 "$doc/changelog.gz" | tr -d ' ')" = 0000000000 ] ||
    fail "$doc/changelog.gz carries a name or time stamp"
  top=$(gzip -dc "$doc/changelog.gz" | head -n 1)
  [[ $top == "quillon ($version) "* ]] ||
    fail "$doc/changelog.gz: the latest entry is \"$top\", not version $version"
done

actual=$(find . -type f -printf '%P\n' | sort)
# A file expected twice (listed by two checks) is still one file.
wanted=$(printf '%s\n' "${expected[@]}" | sort -u)
if [ "$actual" != "$wanted" ]; then
  diff <(echo "$wanted") <(echo "$actual") >&2 || true
  fail "the install tree differs from the expected file list (< expected, > installed)"
fi
echo "install tree: ${#expected[@]} files as expected"
