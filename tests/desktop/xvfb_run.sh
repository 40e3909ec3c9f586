#!/bin/bash
# The desktop as a user meets it, under a real X server: type "g5⏎0⏎" into window 0 with
# xdotool and compare the screenshot of its view with the image of a headless run of the
# same keys; then D, Fenster → virtual printer, copy text, and find the listing's first
# line on the clipboard; then the ways out: Ctrl+Q, SIGTERM, hiding the last window through
# F10. Usage: tests/desktop/xvfb_run.sh BUILD_DIR
set -uo pipefail

build=$(realpath "$1")
here=$(dirname "$(realpath "$0")")
# One text line of the 16x32 font: the measurement line may come out either way.
LINE_ROWS=32
source "$here/../../tools/xvfb_session.sh"

# The reference: the same keys, headless.
printf 'g5\r0\r' > "$work/keys.txt"
printf 'g5\r0\rd' > "$work/keys_d.txt"
XDG_CACHE_HOME="$work/headless" timeout 120 "$build/orbikon" --headless --input "$work/keys.txt" \
    --screen "$work/screen.txt" --image "$work/reference.png" > /dev/null ||
    fail "the headless run failed"
XDG_CACHE_HOME="$work/headless_d" timeout 120 "$build/orbikon" --headless --input "$work/keys_d.txt" \
    --screen "$work/screen_d.txt" --printer "$work/printer.txt" > /dev/null ||
    fail "the headless run with D failed"
convert "$work/reference.png" "ppm:$work/reference.ppm"

start_xvfb || fail "Xvfb did not start"
start_orbikon "$build" || fail "window 0 was not set up"

xdotool type --delay 200 "g5"
xdotool key Return
sleep 1
xdotool type --delay 200 "0"
xdotool key Return

compared=1
for _ in $(seq 30); do
    sleep 0.5
    screenshot "$work/shot.ppm"
    if python3 "$here/compare_view.py" "$work/shot.ppm" "$work/reference.ppm" $LINE_ROWS \
        > "$work/compare.txt"; then
        compared=0
        break
    fi
done
cat "$work/compare.txt"
[ $compared -eq 0 ] || fail "window 0 does not show what the headless run showed"

# D lists the object code on the printer, which comes forward while window 0 keeps the
# keyboard; the Fenster menu makes it the key window, copy text takes it.
xdotool type "d"
wait_for 20 xdotool search --onlyvisible --name "Virtueller Drucker" || fail "D did not show the printer"
sleep 1
focused=$(xdotool getwindowfocus getwindowname 2>/dev/null)
[ "$focused" != "Virtueller Drucker" ] || fail "the printer took the keyboard from window 0"
echo "xvfb_run: after D the keyboard stays with '$focused'"
xdotool key ctrl+shift+p
wait_for 10 xdotool search --onlyvisible --name "Virtueller Drucker" || fail "the printer did not open"
sleep 0.5
xdotool key ctrl+shift+c
sleep 0.5
# The printer keeps byte 25 after a listing's address; the clipboard gets a blank there, and
# line feeds between the lines.
first_line=$(head -1 "$work/printer.txt" | tr '\031' ' ')
timeout 5 xclip -o -selection clipboard > "$work/copied.txt"
copied=$(head -1 "$work/copied.txt")
[ -n "$first_line" ] || fail "the headless printer is empty"
[ "$copied" = "$first_line" ] || fail "the printer's first line is '$copied', not '$first_line'"
[ "$(wc -l < "$work/copied.txt")" -gt 1 ] || fail "the copied listing has no line feeds"
if tr -d '\n\t' < "$work/copied.txt" | LC_ALL=C grep -q '[[:cntrl:]]'; then
    fail "the copied listing holds control bytes"
fi
echo "xvfb_run: printer starts with: $first_line"

# Ctrl+Q runs the termination handler, quits and takes the dump along.
[ -f "$work/desktop/orbikon/dump.qucode" ] || fail "G left no dump"
xdotool key ctrl+q
wait_for 10 bash -c "! kill -0 $app_pid" || fail "Ctrl+Q did not quit"
app_pid=""
grep -q "applicationWillTerminate: Called." "$work/stdout.txt" || fail "no termination line"
[ ! -e "$work/desktop/orbikon/dump.qucode" ] || fail "Ctrl+Q left the dump behind"

# SIGTERM leaves the same way, and the process still ends as terminated.
start_orbikon "$build" || fail "window 0 was not set up a second time"
xdotool type --delay 200 "g5"
xdotool key Return
sleep 1
xdotool type --delay 200 "0"
xdotool key Return
wait_for 20 test -f "$work/desktop/orbikon/dump.qucode" || fail "the second G left no dump"
kill -TERM "$app_pid"
wait "$app_pid"
status=$?
app_pid=""
[ "$status" -eq 143 ] || fail "SIGTERM ended with status $status, not 143"
[ ! -e "$work/desktop/orbikon/dump.qucode" ] || fail "SIGTERM left the dump behind"

# F10 opens the menus from the keyboard; Fenster, its first item hides window 0, the last
# one shown, and that quits: no window would be left to bring one back.
start_orbikon "$build" || fail "window 0 was not set up a third time"
xdotool key F10
sleep 0.5
xdotool key Right Right
sleep 0.5
xdotool key Down Return
wait_for 10 bash -c "! kill -0 $app_pid" || fail "F10, Fenster, Fenster ausblenden did not quit"
app_pid=""
check_sanitizer_logs
echo "xvfb_run: the desktop passed."
