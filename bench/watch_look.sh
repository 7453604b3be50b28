#!/usr/bin/env bash
# CPU of one look of belmorand-cli --watch --poll at a folder of 10 000
# configurations whose reports are current (hard links of one example, so
# the folder is quick to make): 30 looks of --poll 1, measured from the
# process's own CPU time.
#   bash bench/watch_look.sh CLI            the folder unchanged between looks
#   bash bench/watch_look.sh CLI --changed  an entry made and removed each second,
#                                           so every look reads the folder again
set -euo pipefail
cli=$(realpath "$1")
changed=${2:-}
cd "$(dirname "$0")/.."
files=10000
looks=30
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cp examples/minimal.json "$dir/seed.json"
for i in $(seq -w 1 $files); do
    ln "$dir/seed.json" "$dir/k$i.json"
    : >"$dir/k$i.pdf"
done
rm "$dir/seed.json"
"$cli" --watch --poll 1 -q "$dir" 2>/dev/null &
pid=$!
sleep 8 # past the start and the 5 s in which a changed folder is read anyway
ticks() { awk '{print $14 + $15}' "/proc/$pid/stat"; }
before=$(ticks)
for _ in $(seq $looks); do
    if [ "$changed" = --changed ]; then
        : >"$dir/x.tmp"
        rm "$dir/x.tmp"
    fi
    sleep 1
done
after=$(ticks)
kill $pid
wait $pid || true
ms=$(((after - before) * 1000 / $(getconf CLK_TCK)))
echo "$looks looks at $files files: $ms ms CPU, $((ms / looks)) ms per look"
