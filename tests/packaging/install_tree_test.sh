#!/usr/bin/env bash
# The install tree holds the programs, desktop entries and icons in their freedesktop places and
# nothing else, and no installed program looks for libraries in the build tree.
#   install_tree_test.sh BUILD_DIR PROGRAM...
set -euo pipefail
build=$(cd "$1" && pwd)
shift
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

dest=$(mktemp -d)
trap 'rm -rf "$dest"' EXIT
"${CMAKE:-cmake}" --install "$build" --prefix "$dest/usr" >/dev/null
cd "$dest/usr"

expected=()
for program in "$@"; do
  expected+=("bin/$program")
  [ -x "bin/$program" ] || fail "bin/$program is missing or not executable"
  dynamic=$(readelf -d "bin/$program") || fail "bin/$program is not an ELF program"
  if grep -E 'R(UN)?PATH' <<<"$dynamic" | grep -qF "$build"; then
    fail "bin/$program keeps a library path into the build tree"
  fi
done

apps=share/applications
icons=share/icons/hicolor/scalable/apps
for app in quillon pellisk; do
  case " $* " in *" $app "*) ;; *) continue ;; esac
  expected+=("$apps/$app.desktop" "$icons/$app.svg")
  entry=$apps/$app.desktop
  [ -f "$entry" ] || fail "$entry is missing"
  # The entry must start the installed program and name the installed icon.
  name="$(tr '[:lower:]' '[:upper:]' <<<"${app:0:1}")${app:1}"
  grep -qx "Name=$name" "$entry" || fail "$entry: Name is not $name"
  grep -qx "Exec=$app" "$entry" || fail "$entry: Exec is not $app"
  grep -qx "Icon=$app" "$entry" || fail "$entry: Icon is not $app"
  grep -qx "Type=Application" "$entry" || fail "$entry: not an application"
  if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$entry" || fail "$entry does not validate"
  fi
  icon=$icons/$app.svg
  [ -f "$icon" ] || fail "$icon is missing"
  grep -q '<svg xmlns="http://www.w3.org/2000/svg"' "$icon" || fail "$icon: no SVG root"
  grep -Eq 'viewBox="0 0 [0-9]+ [0-9]+"' "$icon" || fail "$icon: no viewBox to scale by"
  if command -v xmllint >/dev/null; then
    xmllint --noout "$icon" || fail "$icon is not well-formed"
  fi
done

actual=$(find . -type f -printf '%P\n' | sort)
wanted=$(printf '%s\n' "${expected[@]}" | sort)
if [ "$actual" != "$wanted" ]; then
  diff <(echo "$wanted") <(echo "$actual") >&2 || true
  fail "the install tree differs from the expected file list (< expected, > installed)"
fi
echo "install tree: ${#expected[@]} files as expected"
