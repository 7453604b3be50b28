#!/usr/bin/env bash
# Regenerates every PNG in this folder from its SVG source.
# Usage (from the repository root or from img/):  bash img/render.sh
set -euo pipefail
cd "$(dirname "$0")"

render() { # svg-base-name width height
    rsvg-convert -w "$2" -h "$3" "$1.svg" -o "$1.png"
    echo "$1.png  ${2}x${3}"
}

render quorvalisLogoMain 1000 241
for icon in Folder_icon Folder_icon_blau IconSwitch IconSwitchInv \
            btnClose btnCloseInv Edit Edit_blau Edit_grau IconSwitch_grau \
            SiteDocument SiteDocument_blau SiteDocument_grau; do
    render "$icon" 142 142
done

# The application icon for the desktop's icon theme (installed, not compiled in).
for size in 16 24 32 48 64 128 256; do
    rsvg-convert -w "$size" -h "$size" belmorand.svg -o "appicon/belmorand-$size.png"
    echo "appicon/belmorand-$size.png  ${size}x${size}"
done
