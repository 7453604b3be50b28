#!/usr/bin/env bash
# Converts every shipped example with the converter and checks each PDF with
# qpdf: the structure a viewer relies on must be sound.
set -euo pipefail
cli=$1
examples=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$examples"/*.json "$work/"
"$cli" "$work"/*.json >/dev/null
for json in "$work"/*.json; do
    pdf=${json%.json}.pdf
    qpdf --check "$pdf" >/dev/null || { echo "qpdf refuses $(basename "$pdf")" >&2; exit 1; }
    text=$(pdftotext "$pdf" -)
    [[ $text == *"Ordano Protokoll vom:"* ]] || { echo "no title in $(basename "$pdf")" >&2; exit 1; }
    # pdfminer reads the text through the fonts' maps as written (poppler
    # turns tabs into blanks): a copy of the text gets blanks, never tabs.
    /usr/bin/python3 -c 'import sys; from pdfminer.high_level import extract_text as text
t = text(sys.argv[1]); sys.exit("\t" in t or " " not in t)' "$pdf" ||
        { echo "blanks do not read as blanks in $(basename "$pdf")" >&2; exit 1; }
done
echo "$(ls "$work"/*.pdf | wc -l) examples converted, qpdf --check and the text layer passed"
