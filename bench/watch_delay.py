#!/usr/bin/env python3
"""Delay from a writer's close to the report's line of belmorand-cli --watch.

    python3 bench/watch_delay.py CLI [watch options, such as --poll 2]

Writes examples/typical.json ten times into a fresh folder, each file closed
at a different phase against a poll, and prints each delay, the median and
the maximum. The delay includes the conversion itself.
"""
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

FILES = 10
PHASE_STEP_S = 0.37  # shifts each write against the poll's clock
START_S = 1.0

cli, options = sys.argv[1], sys.argv[2:]
example = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'examples', 'typical.json')
data = open(example, 'rb').read()
folder = tempfile.mkdtemp(prefix='watch-delay-')
watcher = subprocess.Popen([cli, '--watch'] + options + [folder],
                           stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
time.sleep(START_S)
delays = []
for i in range(FILES):
    with open(os.path.join(folder, 'f%d.json' % i), 'wb') as f:
        f.write(data)
    closed = time.monotonic()
    watcher.stdout.readline()
    delays.append((time.monotonic() - closed) * 1000)
    time.sleep(PHASE_STEP_S * (i % 3))
watcher.terminate()
watcher.wait()
shutil.rmtree(folder)
print(' '.join('%.0f' % d for d in delays),
      'ms; median %.0f ms, max %.0f ms' % (statistics.median(delays), max(delays)))
