#!/usr/bin/env bash
# Builds a release into build-package/ and makes the Debian package there.
#   bash scripts/package.sh            make build-package/belmorand_*.deb
#   bash scripts/package.sh --install  also install it with apt-get, convert
#                                      an example with the installed copy,
#                                      check the service's unit with
#                                      systemd-analyze, start the window, and
#                                      remove it again
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh package
cmake -S . -B build-package -G Ninja -DCMAKE_BUILD_TYPE=Release -DBELMORAND_BUILD_TESTS=OFF >/dev/null
cmake --build build-package --parallel "$(nproc)"
rm -f build-package/belmorand_*.deb
(cd build-package && cpack -G DEB >/dev/null)
deb=$(ls "$PWD"/build-package/belmorand_*.deb)
echo "$deb"
dpkg-deb --field "$deb" Package Version Depends

[ "${1:-}" = --install ] || exit 0
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "$deb" >/dev/null
trap 'DEBIAN_FRONTEND=noninteractive $sudo apt-get remove -y -qq belmorand >/dev/null' EXIT
work=$(mktemp -d)
cp /usr/share/doc/belmorand/examples/*.json "$work/"
(cd "$work" && env -u DISPLAY -u QT_QPA_PLATFORM /usr/bin/belmorand-cli -q ./*.json)
for json in "$work"/*.json; do
    qpdf --check "${json%.json}.pdf" >/dev/null
done
# The watched folder's service as systemd reads it (any warning fails), and
# the user its postinst made.
verified=$(systemd-analyze verify --man=no belmorand-watch@srv-konfig.service 2>&1) &&
    [ -z "$verified" ] || { echo "belmorand-watch@.service: ${verified:-rejected}" >&2; exit 1; }
id belmorand >/dev/null
# The window must come up and keep running until it is closed.
status=0
QT_QPA_PLATFORM=offscreen timeout 3 /usr/bin/belmorand || status=$?
[ "$status" -eq 124 ] || { echo "the installed window ended by itself ($status)" >&2; exit 1; }
echo "installed $(basename "$deb"): $(/usr/bin/belmorand-cli --version), examples converted, unit verified, window starts"
rm -rf "$work"
