#!/usr/bin/env bash
# The desktop's idle cost: the real application under Xvfb with window 0 shown at the
# prompt; CPU time of the process over the measuring time, as a share of one core.
# Usage: bench/desktop_idle.sh [build folder] [seconds]   (default: build, 30)
set -euo pipefail

build=$(realpath "${1:-build}")
seconds=${2:-30}
source "$(dirname "$(realpath "$0")")/../tools/xvfb_session.sh"
start_xvfb || { echo "desktop_idle: Xvfb did not start" >&2; exit 1; }
start_orbikon "$build" || { echo "desktop_idle: window 0 was not set up" >&2; exit 1; }
sleep 2

ticks() { awk '{print $14 + $15}' "/proc/$app_pid/stat"; }
hz=$(getconf CLK_TCK)
before=$(ticks)
sleep "$seconds"
after=$(ticks)
awk -v t=$((after - before)) -v hz="$hz" -v s="$seconds" -v load="$(cut -d' ' -f1 /proc/loadavg)" \
    'BEGIN { printf "desktop idle: %.1f %% of one core over %d s (load %s)\n", 100 * t / hz / s, s, load }'
