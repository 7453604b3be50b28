#!/usr/bin/env bash
# What a change report costs against the single report of the later state:
# N generated typical configurations ("vorher") and the same with a few
# values changed ("nachher": the altitude, a maker, a relais threshold, a
# measured value), converted into single reports of "nachher" (-d) and
# compared (--compare -d), alternately in one run, both with 2 jobs.
# Prints medians of RUNS runs (CPU time, wall time, peak memory) and the
# ratio of their CPU times, which is to stay at most 1.5.
#   bash bench/changes.sh [N=300] [RUNS=5]
# PEERS points at the folder holding gen_configs.py (default: ../shared/peers);
# CLI names a belmorand-cli to time instead of building one (bench/common.sh).
set -euo pipefail
n=${1:-300}
runs=${2:-5}
source "$(dirname "$0")/common.sh"
need bc

generate vorher
cp -r "$work/vorher" "$work/nachher"
/usr/bin/python3 - "$work/nachher" <<'PY'
import json, pathlib, sys
for path in pathlib.Path(sys.argv[1]).glob("*.json"):
    document = json.loads(path.read_text(encoding="utf-8"))
    configuration = document["configuration"]
    configuration["altitude"] = configuration.get("altitude", 0) + 10
    output = configuration["outputs"][0]
    output["producer"] = (output.get("producer", 0) + 1) % 3
    output["measure"]["value"] = 1.5
    configuration["relais"][-1]["lowThreshold"] = 123
    path.write_text(json.dumps(document, ensure_ascii=False), encoding="utf-8")
PY

declare -A cpu wall mem
for run in $(seq "$runs"); do
    for how in single changes; do
        rm -rf "$work/out" && mkdir "$work/out"
        case $how in
            single) line=$(measure "$cli" -q -j 2 -d "$work/out" "$work/nachher") ;;
            changes) line=$(measure "$cli" -q -j 2 -d "$work/out" --compare "$work/vorher" "$work/nachher") ;;
        esac
        read -r w c m <<<"$line"
        cpu[$how]+="$c"$'\n'; wall[$how]+="$w"$'\n'; mem[$how]+="$m"$'\n'
    done
done
[ "$(ls "$work/out" | wc -l)" -eq "$n" ] || { echo "not every change report was written" >&2; exit 1; }

printf '%-34s %10s %10s %12s\n' "$n files, median of $runs" "CPU s" "wall s" "peak MiB"
for how in single changes; do
    case $how in
        single) label="single reports of nachher (-d)" ;;
        changes) label="change reports (--compare -d)" ;;
    esac
    printf '%-34s %10s %10s %12.1f\n' "$label" "$(median <<<"${cpu[$how]}")" \
        "$(median <<<"${wall[$how]}")" "$(echo "$(median <<<"${mem[$how]}") / 1024" | bc -l)"
done
echo "CPU change reports / single reports: $(echo "$(median <<<"${cpu[changes]}") / $(median <<<"${cpu[single]}")" | bc -l | cut -c1-5)"
