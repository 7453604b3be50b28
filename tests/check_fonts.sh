#!/usr/bin/env bash
# The committed report font and its licence are what fonts/make_fonts.py
# makes of Debian's DejaVu Sans: nobody edited them by hand.
#   check_fonts.sh FONTS-DIR
set -euo pipefail
fonts=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
/usr/bin/python3 "$fonts/make_fonts.py" "$work"
for file in BelmorandReportSans.ttf BelmorandReportSans-Bold.ttf LICENSE; do
    cmp -s "$fonts/$file" "$work/$file" || { echo "$file is not what make_fonts.py makes" >&2; exit 1; }
done
