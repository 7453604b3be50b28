#!/usr/bin/env bash
# What one document for a whole site costs: the same N generated typical
# configurations converted into single reports (-d) and into one combined
# document (-c), alternately in one run, both with 2 jobs. Prints medians of
# RUNS runs (CPU time, wall time, peak memory), their ratio, the sizes, and
# the combined run's peak memory for a tenth of the files and, with LARGE
# (say 1000), for that many files beside it: flat memory shows as equal peaks.
#   bash bench/combine.sh [N=300] [RUNS=5] [LARGE]
# BASELINE names another belmorand-cli (say, a build of main) whose combined
# document is measured alongside on the same files, in the same run.
# PEERS points at the folder holding gen_configs.py (default: ../shared/peers);
# CLI names a belmorand-cli to time instead of building one (bench/common.sh).
set -euo pipefail
n=${1:-300}
runs=${2:-5}
large=${3:-}
baseline=${BASELINE:-}
source "$(dirname "$0")/common.sh"
need bc poppler-utils

generate site
mkdir "$work/tenth"
cp "$work"/site/cfg_00[0-$(((n / 10 - 1) / 10))]*.json "$work/tenth/" 2>/dev/null || true
hows="single combined tenth"
if [ -n "$baseline" ]; then hows="$hows baseline"; fi
if [ -n "$large" ]; then
    /usr/bin/python3 "$peers/gen_configs.py" "$work/large" --count "$large" --seed 1 >/dev/null
    hows="$hows large"
fi

declare -A cpu wall mem
for run in $(seq "$runs"); do
    for how in $hows; do
        rm -rf "$work/out" && mkdir "$work/out"
        case $how in
            single) line=$(measure "$cli" -q -j 2 -d "$work/out" "$work/site") ;;
            combined) line=$(measure "$cli" -q -j 2 -c "$work/out/anlage.pdf" "$work/site") ;;
            tenth) line=$(measure "$cli" -q -j 2 -c "$work/out/anlage.pdf" "$work/tenth") ;;
            baseline) line=$(measure "$baseline" -q -j 2 -c "$work/out/anlage.pdf" "$work/site") ;;
            large) line=$(measure "$cli" -q -j 2 -c "$work/out/anlage.pdf" "$work/large") ;;
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
for how in $hows; do
    case $how in
        tenth) label="combined, $(ls "$work/tenth" | wc -l) files" ;;
        baseline) label="combined by BASELINE" ;;
        large) label="combined, $large files" ;;
        *) label=$how ;;
    esac
    printf '%-34s %10s %10s %12.1f\n' "$label" "$(median <<<"${cpu[$how]}")" \
        "$(median <<<"${wall[$how]}")" "$(echo "$(median <<<"${mem[$how]}") / 1024" | bc -l)"
done
ratio() { echo "$(median <<<"${cpu[$1]}") / $(median <<<"${cpu[single]}")" | bc -l | cut -c1-5; }
echo "CPU combined / single: $(ratio combined)"
if [ -n "$baseline" ]; then echo "CPU combined by BASELINE / single: $(ratio baseline)"; fi
echo "bytes: single reports together $singles, combined document $combined ($pages pages)"
