#!/usr/bin/env bash
# Times the three heavy commands against baselines measured in the same run, and prints
# each figure with its ratio to the baseline (below 1: faster than the baseline):
#   S 667 end to end (the real program, headless) against its goal of 3.5 s;
#   G 16, G 18 and G 20 end to end against a plain dense state vector stepping through the
#   same gates (bench_grover_dense), and their wall times against the goals 0.25 s, 2 s and
#   15 s;
#   one I row for N = 16 and 18 at g = 0.90 (bench_ising) against scipy's eigsh on the same
#   matrix (bench/ising_eigsh.py);
#   the OpenQASM programs of bench/qasm (GHZ, QFT of a superposition, ripple-carry adder,
#   Grover search; 8 to 24 qubits) through `qucode probs` against a plain dense state
#   vector (bench_dense_qasm), whose probabilities must agree within 1e-4.
# CPU seconds (user + system) are compared, as the machine may be shared; wall seconds and
# peak memory are shown beside them.
# Usage: bench/compare.sh [build folder]   (default build/bench, made by `make bench`)
set -euo pipefail

build=${1:-build/bench}
here=$(cd "$(dirname "$0")" && pwd)
for program in orbikon qucode bench_ising bench_grover_dense bench_dense_qasm; do
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

# CPU seconds of one run of a command (user + system), from as many runs as take half a
# second, since the small programs finish in milliseconds, and its peak MiB; standard output
# goes to $work/out.
cpu_per_run() {
    local runs=1
    while :; do
        if ! /usr/bin/time -f '%U %S %M' -o "$work/time" bash -c \
            'for i in $(seq "$0"); do "$@" > "'"$work"'/out" || exit 1; done' "$runs" "$@"; then
            echo "compare: $* failed." >&2
            exit 1
        fi
        read -r user sys rss < "$work/time"
        local total
        total=$(awk -v u="$user" -v s="$sys" 'BEGIN { print u + s }')
        if awk -v t="$total" -v r="$runs" 'BEGIN { exit !(t >= 0.5 || r >= 512) }'; then
            awk -v t="$total" -v r="$runs" -v m="$rss" 'BEGIN { printf "%.4f %d\n", t / r, m / 1024 }'
            return
        fi
        runs=$((runs * 8))
    done
}

# The largest difference between two probability tables ("BITS P" lines), an outcome missing
# from one counting as 0 there.
largest_difference() {
    awk 'NR == FNR { p[$1] = $2; next } { q[$1] = $2 }
         END { for (k in p) { d = p[k] - q[k]; if (d < 0) d = -d; if (d > m) m = d }
               for (k in q) { d = p[k] - q[k]; if (d < 0) d = -d; if (d > m) m = d }
               printf "%.2g", m }' "$1" "$2"
}

# What each program costs before it simulates anything (loading, reading, an empty register):
# at 16 qubits and below this floor is most of a run.
printf 'OPENQASM 2.0;\nqreg q[1];\n' > "$work/empty.qasm"
read -r ours_floor _ < <(cpu_per_run "$build/qucode" probs "$work/empty.qasm")
read -r base_floor _ < <(cpu_per_run "$build/bench_dense_qasm" "$work/empty.qasm")
row "qasm (empty)" "$ours_floor" "-" "-" "dense state vector" "$base_floor" "$(ratio "$ours_floor" "$base_floor")"

disagreements=0
for program in ghz_8 ghz_16 ghz_24 qft_8 qft_16 qft_20 qft_24 adder_8 adder_16 adder_24 \
               grover_9 grover_17 grover_21 grover_23; do
    read -r ours ours_rss < <(cpu_per_run "$build/qucode" probs "$here/qasm/$program.qasm")
    mv "$work/out" "$work/ours"
    read -r base base_rss < <(cpu_per_run "$build/bench_dense_qasm" "$here/qasm/$program.qasm")
    difference=$(largest_difference "$work/ours" "$work/out")
    verdict=agree
    if ! awk -v d="$difference" 'BEGIN { exit !(d <= 1e-4) }'; then
        verdict=DISAGREE
        disagreements=$((disagreements + 1))
    fi
    row "qasm $program" "$ours" "-" "$ours_rss" "dense state vector" "$base" "$(ratio "$ours" "$base")"
    echo "                   $(wc -l < "$work/ours") outcomes, largest difference $difference:" \
         "$verdict; baseline peak $base_rss MiB; baseline / ours $(ratio "$base" "$ours")"
done
if [ "$disagreements" -gt 0 ]; then
    echo "compare: $disagreements OpenQASM programs disagree with the dense baseline." >&2
    exit 1
fi
