#!/usr/bin/env bash
# What one document for a whole site costs: the same N generated typical
# configurations converted into single reports (-d) and into one combined
# document (-c), alternately in one run, both with 2 jobs. Prints medians of
# RUNS runs (CPU time, wall time, peak memory), their ratio, the sizes, and
# the combined run's peak memory for a tenth of the files beside it.
#   bash bench/combine.sh [N=300] [RUNS=5]
# PEERS points at the folder holding gen_configs.py (default: ../shared/peers);
# CLI names a belmorand-cli to time instead of building one (bench/common.sh).
set -euo pipefail
n=${1:-300}
runs=${2:-5}
source "$(dirname "$0")/common.sh"
need bc poppler-utils

generate site
mkdir "$work/tenth"
cp "$work"/site/cfg_00[0-$(((n / 10 - 1) / 10))]*.json "$work/tenth/" 2>/dev/null || true

declare -A cpu wall mem
for run in $(seq "$runs"); do
    for how in single combined tenth; do
        rm -rf "$work/out" && mkdir "$work/out"
        case $how in
            single) line=$(measure "$cli" -q -j 2 -d "$work/out" "$work/site") ;;
            combined) line=$(measure "$cli" -q -j 2 -c "$work/out/anlage.pdf" "$work/site") ;;
            tenth) line=$(measure "$cli" -q -j 2 -c "$work/out/anlage.pdf" "$work/tenth") ;;
        esac
        read -r w c m <<<"$line"
        cpu[$how]+="$c"$'\n'; wall[$how]+="$w"$'\n'; mem[$how]+="$m"$'\n'
    done
done
rm -rf "$work/out" && mkdir "$work/out"
"$cli" -q -j 2 -d "$work/out" "$work/site"
"$cli" -q -j 2 -c "$work/anlage.pdf" "$work/site"
singles=$(cat "$work"/out/*.pdf | wc -c)
combined=$(stat -c %s "$work/anlage.pdf")
pages=$(pdfinfo "$work/anlage.pdf" | awk '/^Pages:/ { print $2 }')

printf '%-34s %10s %10s %12s\n' "$n files, median of $runs" "CPU s" "wall s" "peak MiB"
for how in single combined tenth; do
    label=$how
    [ "$how" = tenth ] && label="combined, $(ls "$work/tenth" | wc -l) files"
    printf '%-34s %10s %10s %12.1f\n' "$label" "$(median <<<"${cpu[$how]}")" \
        "$(median <<<"${wall[$how]}")" "$(echo "$(median <<<"${mem[$how]}") / 1024" | bc -l)"
done
echo "CPU combined / single: $(echo "$(median <<<"${cpu[combined]}") / $(median <<<"${cpu[single]}")" | bc -l | cut -c1-5)"
echo "bytes: single reports together $singles, combined document $combined ($pages pages)"
