#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks what a desktop user
# gets: the programs, the shipped documents and manuals, the menu entry, the
# icon, the AppStream file and the manual pages; the desktop tools validate
# their files where they are installed; the installed editor, started
# without a screen, finds its documents under the prefix and ends cleanly
# on SIGTERM.
#
#   install_test.sh BUILD_DIR VERSION
set -u

build=$1
version=$2
id=example.quillon.KorvaneEditor
work=$(mktemp -d)
editor_pid=
cleanup() {
  if [ -n "$editor_pid" ] && kill -0 "$editor_pid" 2>/dev/null; then kill -KILL "$editor_pid"; fi
  rm -rf "$work"
}
trap cleanup EXIT

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

prefix=$work/prefix
if ! cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1; then
  cat "$work/install.log"
  echo "FAIL: cmake --install"
  exit 1
fi

expected=(
  bin/korvane-editor bin/korvane bin/korvane-sim
  share/korvane/korvane.def share/korvane/motorprofile.def
  share/korvane/Anleitung_deu.html share/korvane/Manual_en.html
  share/applications/$id.desktop
  share/metainfo/$id.metainfo.xml
  share/icons/hicolor/scalable/apps/$id.svg
  share/man/man1/korvane.1 share/man/man1/korvane-sim.1 share/man/man1/korvane-editor.1
)
for size in 16 24 32 48 64 128 256; do expected+=("share/icons/hicolor/${size}x${size}/apps/$id.png"); done
for f in "${expected[@]}"; do
  [ -s "$prefix/$f" ] || fail "missing or empty: $f"
done
for exe in korvane-editor korvane korvane-sim; do
  [ -x "$prefix/bin/$exe" ] || fail "not executable: bin/$exe"
done

# Every PNG is a PNG of the size its folder names.
for size in 16 24 32 48 64 128 256; do
  png=$prefix/share/icons/hicolor/${size}x${size}/apps/$id.png
  [ -s "$png" ] || continue
  dims=$(od -An -tu1 -j16 -N8 "$png" | awk '{print $1*16777216+$2*65536+$3*256+$4 "x" $5*16777216+$6*65536+$7*256+$8}')
  [ "$dims" = "${size}x${size}" ] || fail "$png is $dims"
done

# The menu entry: both languages, a program that is installed, an icon that is.
desktop=$prefix/share/applications/$id.desktop
for key in 'Name=' 'Name\[de\]=' 'Comment=' 'Comment\[de\]=' "Icon=$id\$" 'Exec=korvane-editor$'; do
  grep -q "^$key" "$desktop" || fail "desktop entry lacks $key"
done
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$desktop" || fail "desktop-file-validate"
else
  echo "note: desktop-file-validate not installed, entry checked by hand only"
fi

metainfo=$prefix/share/metainfo/$id.metainfo.xml
grep -q "<release version=\"$version\"" "$metainfo" || fail "metainfo release is not $version"
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" || fail "metainfo launchable"
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net "$metainfo" || fail "appstreamcli validate"
elif command -v python3 >/dev/null; then
  python3 -c 'import sys, xml.dom.minidom; xml.dom.minidom.parse(sys.argv[1])' "$metainfo" || fail "metainfo not well-formed"
fi
if command -v python3 >/dev/null; then
  python3 -c 'import sys, xml.dom.minidom; xml.dom.minidom.parse(sys.argv[1])' \
    "$prefix/share/icons/hicolor/scalable/apps/$id.svg" || fail "icon SVG not well-formed"
fi

if command -v groff >/dev/null; then
  for page in korvane korvane-sim korvane-editor; do
    out=$(groff -man -Tutf8 -ww "$prefix/share/man/man1/$page.1" 2>&1 >/dev/null)
    [ -z "$out" ] || fail "man page $page: $out"
  done
fi

for exe in korvane-editor korvane; do
  got=$("$prefix/bin/$exe" --version)
  [ "$got" = "$exe $version" ] || fail "$exe --version printed '$got'"
done

# The installed editor, away from the build tree, finds the shipped
# documents under the prefix: it provisions the working copies from them.
home=$work/home
mkdir -p "$home/data" "$home/config" "$home/run"
chmod 700 "$home/run"
log=$home/data/Pellux3/logs/Korvane.log
(
  cd "$work" || exit 1
  QT_QPA_PLATFORM=offscreen XDG_DATA_HOME=$home/data XDG_CONFIG_HOME=$home/config XDG_RUNTIME_DIR=$home/run \
    exec "$prefix/bin/korvane-editor" >"$work/editor.out" 2>&1
) &
editor_pid=$!
for _ in $(seq 1 600); do
  grep -q "program folder: " "$log" 2>/dev/null && break
  kill -0 "$editor_pid" 2>/dev/null || break
  sleep 0.1
done
# The log's lines end in CR LF.
tr -d '\r' <"$log" 2>/dev/null | grep -q "program folder: $prefix/share/korvane\$" ||
  fail "the installed editor did not report $prefix/share/korvane: $(grep 'program folder' "$log" 2>/dev/null)"
cmp -s "$prefix/share/korvane/korvane.def" "$home/data/Pellux3/korvane.xml" || fail "korvane.xml not provisioned from the prefix"
cmp -s "$prefix/share/korvane/motorprofile.def" "$home/data/Pellux3/motorprofile.mp" ||
  fail "motorprofile.mp not provisioned from the prefix"
kill -TERM "$editor_pid" 2>/dev/null
wait "$editor_pid"
status=$?
editor_pid=
[ "$status" -eq 0 ] || fail "editor ended with status $status after SIGTERM"
[ "$(tail -n 1 "$log" | tr -d '\r' | sed 's/.* //')" = "Close" ] || fail "log does not end with Close: $(tail -n 1 "$log")"

if [ "$failures" -ne 0 ]; then
  echo "$failures failure(s)"
  exit 1
fi
echo "install tree complete"
