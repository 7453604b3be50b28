#!/usr/bin/env bash
# The main job: builds Belmorand if needed and converts configuration files.
#   scripts/run.sh                 converts the shipped examples into build/reports/,
#                                  then opens the window when a display is present
#   scripts/run.sh FILE.json...    converts the given files, each PDF beside its file
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh run
bash scripts/build.sh -DBELMORAND_BUILD_TESTS=OFF >&2
cli=build/cli/belmorand-cli

if [ $# -gt 0 ]; then
    exec "$cli" "$@"
fi

out=build/reports
mkdir -p "$out"
cp examples/*.json "$out/"
"$cli" "$out"/*.json
echo "Die PDF-Protokolle liegen in $(cd "$out" && pwd)/"

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    echo "Öffne das Fenster (build/app/belmorand)." >&2
    exec build/app/belmorand
fi
