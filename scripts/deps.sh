#!/usr/bin/env bash
# Installs the Debian packages Belmorand needs that are not there yet.
#   scripts/deps.sh run    what building and running needs
#   scripts/deps.sh test   that, and what the tests need
set -euo pipefail

packages=(cmake ninja-build g++ pkg-config qtbase5-dev fonts-dejavu-core)
if [ "${1:-run}" = test ]; then
    packages+=(libpoppler-qt5-dev poppler-utils qpdf)
fi

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installiere: ${missing[*]}" >&2
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
