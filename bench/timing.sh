# Sourced by the benchmark scripts; needs $work, a scratch folder.
# measure COMMAND...: one line "wall cpu peakKiB" (cpu = user + system seconds)
measure() {
    /usr/bin/time -f "%e %U %S %M" -o "$work/time" "$@" >/dev/null 2>&1
    awk '{ printf "%.3f %.3f %d\n", $1, $2 + $3, $4 }' "$work/time"
}
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
