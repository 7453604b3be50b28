# Sourced by the benchmark scripts.
# measure COMMAND...: one line "wall cpu peakKiB", CPU to the microsecond
measure() {
    /usr/bin/python3 -c '
import resource, subprocess, sys, time
start = time.monotonic()
subprocess.run(sys.argv[1:], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
               stderr=subprocess.DEVNULL)
wall = time.monotonic() - start
used = resource.getrusage(resource.RUSAGE_CHILDREN)
print("%.4f %.4f %d" % (wall, used.ru_utime + used.ru_stime, used.ru_maxrss))' "$@"
}
# median: of the numbers on standard input, one a line; empty lines do not count
median() { sort -n | awk 'NF { v[++k] = $1 } END { print v[int((k + 1) / 2)] }'; }
