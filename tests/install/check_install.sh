#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs a build into a scratch DESTDIR as a package would (prefix /usr) and checks what
# lands there: the file list, the desktop entry, the AppStream data, the icons, the man
# page, and the installed binary's command line without a display.
# check_install.sh <build folder> <version> <desktop id>
set -euo pipefail
build=$1 version=$2 id=$3

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

destdir=$(mktemp -d)
trap 'rm -rf "$destdir"' EXIT
DESTDIR=$destdir cmake --install "$build" --prefix /usr >/dev/null
root=$destdir/usr

sizes=(16 24 32 48 64 128 256)
expected=(
    bin/kestrune
    share/applications/$id.desktop
    share/doc/kestrune/changelog.gz
    share/doc/kestrune/copyright
    share/icons/hicolor/scalable/apps/$id.svg
    share/man/man1/kestrune.1.gz
    share/metainfo/$id.metainfo.xml
)
for s in "${sizes[@]}"; do expected+=("share/icons/hicolor/${s}x${s}/apps/$id.png"); done
actual=$(cd "$root" && find . -type f -o -type l | sed 's|^\./||' | LC_ALL=C sort)
wanted=$(printf '%s\n' "${expected[@]}" | LC_ALL=C sort)
if [ "$actual" != "$wanted" ]; then
    fail "installed files differ from the list (< installed, > expected):"
    diff <(echo "$actual") <(echo "$wanted") || true
fi
[ -z "$(cd "$destdir" && find . -mindepth 1 -maxdepth 1 ! -name usr)" ] || fail "files installed outside the prefix"

# The desktop entry: valid without even a hint, and pointing at the binary and the icon.
desktop=$root/share/applications/$id.desktop
report=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate failed"
[ -z "$report" ] || fail "desktop-file-validate reports: $report"
grep -qx "Exec=kestrune" "$desktop" || fail "the desktop entry does not run kestrune"
grep -qx "Icon=$id" "$desktop" || fail "the desktop entry's icon is not $id"

# AppStream data, alone and together with the desktop entry and icons it refers to.
appstreamcli validate --no-net "$root/share/metainfo/$id.metainfo.xml" || fail "appstreamcli validate"
grep -q "<release version=\"$version\"" "$root/share/metainfo/$id.metainfo.xml" \
    || fail "the AppStream data has no release $version"

# Every PNG has its folder's size and an alpha channel; the SVG is an SVG.
for s in "${sizes[@]}"; do
    png=$root/share/icons/hicolor/${s}x${s}/apps/$id.png
    [ -f "$png" ] || continue
    got=$(identify -format '%wx%h %A' "$png")
    [[ $got == "${s}x${s} "[BT]* ]] || fail "$png: $got, not ${s}x${s} with alpha"
done
grep -q '<svg ' "$root/share/icons/hicolor/scalable/apps/$id.svg" || fail "the scalable icon is no SVG"

man=$(gzip -dc "$root/share/man/man1/kestrune.1.gz") || fail "the man page is no gzip file"
grep -q '^\.TH KESTRUNE 1 ' <<<"$man" || fail "the man page has no .TH line for kestrune(1)"

# The installed binary, with no display: --version and --help print and exit 0, anything
# else is one line on stderr and exit 2.
run() { env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/bin/kestrune" "$@"; }
out=$(run --version) && status=0 || status=$?
[ "$status" -eq 0 ] && [ "$out" = "kestrune $version" ] || fail "--version: exit $status, printed '$out'"
out=$(run --help) && status=0 || status=$?
[ "$status" -eq 0 ] && grep -q -- '--version' <<<"$out" || fail "--help: exit $status, printed '$out'"
for bad in --colour -platform COM1 --; do
    out=$(run "$bad" 2>"$destdir/stderr") && status=0 || status=$?
    lines=$(wc -l <"$destdir/stderr")
    [ "$status" -eq 2 ] && [ -z "$out" ] && [ "$lines" -eq 1 ] \
        || fail "$bad: exit $status, stdout '$out', $lines lines on stderr: $(cat "$destdir/stderr")"
done

if [ "$failures" -ne 0 ]; then
    echo "$failures checks failed"
    exit 1
fi
echo "installed ${#expected[@]} files into $destdir/usr; all checks passed"
