#!/usr/bin/env bash
# Installs the build into a scratch root and checks what a desktop and a
# shell find there: both programs, the launcher with its icon in every size,
# the metadata, the man page; then converts an installed example with the
# installed converter.
#   check_install.sh BUILD-DIR
set -euo pipefail
build=$1
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
DESTDIR=$root cmake --install "$build" --prefix /usr >/dev/null

id=de.belmorand.Belmorand
expected=(
    usr/bin/belmorand
    usr/bin/belmorand-cli
    usr/share/applications/$id.desktop
    usr/share/metainfo/$id.metainfo.xml
    usr/share/man/man1/belmorand-cli.1
    usr/lib/systemd/system/belmorand-watch@.service
    usr/share/icons/hicolor/scalable/apps/$id.svg
    usr/share/doc/belmorand/examples/typical.json
    usr/share/doc/belmorand/fonts/LICENSE
)
for size in 16 24 32 48 64 128 256; do
    expected+=("usr/share/icons/hicolor/${size}x${size}/apps/$id.png")
done
for file in "${expected[@]}"; do
    [ -f "$root/$file" ] || { echo "not installed: /$file" >&2; exit 1; }
done
for size in 16 24 32 48 64 128 256; do
    identify -format '%wx%h' "$root/usr/share/icons/hicolor/${size}x${size}/apps/$id.png" |
        grep -qx "${size}x${size}" || { echo "icon of ${size}x${size} has another size" >&2; exit 1; }
done

desktop-file-validate "$root/usr/share/applications/$id.desktop"
appstreamcli validate --no-net "$root/usr/share/metainfo/$id.metainfo.xml" >/dev/null
version=$("$root/usr/bin/belmorand-cli" --version)
grep -q "<release version=\"${version#belmorand-cli }\"" "$root/usr/share/metainfo/$id.metainfo.xml" ||
    { echo "metainfo does not carry $version" >&2; exit 1; }
man -l "$root/usr/share/man/man1/belmorand-cli.1" 2>/dev/null | grep -q "belmorand-cli" ||
    { echo "the man page does not render" >&2; exit 1; }

work=$root/work
mkdir "$work"
cp "$root/usr/share/doc/belmorand/examples/typical.json" "$work/"
"$root/usr/bin/belmorand-cli" -q "$work/typical.json"
qpdf --check "$work/typical.pdf" >/dev/null
echo "installed layout complete; the installed belmorand-cli converts ($version)"
