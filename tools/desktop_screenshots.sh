#!/bin/bash
# Takes the README's pictures of the desktop: window 0 after G (search for 5) and the
# virtual printer after D, from the real application under Xvfb, typed with xdotool.
# Usage: tools/desktop_screenshots.sh [BUILD_DIR] [OUT_DIR]   (defaults: build docs)
set -euo pipefail

build=$(realpath "${1:-build}")
out=$(realpath "${2:-docs}")
work=$(mktemp -d)
xvfb_pid=""
app_pid=""
cleanup() {
    [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

wait_for() {
    local limit=$1
    shift
    for _ in $(seq $((limit * 5))); do
        "$@" >/dev/null 2>&1 && return 0
        sleep 0.2
    done
    echo "desktop_screenshots: gave up waiting for: $*" >&2
    exit 1
}

exec 3> "$work/display"
Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp > /dev/null 2>&1 &
xvfb_pid=$!
exec 3>&-
wait_for 20 test -s "$work/display"
export DISPLAY=":$(head -1 "$work/display")"

XDG_CACHE_HOME="$work/cache" "$build/orbikon" > "$work/stdout.txt" 2>&1 &
app_pid=$!
wait_for 30 grep -q "t_InitWindow: GraphicWindow #0 End." "$work/stdout.txt"
sleep 1
window0=$(xdotool search --onlyvisible --name Orbikon | head -1)

xdotool type --delay 200 "g5"
xdotool key Return
sleep 1
xdotool type --delay 200 "0"
xdotool key Return
sleep 3
mkdir -p "$out"
import -window "$window0" "$out/desktop-grover.png"

xdotool type "d"
sleep 2
xdotool key ctrl+shift+p
wait_for 10 xdotool search --onlyvisible --name "Virtueller Drucker"
sleep 1
printer=$(xdotool search --onlyvisible --name "Virtueller Drucker" | head -1)
import -window "$printer" "$out/desktop-printer.png"
echo "desktop_screenshots: wrote $out/desktop-grover.png and $out/desktop-printer.png"
