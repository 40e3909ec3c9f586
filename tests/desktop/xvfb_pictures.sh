#!/bin/bash
# The Grover picture on the desktop, under a real X server: type "g8⏎0⏎" into window 0,
# show graphic window 2 through its Fenster menu item's key (Ctrl+Shift+2), and compare the
# screenshot with the window's image from a headless run of the same keys; "Bild kopieren"
# copies that image. Then the keys still reach the program: "r" runs the random bit. Usage: tests/desktop/xvfb_pictures.sh BUILD_DIR
set -uo pipefail

build=$(realpath "$1")
here=$(dirname "$(realpath "$0")")
source "$here/../../tools/xvfb_session.sh"

printf 'g8\r0\r' > "$work/keys.txt"
XDG_CACHE_HOME="$work/headless" timeout 120 "$build/orbikon" --headless --input "$work/keys.txt" \
    --screen "$work/screen.txt" --image "$work/grover.png" --window 2 > /dev/null ||
    fail "the headless run failed"
convert "$work/grover.png" "ppm:$work/grover.ppm"

start_xvfb || fail "Xvfb did not start"
start_orbikon "$build" || fail "window 0 was not set up"

xdotool type --delay 200 "g8"
xdotool key Return
sleep 1
xdotool type --delay 200 "0"
xdotool key Return
wait_for 20 grep -q "GraphicWindow #2 End" "$work/stdout.txt" || fail "window 2 was never set up"
sleep 1
xdotool key ctrl+shift+2
wait_for 10 xdotool search --onlyvisible --name "^Grover$" || fail "window 2 did not open"

compared=1
for _ in $(seq 20); do
    sleep 0.5
    screenshot "$work/shot.ppm"
    if python3 "$here/compare_view.py" "$work/shot.ppm" "$work/grover.ppm" 0 > "$work/compare.txt"; then
        compared=0
        break
    fi
done
cat "$work/compare.txt"
[ -n "${PICTURES_SHOT:-}" ] && cp "$work/shot.ppm" "$PICTURES_SHOT"
[ $compared -eq 0 ] || fail "window 2 does not show what the headless run drew"

# Bearbeiten, "Bild kopieren" (Ctrl+Shift+Alt+C) puts the shown picture on the clipboard.
xdotool key ctrl+shift+alt+c
sleep 0.5
timeout 5 xclip -o -selection clipboard -t image/png > "$work/copied.png" ||
    fail "no image on the clipboard"
convert "$work/copied.png" "ppm:$work/copied.ppm" || fail "the clipboard image is no PNG"
cmp -s "$work/copied.ppm" "$work/grover.ppm" || fail "the copied image is not the picture"

# The picture window took the focus, not the keyboard: R still runs.
xdotool type --delay 200 "r"
wait_for 10 grep -q "GraphicWindow #1 End" "$work/stdout.txt" || fail "R did not run after the picture"
xdotool key ctrl+q
wait_for 10 bash -c "! kill -0 $app_pid" || fail "Ctrl+Q did not quit"
app_pid=""
check_sanitizer_logs
echo "xvfb_pictures: the Grover picture on the desktop passed."
