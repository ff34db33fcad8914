#!/usr/bin/env bash
# Installs a build into a temporary prefix and checks what a desktop reads from it: the entry and
# the AppStream data pass their validators, the entry starts the installed program, and each icon
# has the size of its theme folder.
set -euo pipefail
cmake=$1
build=$2
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
"$cmake" --install "$build" --prefix "$prefix" >/dev/null

id=example.pexaresizer.PexaResizer
desktop=$prefix/share/applications/$id.desktop
metainfo=$prefix/share/metainfo/$id.metainfo.xml
fail() {
    echo "$*" >&2
    exit 1
}

# desktop-file-validate exits 0 on warnings and hints; they count here too.
report=$(desktop-file-validate "$desktop" 2>&1) || fail "$report"
[[ -z $report ]] || fail "$report"
appstreamcli validate --no-net "$metainfo"

exec_name=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
[[ -x $prefix/bin/$exec_name ]] || fail "Exec=$exec_name is not installed in $prefix/bin"
grep -qx "Icon=$id" "$desktop" || fail "the entry's icon is not $id"
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" ||
    fail "the metainfo does not launch $id.desktop"
for size in 48 128 256; do
    icon=$prefix/share/icons/hicolor/${size}x${size}/apps/$id.png
    actual=$(/usr/bin/identify -format '%wx%h' "$icon" 2>&1) || true
    [[ $actual == "${size}x${size}" ]] || fail "$icon: $actual, not ${size}x${size}"
done
echo "Installed files are valid."
