#!/usr/bin/env bash
# Installs the build into a scratch DESTDIR and checks the tree: every file
# in its place, accepted by the freedesktop.org validators, the PNG icons of
# their stated sizes.
# Usage: check-install.sh CMAKE BUILD_DIR
set -euo pipefail
. "$(dirname "$0")/common.sh"
cmake=$1 build=$2
need desktop-file-validate desktop-file-utils
need appstreamcli appstream
need xmllint libxml2-utils

DESTDIR=$scratch "$cmake" --install "$build" --prefix /usr >/dev/null
root=$scratch/usr
id=io.github.quiltor.Quiltor
icons=$root/share/icons/hicolor
expected=(bin/quiltor
          share/applications/$id.desktop
          share/metainfo/$id.metainfo.xml
          share/mime/packages/quiltor.xml
          share/icons/hicolor/scalable/apps/$id.svg
          share/icons/hicolor/scalable/mimetypes/application-x-quiltor.svg
          share/man/man1/quiltor.1)
for size in 16 32 48 64 128 256; do expected+=("share/icons/hicolor/${size}x${size}/apps/$id.png"); done
for f in "${expected[@]}"; do [ -f "$root/$f" ] || fail "$f is not installed"; done
# The editor module, wherever the library folder is on this system.
module=$(find "$root" -path '*/quiltor/quiltor-editor.so' | head -n 1)
[ -n "$module" ] || fail "the editor module is not installed"

desktop-file-validate "$root/share/applications/$id.desktop" || fail "desktop-file-validate rejects the desktop entry"
appstreamcli validate --no-net "$root/share/metainfo/$id.metainfo.xml" || fail "appstreamcli rejects the metainfo"
grep -q '@PROJECT_VERSION@' "$root/share/metainfo/$id.metainfo.xml" "$root/share/man/man1/quiltor.1" &&
  fail "a version placeholder was left unfilled"
# The names the entry and the metainfo refer to are the ones installed.
icon=$(sed -n 's/^Icon=//p' "$root/share/applications/$id.desktop")
[ -f "$icons/scalable/apps/$icon.svg" ] || fail "the desktop entry's icon '$icon' is not installed"
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$root/share/metainfo/$id.metainfo.xml" ||
  fail "the metainfo does not launch $id.desktop"
grep -q '^MimeType=.*application/x-quiltor;' "$root/share/applications/$id.desktop" ||
  fail "the desktop entry does not open application/x-quiltor"
xmllint --noout "$root/share/mime/packages/quiltor.xml" || fail "xmllint rejects the MIME package"

# A PNG's width and height are the big-endian words at bytes 16 and 20.
for size in 16 32 48 64 128 256; do
  png=$icons/${size}x${size}/apps/$id.png
  read -r w h < <(od -An -j16 -N8 -tu1 "$png" | awk '{print $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8}')
  [ "$w" = "$size" ] && [ "$h" = "$size" ] || fail "$png is ${w}x${h}, not ${size}x${size}"
done
echo "install tree complete and valid"
