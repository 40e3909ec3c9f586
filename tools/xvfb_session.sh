# tools/xvfb_session.sh: sourced by the scripts that run the desktop under a private X
# server (tests/desktop/xvfb_run.sh, tools/desktop_screenshots.sh, bench/desktop_idle.sh).
# Sets work (a temporary folder, removed at exit), starts Xvfb on a free display and
# exports DISPLAY; start_orbikon then runs the application there.

work=$(mktemp -d)
# A sanitizer build's reports go to files of their own, which check_sanitizer_logs reads.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}log_path=$work/sanitizer"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:+$UBSAN_OPTIONS:}log_path=$work/sanitizer"
xvfb_pid=""
app_pid=""

xvfb_cleanup() {
    [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap xvfb_cleanup EXIT

# Says what failed, with the end of the application's output, and stops; a script may
# define its own after sourcing this.
fail() {
    echo "$(basename "$0" .sh): $*"
    [ -f "$work/stdout.txt" ] && tail -20 "$work/stdout.txt"
    exit 1
}

# Fails when a sanitizer build reported an error in any run of the application so far.
check_sanitizer_logs() {
    local logs
    logs=$(ls "$work"/sanitizer.* 2>/dev/null) || return 0
    cat $logs | head -40
    fail "the sanitizers reported an error"
}

# The whole screen into the PPM file $1.
screenshot() { xwd -root -silent | convert xwd:- "ppm:$1"; }

# Polls a command every 0.2 s for at most $1 seconds; false when it never succeeded.
wait_for() {
    local limit=$1
    shift
    for _ in $(seq $((limit * 5))); do
        "$@" >/dev/null 2>&1 && return 0
        sleep 0.2
    done
    return 1
}

# A screen large enough for window 0 at full size, so its pixels compare 1:1; $1 may ask
# for another size (WIDTHxHEIGHTxDEPTH).
start_xvfb() {
    exec 3> "$work/display"
    Xvfb -displayfd 3 -screen 0 "${1:-1920x1080x24}" -nolisten tcp > /dev/null 2>&1 &
    xvfb_pid=$!
    exec 3>&-
    wait_for 20 test -s "$work/display" || return 1
    export DISPLAY=":$(head -1 "$work/display")"
}

# Starts $1/orbikon with its own cache folder; its output goes to $work/stdout.txt. Returns
# once window 0 is set up and shown.
start_orbikon() {
    XDG_CACHE_HOME="$work/desktop" "$1/orbikon" > "$work/stdout.txt" 2>&1 &
    app_pid=$!
    wait_for 30 grep -q "p_PrinterAutoUpdateProcess: Start" "$work/stdout.txt" || return 1
    wait_for 10 xdotool search --onlyvisible --name Orbikon || return 1
    sleep 1 # the help screen is drawn and the program waits at the prompt
}
