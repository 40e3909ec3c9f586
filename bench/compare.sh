#!/usr/bin/env bash
# Times the three heavy commands against baselines measured in the same run, and prints
# each figure with its ratio to the baseline (below 1: faster than the baseline):
#   S 667 end to end (the real program, headless) against its goal of 3.5 s;
#   G 16, G 18 and G 20 end to end against a plain dense state vector stepping through the
#   same gates (bench_grover_dense), and their wall times against the goals 0.25 s, 2 s and
#   15 s;
#   one I row for N = 16 and 18 at g = 0.90 (bench_ising) against scipy's eigsh on the same
#   matrix (bench/ising_eigsh.py).
# CPU seconds (user + system) are compared, as the machine may be shared; wall seconds and
# peak memory are shown beside them.
# Usage: bench/compare.sh [build folder]   (default build/bench, made by `make bench`)
set -euo pipefail

build=${1:-build/bench}
here=$(cd "$(dirname "$0")" && pwd)
for program in orbikon bench_ising bench_grover_dense; do
    if [ ! -x "$build/$program" ]; then
        echo "compare: $build/$program not found; run 'make bench' first." >&2
        exit 1
    fi
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CACHE_HOME="$work/cache"

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else printf "-" }'; }

row() { printf '%-18s %10s %10s %10s %-22s %10s %7s\n' "$@"; }

# The real program, headless, with typed keys: sets cpu, wall, rss_mib and screen.
headless() {
    printf '%b' "$1" > "$work/keys"
    /usr/bin/time -f '%e %U %S %M' -o "$work/time" "$build/orbikon" --headless \
        --input "$work/keys" --screen "$work/screen" > /dev/null 2>&1
    read -r wall user sys rss < "$work/time"
    cpu=$(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%.2f", u + s }')
    rss_mib=$((rss / 1024))
}

# One Google Benchmark case (name as printed): its CPU seconds, then the named counters.
benchmark_figures() {
    local name=$1 program=$2
    shift 2
    "$program" --benchmark_filter="^$name\$" --benchmark_format=csv 2> /dev/null |
        awk -F, -v name="\"$name\"" -v wanted="$*" '
            NR == 1 { for (i = 1; i <= NF; i++) { gsub(/"/, "", $i); column[$i] = i } }
            $1 == name {
                printf "%.2f", $4 / 1000
                n = split(wanted, counters, " ")
                for (k = 1; k <= n; k++) printf " %s", $(column[counters[k]])
                print ""
            }'
}

echo "bench/compare.sh on $(uname -n), $(date -u '+%Y-%m-%d %H:%M UTC'), load $(cut -d' ' -f1-3 /proc/loadavg)"
row "work" "CPU s" "wall s" "peak MiB" "baseline" "CPU s" "ratio"

headless 's667\n'
result=$(grep -oE "667 = [0-9]+ \* [0-9]+|Faktoren konnten nicht ermittelt werden\.|Ungerade Periode\.|Messung.*" \
    "$work/screen" | head -1 || true)
row "S 667" "$cpu" "$wall" "$rss_mib" "goal 3.5 s wall" "3.50" "$(ratio "$wall" 3.5)"
echo "                   result: ${result:-?}"

for width in 16 18 20; do
    headless "g0\n$width\n"
    base=$(benchmark_figures "BM_DenseGrover/$width/iterations:1" "$build/bench_grover_dense")
    row "G 0, $width qubits" "$cpu" "$wall" "$rss_mib" "dense state vector" "$base" "$(ratio "$cpu" "$base")"
    case $width in 16) goal=0.25 ;; 18) goal=2.00 ;; 20) goal=15.00 ;; esac
    row "" "" "" "" "goal wall s" "$goal" "$(ratio "$wall" "$goal")"
done

for spins in 16 18; do
    start=$(date +%s.%N)
    read -r cpu ours rss_mib < <(benchmark_figures "BM_IsingRow/$spins/iterations:1" \
        "$build/bench_ising" E_0 peak_rss_MiB)
    wall=$(awk -v s="$start" -v e="$(date +%s.%N)" 'BEGIN { printf "%.2f", e - s }')
    # Debian's interpreter, which has python3-scipy (make bench-deps).
    read -r base energy < <(/usr/bin/python3 "$here/ising_eigsh.py" "$spins" 0.9)
    row "I row, N = $spins" "$cpu" "$wall" "${rss_mib%.*}" "scipy eigsh" "$base" "$(ratio "$cpu" "$base")"
    echo "                   E_0 = $ours, eigsh (double precision) E_0 = $energy"
done
