#!/usr/bin/env bash
# One headless orbikon runs every command in turn, ROUNDS times (default 10): T, R, O 20,
# G 12, S 15, S 667, I for 20 rows, D. Prints the resident memory after each round and the
# peak, and fails when, after the first round, the memory after a round exceeds the first
# round's by more than 10 %: memory that a command keeps would pile up round by round.
# A round's end is D's report line on standard output; the memory is read from /proc then.
# Usage: bench/soak.sh [build folder] [rounds]   (default build/bench, 10)
set -euo pipefail

build=${1:-build/bench}
rounds=${2:-10}
if [ ! -x "$build/orbikon" ]; then
    echo "soak: $build/orbikon not found; build it first (make bench)." >&2
    exit 1
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CACHE_HOME="$work/cache"

# The I program waits for a key after every row; Esc ends it.
round="tro20\ng0\n12\ns15\ns667\ni$(printf ' %.0s' $(seq 19))\x1bd"
: > "$work/keys"
for _ in $(seq "$rounds"); do printf '%b' "$round" >> "$work/keys"; done
# One more S 667 keeps the process alive while the last round's memory is read.
printf 's667\n' >> "$work/keys"

mkfifo "$work/out"
"$build/orbikon" --headless --input "$work/keys" --screen "$work/screen" \
    --timeout 1200 > "$work/out" 2> /dev/null &
pid=$!

# "VmRSS VmHWM" in KiB, or nothing once the process has gone.
memory() { awk '$1 == "VmRSS:" { r = $2 } $1 == "VmHWM:" { h = $2 } END { if (r) print r, h }' \
    "/proc/$pid/status" 2> /dev/null || true; }

echo "bench/soak.sh on $(uname -n), $(date -u '+%Y-%m-%d %H:%M UTC'), $rounds rounds of" \
     "T, R, O 20, G 12, S 15, S 667, I (20 rows), D"
printf '%-6s %12s %12s\n' "round" "after MiB" "peak MiB"
done_rounds=0 first=0 worst=0 peak=0
while IFS= read -r line; do
    case $line in
    quantum_print:*)
        read -r rss hwm < <(memory) || continue
        done_rounds=$((done_rounds + 1))
        peak=$hwm
        if [ "$done_rounds" -eq 1 ]; then
            first=$rss
        elif [ "$rss" -gt "$worst" ]; then
            worst=$rss
        fi
        printf '%-6s %12s %12s\n' "$done_rounds" "$((rss / 1024))" "$((hwm / 1024))"
        ;;
    esac
done < "$work/out"
wait "$pid" || { echo "soak: orbikon ended with status $?" >&2; exit 1; }

if [ "$done_rounds" -ne "$rounds" ]; then
    echo "soak: $done_rounds of $rounds rounds reported." >&2
    exit 1
fi
growth=$(awk -v a="$worst" -v b="$first" 'BEGIN { printf "%.1f", (b > 0 ? 100 * (a - b) / b : 0) }')
echo "peak $((peak / 1024)) MiB; after round 1: $((first / 1024)) MiB; largest after a" \
     "later round: $((worst / 1024)) MiB ($growth % more)"
if awk -v a="$worst" -v b="$first" 'BEGIN { exit !(a > 1.1 * b) }'; then
    echo "soak: the memory after a round grew by more than 10 %." >&2
    exit 1
fi
