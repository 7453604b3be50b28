# Sourced by compare.sh and combine.sh: what both do before they measure.
# Works from the repository's folder, finds the peers' generator (PEERS,
# default: ../shared/peers beside the repository), builds belmorand-cli into
# build/ (unless CLI names another one), makes a scratch folder $work that is
# removed at exit, and brings measure and median (timing.sh).
#   need PACKAGE...     installs the Debian packages not there yet
#   generate FOLDER     $n typical configurations (seed 1) into $work/FOLDER
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
peers=${PEERS:-$(cd .. && pwd)/shared/peers}
[ -f "$peers/gen_configs.py" ] || { echo "no peers in $peers (set PEERS)" >&2; exit 2; }

need() {
    local p sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' ||
            $sudo apt-get install -y -qq "$p" >&2
    done
}

bash scripts/deps.sh run
if [ -z "${CLI:-}" ]; then
    bash scripts/build.sh >&2
fi
cli=${CLI:-$PWD/build/cli/belmorand-cli}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
generate() {
    /usr/bin/python3 "$peers/gen_configs.py" "$work/$1" --count "$n" --seed 1 >/dev/null
}

source bench/timing.sh
