#!/usr/bin/env bash
# Times the desktop with the listing of S 667 + D in its printer window: the real application
# under Xvfb, keys typed with xdotool. S 667 is typed again until it writes a dump (its cache
# folder is a temporary one, removed at the end), then D with the peak memory reset just
# before; the printer is brought up with Ctrl+Shift+P. Measured: idle CPU over 10 s, the time
# from a key to the frame it causes, whether Ctrl+Home reaches line 1, the peak resident
# memory during D against the listing's size, and copying the whole listing.
#
# Key to frame: the application runs with ORBIKON_FRAME_LOG, so every paint of a text view
# appends the monotonic time after drawing (and the first line shown) to a file; the time
# before xdotool is started is subtracted. xdotool's own start-up is thus counted in.
# Usage: bench/desktop_listing.sh [build folder]   (default: build)
set -euo pipefail

build=$(realpath "${1:-build}")
source "$(dirname "$(realpath "$0")")/../tools/xvfb_session.sh"
start_xvfb || fail "Xvfb did not start"
export ORBIKON_FRAME_LOG="$work/frames.log"
start_orbikon "$build" || fail "window 0 was not set up"

python3 - "$app_pid" "$work" <<'EOF'
import os, statistics, subprocess, sys, time

pid, work = int(sys.argv[1]), sys.argv[2]
dump = os.path.join(work, "desktop", "orbikon", "dump.qucode")
frames = os.path.join(work, "frames.log")


def xdotool(*args):
    subprocess.run(["xdotool", *args], check=True)


def cpu_seconds():
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def status_mib(field):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith(field):
                return int(line.split()[1]) / 1024


def wait_idle(limit, least=2.0):
    """Waits until the process used under 5 % of a core for a second; False after limit."""
    start = time.monotonic()
    time.sleep(least)
    while time.monotonic() - start < limit:
        c0 = cpu_seconds()
        time.sleep(1)
        if cpu_seconds() - c0 < 0.05:
            return True
    return False


def frame_lines():
    if not os.path.exists(frames):
        return []
    with open(frames) as f:
        return [line.split() for line in f if line.strip()]


def key_to_frame(key):
    """Milliseconds from sending the key to the end of the next frame of the printer."""
    time.sleep(0.3)
    seen = len(frame_lines())
    start = time.monotonic_ns()
    xdotool("key", key)
    end = time.monotonic() + 3
    while time.monotonic() < end:
        new = [f for f in frame_lines()[seen:] if f[1] == "text9" and int(f[0]) > start]
        if new:
            return (int(new[0][0]) - start) / 1e6, int(new[-1][2])
        time.sleep(0.005)
    return float("nan"), 0


# S 667 until a dump is written (a run may end without one).
for attempt in range(6):
    xdotool("type", "--delay", "100", "s")
    time.sleep(1)
    xdotool("type", "--delay", "100", "667")
    xdotool("key", "Return")
    wait_idle(600, least=5)
    if os.path.exists(dump):
        break
assert os.path.exists(dump), "S 667 wrote no dump"
print(f"S 667: dump {os.path.getsize(dump):,} bytes (attempt {attempt + 1})")

with open(f"/proc/{pid}/clear_refs", "w") as f:
    f.write("5")
before = status_mib("VmRSS")
t0 = time.monotonic()
xdotool("type", "d")
assert wait_idle(900, least=5), "D did not end"
peak = status_mib("VmHWM")
print(f"D: {time.monotonic() - t0:.1f} s; RSS {before:.0f} MiB before, "
      f"{status_mib('VmRSS'):.0f} MiB after, peak during D {peak:.0f} MiB")

xdotool("key", "ctrl+shift+p")
subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--name", "Virtueller Drucker"],
               check=True, stdout=subprocess.DEVNULL)
wait_idle(60)
c0 = cpu_seconds()
time.sleep(10)
print(f"idle with the printer in front: {100 * (cpu_seconds() - c0) / 10:.1f} % of a core")

times = {"Page_Up": [], "Page_Down": [], "Up": [], "ctrl+Home": [], "ctrl+End": []}
first_after_home = []
for _ in range(5):
    for key in times:
        ms, first = key_to_frame(key)
        times[key].append(ms)
        if key == "ctrl+Home":
            first_after_home.append(first)
for key, t in times.items():
    print(f"{key}: median {statistics.median(t):.1f} ms, max {max(t):.1f} ms")
all_ms = [ms for t in times.values() for ms in t]
print(f"all keys: median {statistics.median(all_ms):.1f} ms")
print(f"Ctrl+Home shows line 1: {'yes' if all(f == 1 for f in first_after_home) else 'no'}")

# The whole listing through the menu's copy (no selection): its size, and how long from the
# key until another program can read it all.
t0 = time.monotonic()
xdotool("key", "ctrl+shift+c")
size = 0
while time.monotonic() - t0 < 60 and size == 0:
    read = subprocess.run(["xclip", "-o", "-selection", "clipboard"], capture_output=True,
                          timeout=120)
    size = len(read.stdout) if read.returncode == 0 else 0
print(f"listing {size / 2**20:.1f} MiB, copied and read by xclip {time.monotonic() - t0:.1f} s "
      f"after the key")

# Ctrl+A, Ctrl+C in the view itself, then Page Up: how soon the GUI draws again.
xdotool("key", "ctrl+a")
time.sleep(1)
seen = len(frame_lines())
start = time.monotonic_ns()
xdotool("key", "ctrl+c", "Page_Up")
answer = float("nan")
while time.monotonic_ns() - start < 30e9:
    new = [f for f in frame_lines()[seen:] if int(f[2]) > 1]
    if new:
        answer = (int(new[0][0]) - start) / 1e9
        break
    time.sleep(0.01)
read = subprocess.run(["xclip", "-o", "-selection", "clipboard"], capture_output=True, timeout=120)
print(f"Ctrl+A, Ctrl+C, Page Up: the page moved {answer:.2f} s after the keys; "
      f"xclip reads {len(read.stdout) / 2**20:.1f} MiB")
peak = status_mib("VmHWM")
print(f"peak since D began (D, the keys and the copy): {peak:.0f} MiB; target 2.5 x listing + "
      f"150 MiB = {2.5 * size / 2**20 + 150:.0f} MiB")
print(f"RSS at the end: {status_mib('VmRSS'):.0f} MiB")
EOF
