#!/usr/bin/env bash
# Converts the shipped examples (and one configuration without a name) with
# --pdfa and has Apache PDFBox Preflight validate them as PDF/A-1b, all in one
# JVM. An ordinary report goes along and must be refused, so a validator that
# passes everything is noticed. Title and creator must stand in the document
# information and in the XMP metadata alike. A combined document of them all
# (--combine, with a bad file left out) must pass as well, titled as asked.
#   check_pdfa.sh CLI EXAMPLES
set -euo pipefail
cli=$1
examples=$2
jars=/usr/share/java
classpath=""
for jar in preflight pdfbox2 fontbox2 xmpbox commons-logging javax.activation jaxb-api; do
    [ -f "$jars/$jar.jar" ] || { echo "$jars/$jar.jar is missing: bash scripts/deps.sh test" >&2; exit 1; }
    classpath+="${classpath:+:}$jars/$jar.jar"
done

work=$(mktemp -d)
titles=0
trap 'rm -rf "$work"' EXIT
cp "$examples"/*.json "$work/"
# No name, and a character no font may have (U+0001), which PDF/A must not draw as a box.
echo '{"configuration": {"date": "01.02.2026 08:00", "location": "\u0001 東京"}}' >"$work/ohne-name.json"
# Names that would make the XMP packet ill-formed (U+0001, U+FFFE), let it
# disagree with the document information (a CR) or pass PDF/A's limit on a
# string (100 000 characters); and a file name with a control character.
long=$(head -c 100000 /dev/zero | tr '\0' x)
for name in 'a\u0001b' 'Zeile 1\rZeile 2' 'nicht\uFFFEzeichen' "$long"; do
    printf '{"configuration": {"name": "%s", "outputs": []}}' "$name" >"$work/titel-$((++titles)).json"
done
echo '{"configuration": {}}' >"$work/titel-n"$'\x01'".json"
"$cli" -q --pdfa -d "$work/pdfa" "$work"/*.json
"$cli" -q -o "$work/plain.pdf" "$work/typical.json"
"$cli" -q --pdfa --compare -o "$work/aenderungen.pdf" "$work/minimal.json" "$work/typical.json"
echo '{"configuration": [}' >"$work/kaputt.json"
site_title="Anlage Nord, Halle 3"
"$cli" -q --pdfa --title "$site_title" -c "$work/anlage.pdf" "$work"/*.json 2>/dev/null && exit 1

ls "$work"/pdfa/*.pdf >"$work/list"
echo "$work/anlage.pdf" >>"$work/list"
echo "$work/aenderungen.pdf" >>"$work/list"
echo "$work/plain.pdf" >>"$work/list"
java -cp "$classpath" org.apache.pdfbox.preflight.Validator_A1b xml group "$work/list" >/dev/null
# One "name verdict" line per file, in the order of the list.
verdicts=$(sed -n -e 's/&#1;/\x01/g' -e 's/.*<preflight name="\([^"]*\)".*/\1/p' \
    -e 's/.*<isValid[^>]*>\([a-z]*\)<.*/\1/p' "$work/list.preflight.xml" | paste -d ' ' - -)
echo "$verdicts"
expected=$(cd "$work/pdfa" && for pdf in *.pdf; do echo "$pdf true"; done; echo "anlage.pdf true"; echo "aenderungen.pdf true"
    echo "plain.pdf false")
[ "$verdicts" = "$expected" ] || { cat "$work/list.preflight.xml" >&2; exit 1; }

for pdf in "$work"/pdfa/*.pdf; do
    base=$(basename "$pdf" .pdf)
    # Their titles are made safe, not copied: Preflight compared them above.
    [[ $base == titel-* ]] && continue
    title=$(sed -n 's/.*"name": *"\([^"]*\)".*/\1/p' "$work/$base.json" | head -n 1)
    title=${title:-$base}
    info=$(pdfinfo "$pdf")
    xmp=$(pdfinfo -meta "$pdf")
    grep -qxF "Title:           $title" <<<"$info" &&
        grep -qF "<rdf:li xml:lang=\"x-default\">$title</rdf:li>" <<<"$xmp" &&
        grep -q '^Creator: *belmorand-cli ' <<<"$info" &&
        grep -qF 'xmp:CreatorTool="belmorand-cli ' <<<"$xmp" ||
        { echo "$base.pdf: title \"$title\" or creator missing" >&2; echo "$info$xmp" >&2; exit 1; }
done
grep -qxF "Title:           $site_title" <(pdfinfo "$work/anlage.pdf") &&
    grep -qF "<rdf:li xml:lang=\"x-default\">$site_title</rdf:li>" <(pdfinfo -meta "$work/anlage.pdf") ||
    { echo "anlage.pdf: title \"$site_title\" missing" >&2; exit 1; }
changes_title="Änderungsprotokoll RLT-Gerät 02 Büro Nord"
grep -qxF "Title:           $changes_title" <(pdfinfo "$work/aenderungen.pdf") ||
    { echo "aenderungen.pdf: title \"$changes_title\" missing" >&2; exit 1; }
echo "$(wc -l <"$work/list") reports checked by Preflight, titles and creators in place"
