#!/usr/bin/env bash
# What drawing the pictures costs the programs: the real program, headless, typed keys,
# timed by /usr/bin/time for a build without the pictures and one with them, runs
# alternating (and which goes first alternating too) so both meet the same load. Prints
# the median user time, system time and wall time of each case and build. The pictures add
# user time only; the system time is mostly writing the dump (900 MB for S 667) and swings
# with the page cache. S draws a random base, so its runs differ more than G's.
# Usage: bench/pictures_cost.sh BUILD_WITHOUT BUILD_WITH [runs]   (default: 5 runs)
set -euo pipefail

without=${1:?build folder without the pictures}
with=${2:?build folder with the pictures}
runs=${3:-5}
for build in "$without" "$with"; do
    if [ ! -x "$build/orbikon" ]; then
        echo "pictures_cost: $build/orbikon not found." >&2
        exit 1
    fi
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CACHE_HOME="$work/cache"

# One run: prints "user sys wall" in seconds.
time_run() {
    /usr/bin/time -f "%U %S %e" "$1/orbikon" --headless --input "$2" --screen "$work/screen" \
        > /dev/null 2> "$work/time"
    tail -1 "$work/time"
}

median() { sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }

for case in "G 16:g16\r0\r" "S 667:s667\r"; do
    name=${case%%:*}
    printf "${case#*:}" > "$work/keys"
    : > "$work/without"
    : > "$work/with"
    for run in $(seq 1 "$runs"); do
        if [ $((run % 2)) -eq 1 ]; then
            time_run "$without" "$work/keys" >> "$work/without"
            time_run "$with" "$work/keys" >> "$work/with"
        else
            time_run "$with" "$work/keys" >> "$work/with"
            time_run "$without" "$work/keys" >> "$work/without"
        fi
    done
    for build in without with; do
        user=$(cut -d' ' -f1 "$work/$build" | median)
        sys=$(cut -d' ' -f2 "$work/$build" | median)
        wall=$(cut -d' ' -f3 "$work/$build" | median)
        echo "$name $build pictures: median user $user s, sys $sys s, wall $wall s ($runs runs)"
    done
done
echo "load $(cut -d' ' -f1-3 /proc/loadavg), $(nproc) cores"
