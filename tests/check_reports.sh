#!/usr/bin/env bash
# Checks with qpdf every report the tests wrote below a folder (stand-ins the
# tests put there themselves excepted), then removes the folder, keeping it
# when a report fails so it can be looked at.
#   check_reports.sh FOLDER
set -euo pipefail
root=$1
# The tests chosen may have written nothing.
[ -d "$root" ] || { echo "no test output in $root"; exit 0; }

list=$(mktemp)
trap 'rm -f "$list"' EXIT
find "$root" -type f -name '*.pdf' -print0 |
    while IFS= read -r -d '' pdf; do
        head -c 18 "$pdf" | grep -q '^%PDF-1.4 stand-in' || printf '%s\0' "$pdf"
    done >"$list"

checked=$(tr -cd '\0' <"$list" | wc -c)
# qpdf: 0 sound, 2 errors, 3 warnings; both of the latter fail.
failed=$(xargs -0 -r -P "$(nproc)" -n 1 sh -c 'qpdf --check "$0" >/dev/null 2>&1 || echo "$0"' <"$list")
if [ -n "$failed" ]; then
    echo "qpdf --check fails for:" >&2
    echo "$failed" >&2
    exit 1
fi
echo "$checked reports written by the tests, qpdf --check passed"
rm -rf "$root"
