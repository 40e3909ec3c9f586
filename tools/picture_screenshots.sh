#!/bin/bash
# Takes the README's pictures of the graphic windows: the desktop with window 0 and the
# Grover picture side by side after G (search for 200), and the terminal's F7 page with the
# Ising picture after 25 rows of I, from the real application (Xvfb and xdotool; tmux).
# Usage: tools/picture_screenshots.sh [BUILD_DIR] [OUT_DIR]   (defaults: build docs)
set -euo pipefail

build=$(realpath "${1:-build}")
out=$(realpath "${2:-docs}")
tools=$(dirname "$(realpath "$0")")
source "$tools/xvfb_session.sh"

fail() {
    echo "picture_screenshots: $*" >&2
    exit 1
}

mkdir -p "$out"

# Pass: the desktop.
# Wider than the session's usual screen: window 0 and a picture window side by side.
start_xvfb 2000x900x24 || fail "Xvfb did not start"
start_orbikon "$build" || fail "window 0 was not set up"
window0=$(xdotool search --onlyvisible --name Orbikon | head -1)
xdotool type --delay 200 "g200"
xdotool key Return
sleep 1
xdotool type --delay 200 "0"
xdotool key Return
wait_for 20 grep -q "GraphicWindow #1 End" "$work/stdout.txt" || fail "G did not finish"
xdotool key ctrl+shift+2
wait_for 10 xdotool search --onlyvisible --name "^Grover$" || fail "window 2 did not open"
grover=$(xdotool search --onlyvisible --name "^Grover$" | head -1)
xdotool windowmove "$window0" 0 0
xdotool windowmove "$grover" 1330 0
sleep 2
xwd -root -silent | convert xwd:- -crop 2000x860+0+0 +repage "$out/desktop-pictures.png"
xdotool key ctrl+q
wait_for 10 bash -c "! kill -0 $app_pid" || true
app_pid=""

# Pass: the terminal, 100 x 40 cells in tmux, painted from its cells by ansi_png.py.
session="orbikon-pictures-$$"
tmux new-session -d -s "$session" -x 100 -y 40 \
    "XDG_CACHE_HOME='$work/terminal' COLORTERM=truecolor '$build/orbikon' --terminal"
trap 'tmux kill-session -t "$session" 2>/dev/null; xvfb_cleanup' EXIT
sleep 2
tmux send-keys -t "$session" i
for _ in $(seq 25); do
    sleep 0.3
    tmux send-keys -t "$session" Space
done
sleep 2
tmux send-keys -t "$session" F7
sleep 1
tmux capture-pane -t "$session" -e -p > "$work/page.ans"
python3 "$tools/ansi_png.py" "$work/page.ans" 100 40 "$out/terminal-ising.png"
tmux kill-session -t "$session"
echo "picture_screenshots: wrote $out/desktop-pictures.png and $out/terminal-ising.png"
