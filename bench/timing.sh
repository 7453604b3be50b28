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
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
