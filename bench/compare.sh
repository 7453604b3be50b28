#!/usr/bin/env bash
# Side-by-side benchmark: the same N generated configuration files converted
# by belmorand-cli (with 2 jobs) and by the ReportLab rendering of the same
# report and by the minimal Qt program (bench/minimal_pdf.cpp: one line of
# text per file on Qt's PDF writer), one after the other in one run; then
# one file, whole process (ONE_RUNS=10 times per run).
# Prints medians of RUNS runs: wall time, CPU time (and per file), peak
# memory, the mean PDF size, ratios and the machine's load.
#   bash bench/compare.sh [N=1000] [RUNS=3]
# BASELINE names another belmorand-cli (say, a build of the last release) to
# run alongside on the same files, so a change is measured against it in the
# same run.
# PEERS points at the folder holding gen_configs.py and reportlab_report.py
# (default: ../shared/peers beside the repository); CLI names a
# belmorand-cli to time instead of building one (bench/common.sh).
set -euo pipefail
n=${1:-1000}
runs=${2:-3}
source "$(dirname "$0")/common.sh"
need python3-reportlab bc
minimal=$PWD/build/bench/minimal_pdf
[ -x "$minimal" ] || cmake --build build --target minimal_pdf >&2
one_runs=${ONE_RUNS:-10}
load_before=$(cut -d' ' -f1-3 /proc/loadavg)

generate qt
baseline=${BASELINE:-}
who_all=(qt rl min)
[ -z "$baseline" ] || who_all+=(base)
for who in "${who_all[@]}"; do
    [ "$who" = qt ] || cp -r "$work/qt" "$work/$who"
    mkdir -p "$work/one/$who" && cp "$work/qt/cfg_0000.json" "$work/one/$who/"
done
one=$work/one

declare -A wall cpu mem
for run in $(seq "$runs"); do
    for who in "${who_all[@]}" $(printf '%s1 ' "${who_all[@]}"); do
        case $who in
            qt) line=$(measure "$cli" -q -j 2 "$work/qt") ;;
            base) line=$(measure "$baseline" -q -j 2 "$work/base") ;;
            rl) line=$(measure /usr/bin/python3 "$peers/reportlab_report.py" "$work"/rl/*.json) ;;
            min) line=$(measure "$minimal" "$work"/min/*.json) ;;
        esac
        if [ "${who%1}" = "$who" ]; then
            read -r w c m <<<"$line"
            wall[$who]+="$w"$'\n'; cpu[$who]+="$c"$'\n'; mem[$who]+="$m"$'\n'
            continue
        fi
        for _ in $(seq "$one_runs"); do
            case $who in
                qt1) line=$(measure "$cli" -q "$one/qt/cfg_0000.json") ;;
                base1) line=$(measure "$baseline" -q "$one/base/cfg_0000.json") ;;
                rl1) line=$(measure /usr/bin/python3 "$peers/reportlab_report.py" "$one/rl/cfg_0000.json") ;;
                min1) line=$(measure "$minimal" "$one/min/cfg_0000.json") ;;
            esac
            read -r w c m <<<"$line"
            wall[$who]+="$w"$'\n'; cpu[$who]+="$c"$'\n'
        done
    done
done
m() { printf '%s' "$1" | sed '/^$/d' | median; }

# ratio A B: A / B to two places
ratio() { echo "$1 / $2" | bc -l | xargs printf '%.2f'; }

echo "$n typical configuration files, medians of $runs runs (1 file: of $((runs * one_runs)))," \
     "$(nproc) cores, load $load_before before and $(cut -d' ' -f1-3 /proc/loadavg) after"
printf '%-34s %10s %10s %14s %12s %12s %14s %14s\n' program "wall [s]" "CPU [s]" "CPU/file [ms]" \
    "peak [MiB]" "1 file [ms]" "1 file CPU" "PDF mean [KB]"
for who in "${who_all[@]}"; do
    case $who in
        qt) name="belmorand-cli -j 2" ;;
        base) name="baseline -j 2" ;;
        rl) name="ReportLab peer" ;;
        min) name="minimal Qt program" ;;
    esac
    bytes=$(cat "$work/$who"/*.pdf | wc -c)
    printf '%-34s %10s %10s %14.2f %12.1f %12.0f %14.1f %14.1f\n' "$name" "$(m "${wall[$who]}")" \
        "$(m "${cpu[$who]}")" "$(echo "$(m "${cpu[$who]}") * 1000 / $n" | bc -l)" \
        "$(echo "$(m "${mem[$who]}") / 1024" | bc -l)" "$(echo "$(m "${wall[${who}1]}") * 1000" | bc -l)" \
        "$(echo "$(m "${cpu[${who}1]}") * 1000" | bc -l)" "$(echo "$bytes / $n / 1000" | bc -l)"
done
[ -z "$baseline" ] ||
    echo "belmorand-cli / baseline CPU: $(ratio "$(m "${cpu[qt]}")" "$(m "${cpu[base]}")")," \
         "1 file: $(ratio "$(m "${cpu[qt1]}")" "$(m "${cpu[base1]}")")"
echo "belmorand-cli / minimal Qt program CPU: $(ratio "$(m "${cpu[qt]}")" "$(m "${cpu[min]}")")," \
     "1 file: $(ratio "$(m "${cpu[qt1]}")" "$(m "${cpu[min1]}")")"
echo "ReportLab / belmorand-cli wall time: $(ratio "$(m "${wall[rl]}")" "$(m "${wall[qt]}")")"
echo "per file: belmorand-cli $(echo "$(m "${wall[qt]}") * 1000 / $n" | bc -l | xargs printf '%.1f') ms," \
     "ReportLab $(echo "$(m "${wall[rl]}") * 1000 / $n" | bc -l | xargs printf '%.1f') ms"
