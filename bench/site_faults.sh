#!/usr/bin/env bash
# What the site document's hard cases cost:
# - the peak memory of one report whose name is a 30 MB string (the limit is
#   32 MiB a file), singly and in a site document;
# - the time from a SIGTERM during the joining of N devices to the exit, and
#   that the exit status is 143 with no document and nothing in TMPDIR.
# The joining is found by its thread's name ("site-join").
#   bash bench/site_faults.sh [N=5000] [RUNS=3]
# PEERS and CLI as in bench/common.sh.
set -euo pipefail
n=${1:-5000}
runs=${2:-3}
source "$(dirname "$0")/common.sh"

/usr/bin/python3 - "$work/long" <<'PY'
import json, os, sys
os.makedirs(sys.argv[1])
d = json.load(open("examples/typical.json"))
d["configuration"]["name"] = "A" * 30_000_000
json.dump(d, open(os.path.join(sys.argv[1], "lang.json"), "w"))
PY
peak=$( { /usr/bin/time -f %M "$cli" -q "$work/long/lang.json" >/dev/null; } 2>&1 | tail -1)
echo "30 MB name, single report: peak $((peak / 1024)) MiB"
peak=$( { /usr/bin/time -f %M "$cli" -q -c "$work/long/anlage.pdf" "$work/long/lang.json" >/dev/null; } 2>&1 | tail -1)
echo "30 MB name, site document: peak $((peak / 1024)) MiB"

generate site
mkdir "$work/tmp"
for run in $(seq "$runs"); do
    rm -f "$work/anlage.pdf"
    TMPDIR="$work/tmp" "$cli" -q -j 2 -c "$work/anlage.pdf" "$work/site" 2>"$work/err" &
    pid=$!
    until grep -qs '^site-join$' /proc/$pid/task/*/comm; do
        kill -0 "$pid" 2>/dev/null || { echo "ended before the joining was seen" >&2; exit 1; }
        sleep 0.01
    done
    start=$(date +%s%N)
    kill -TERM "$pid"
    status=0
    wait "$pid" || status=$?
    end=$(date +%s%N)
    # Qt keeps its runtime folder there when XDG_RUNTIME_DIR is not set.
    left=$(find "$work/tmp" -mindepth 1 ! -path "*/runtime-*" | wc -l)
    document=no
    [ -e "$work/anlage.pdf" ] && document=yes
    echo "SIGTERM during the joining of $n devices: exit $status after $(((end - start) / 1000000)) ms, document: $document, left in TMPDIR: $left"
done
