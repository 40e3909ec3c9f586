#!/usr/bin/env bash
# Times the S command for 667 end to end: the real program, headless, typed keys s 6 6 7
# Return. Prints wall time, peak resident memory, the dump size and the result lines.
# Usage: bench/shor_headless.sh [build folder] [runs]   (default: build, 1 run)
set -euo pipefail

build=${1:-build}
runs=${2:-1}
program="$build/orbikon"
if [ ! -x "$program" ]; then
    echo "shor_headless: $program not found; run 'make build' first." >&2
    exit 1
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CACHE_HOME="$work/cache"
printf 's667\n' > "$work/keys"

for run in $(seq 1 "$runs"); do
    /usr/bin/time -v "$program" --headless --input "$work/keys" --screen "$work/screen" \
        > "$work/stdout" 2> "$work/time"
    wall=$(sed -n 's/.*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' "$work/time")
    peak_kib=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$work/time")
    user=$(sed -n 's/.*User time (seconds): //p' "$work/time")
    sys=$(sed -n 's/.*System time (seconds): //p' "$work/time")
    cpu=$(sed -n 's/.*Percent of CPU this job got: //p' "$work/time")
    dump="$XDG_CACHE_HOME/orbikon/dump.qucode"
    dump_bytes=$( [ -f "$dump" ] && stat -c %s "$dump" || echo 0 )
    echo "run $run: wall $wall (user $user s, sys $sys s, $cpu CPU), peak RSS $((peak_kib / 1024)) MiB, dump $dump_bytes bytes, load $(cut -d' ' -f1 /proc/loadavg)"
    if [ -f "$dump" ] && command -v python3 > /dev/null; then
        python3 - "$dump" <<'PY'
# Walks the dump record by record: every opcode valid and the last record ending the file.
import re, sys
LENGTH = {0x00: 9, 0x01: 9, 0x02: 13, 0x03: 5, 0x04: 5, 0x05: 5, 0x06: 5, 0x07: 13,
          0x08: 13, 0x09: 13, 0x0A: 13, 0x0B: 13, 0x0C: 9, 0x0D: 17, 0x0E: 5,
          0x80: 1, 0x81: 5, 0x82: 5, 0xF0: 5, 0xFF: 1}
data = open(sys.argv[1], 'rb').read()
at, records, swaps = 0, 0, 0
while at < len(data):
    op = data[at]
    if op not in LENGTH:
        sys.exit(f"    dump: invalid opcode {op:#04x} at {at}")
    if op == 0x0E:  # swap leads: runs of one identical record per stored state
        run = re.compile(b'(?:' + re.escape(data[at:at + 5]) + b')+').match(data, at)
        count = (run.end() - at) // 5
        swaps += count
        records += count
        at += count * 5
        continue
    at += LENGTH[op]
    records += 1
if at != len(data):
    sys.exit("    dump: last record cut short")
print(f"    dump: {records} records, {swaps} swap leads, starts {data[:5].hex(' ')}")
PY
    fi
    grep -E "Registergröße|Zufallszahl|Gemessen|Periode|667 = |versuchen|Messung|Ungerade|Faktoren" \
        "$work/screen" | sed 's/^/    /'
done
