#!/bin/bash
# Takes the README's pictures of the desktop: window 0 after G (search for 5) and the
# virtual printer after D, from the real application under Xvfb, typed with xdotool.
# Usage: tools/desktop_screenshots.sh [BUILD_DIR] [OUT_DIR]   (defaults: build docs)
set -euo pipefail

build=$(realpath "${1:-build}")
out=$(realpath "${2:-docs}")
source "$(dirname "$(realpath "$0")")/xvfb_session.sh"

fail() {
    echo "desktop_screenshots: $*" >&2
    exit 1
}

start_xvfb || fail "Xvfb did not start"
start_orbikon "$build" || fail "window 0 was not set up"
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
wait_for 10 xdotool search --onlyvisible --name "Virtueller Drucker" || fail "the printer did not open"
sleep 1
printer=$(xdotool search --onlyvisible --name "Virtueller Drucker" | head -1)
import -window "$printer" "$out/desktop-printer.png"
echo "desktop_screenshots: wrote $out/desktop-grover.png and $out/desktop-printer.png"
