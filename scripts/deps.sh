#!/usr/bin/env bash
# Installs the Debian packages Belmorand needs that are not there yet.
#   scripts/deps.sh run        what building and running needs (Qt 5)
#   scripts/deps.sh test       that, and what the tests need
#   scripts/deps.sh test-qt6   the same for a build against Qt 6
#   scripts/deps.sh package    what making and checking the .deb needs
#   scripts/deps.sh lint       clang-format and clang-tidy
#   scripts/deps.sh clang      clang 14 with its sanitizer runtimes
#   scripts/deps.sh screenshot a virtual X server for the window's screenshots
set -euo pipefail

# rapidjson-dev: the strict JSON reader every configuration passes first.
# qttranslations5-l10n / qt6-translations-l10n: Qt's own dialogs in German.
base=(cmake ninja-build g++ pkg-config fonts-dejavu-core rapidjson-dev)
# What the tests of the installed layout read it with; fonttools remakes the
# bundled report font, pdfminer reads a report's text as its font maps say.
checks=(desktop-file-utils appstream imagemagick man-db python3-fonttools python3-pdfminer)
# Apache PDFBox Preflight, which validates the PDF/A reports.
pdfa=(libpdfbox2-java default-jre-headless libactivation-java libjaxb-api-java)
case "${1:-run}" in
run) packages=("${base[@]}" qtbase5-dev qttranslations5-l10n) ;;
test) packages=("${base[@]}" qtbase5-dev qttranslations5-l10n libpoppler-qt5-dev poppler-utils qpdf "${checks[@]}" "${pdfa[@]}") ;;
test-qt6) packages=("${base[@]}" qt6-base-dev qt6-translations-l10n libpoppler-qt6-dev poppler-utils qpdf "${checks[@]}" "${pdfa[@]}") ;;
package) packages=("${base[@]}" qtbase5-dev dpkg-dev file) ;;
lint) packages=("${base[@]}" qtbase5-dev clang-format clang-tidy) ;;
clang) packages=(clang-14 libclang-rt-14-dev) ;;
screenshot) packages=(xvfb xauth) ;;
*)
    echo "scripts/deps.sh: unknown set '$1'" >&2
    exit 2
    ;;
esac

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
