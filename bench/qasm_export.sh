#!/usr/bin/env bash
# Times `qucode qasm` on the dump of S 667 (about 179 million records, 900 MB): the real
# program writes the dump headless (typed keys s 6 6 7 Return), then the export is timed.
# Prints wall, user and system time, the program's size and its record-count line.
# Usage: bench/qasm_export.sh [build folder] [runs]   (default: build, 1 run)
set -euo pipefail

build=${1:-build}
runs=${2:-1}
for tool in orbikon qucode; do
    if [ ! -x "$build/$tool" ]; then
        echo "qasm_export: $build/$tool not found; run 'make build' first." >&2
        exit 1
    fi
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CACHE_HOME="$work/cache"
printf 's667\n' > "$work/keys"
dump="$XDG_CACHE_HOME/orbikon/dump.qucode"
# A random base that shares a factor with 667 ends the run before any register: try again.
for attempt in 1 2 3 4 5; do
    "$build/orbikon" --headless --input "$work/keys" --screen "$work/screen" > /dev/null
    [ -f "$dump" ] && break
done
if [ ! -f "$dump" ]; then
    echo "qasm_export: S 667 left no dump in five runs." >&2
    exit 1
fi
echo "dump: $(stat -c %s "$dump") bytes"

TIMEFORMAT='%R %U %S'
for run in $(seq 1 "$runs"); do
    times=$( { time "$build/qucode" qasm "$dump" -o "$work/out.qasm"; } 2>&1 )
    read -r wall user sys <<< "$times"
    echo "run $run: wall $wall s (user $user s, sys $sys s)," \
         "program $(stat -c %s "$work/out.qasm") bytes, $(wc -l < "$work/out.qasm") lines," \
         "load $(cut -d' ' -f1 /proc/loadavg)"
done
sed -n 2p "$work/out.qasm" | cut -c1-200
