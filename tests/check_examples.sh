#!/usr/bin/env bash
# Converts every shipped example with the converter and checks each PDF with
# qpdf: the structure a viewer relies on must be sound. With a third
# argument, a folder of NAME.boxes, every word's text and box (as
# `pdftotext -bbox` reads them) must be as recorded there.
set -euo pipefail
cli=$1
examples=$2
boxes_dir=${3:-}
# boxes PDF: the pages' sizes and each word's box and text, one a line; the
# source path in the title names this scratch folder, so it is left out.
boxes() {
    pdftotext -bbox "$1" - |
        sed -n -e 's/^ *<page width="\([0-9.]*\)" height="\([0-9.]*\)">$/page \1 \2/p' \
            -e 's/^ *<word xMin="\([0-9.]*\)" yMin="\([0-9.]*\)" xMax="\([0-9.]*\)" yMax="\([0-9.]*\)">\(.*\)<\/word>$/\1 \2 \3 \4 \5/p' |
        grep -v ' /.*\.json$'
}
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
    name=$(basename "$json" .json)
    [ -z "$boxes_dir" ] || diff -u "$boxes_dir/$name.boxes" <(boxes "$pdf") >&2 ||
        { echo "the words of $name.pdf are not where they were" >&2; exit 1; }
done
echo "$(ls "$work"/*.pdf | wc -l) examples converted, qpdf --check and the text layer passed"
