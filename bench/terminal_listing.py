#!/usr/bin/env python3
"""Times the terminal front end with the listing of S 667 + D on its printer page.

Runs build/orbikon --terminal on a pseudo-terminal of 80 x 25, types S 667 (retrying until a
dump is written) and D, opens the printer with F2, then measures: idle CPU over 5 s, the time
from a key (Page Up, Page Down, Home, End) to the end of the frame it causes, and the resident
memory: its peak during each D (the high-water mark is reset just before D is typed), after
each D, and on the printer page. Usage: bench/terminal_listing.py BUILD_DIR [D_COUNT]
"""
import os, pty, select, shutil, signal, statistics, struct, sys, tempfile, time, fcntl, termios

build = os.path.abspath(sys.argv[1])
d_count = int(sys.argv[2]) if len(sys.argv) > 2 else 1
cache = tempfile.mkdtemp()
dump = os.path.join(cache, "orbikon", "dump.qucode")

pid, fd = pty.fork()
if pid == 0:
    os.environ.update(XDG_CACHE_HOME=cache, TERM="xterm-256color", COLORTERM="truecolor")
    os.execv(build + "/orbikon", [build + "/orbikon", "--terminal"])
fcntl.ioctl(fd, termios.TIOCSWINSZ, struct.pack("HHHH", 25, 80, 0, 0))
seen = bytearray()


def read_for(seconds):
    """Reads output for up to `seconds`; returns the time the last byte arrived."""
    end = time.monotonic() + seconds
    last = None
    while True:
        left = end - time.monotonic()
        if left <= 0:
            return last
        ready, _, _ = select.select([fd], [], [], left)
        if ready:
            try:
                data = os.read(fd, 65536)
            except OSError:
                return last
            seen.extend(data)
            last = time.monotonic()


def wait_text(text, limit):
    end = time.monotonic() + limit
    while time.monotonic() < end:
        if text.encode() in seen:
            return True
        read_for(0.2)
    return False


def cpu_seconds():
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def memory_mib(field):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith(field):
                return int(line.split()[1]) / 1024


def peak_mib():
    return memory_mib("VmHWM")


def reset_peak():
    """Sets the high-water mark back to the present resident size."""
    with open(f"/proc/{pid}/clear_refs", "w") as f:
        f.write("5")


def settle(limit=60):
    """Waits until the program is idle (under 5 % of a core over 0.5 s): D's size line can
    come before the printer has taken the whole listing."""
    end = time.monotonic() + limit
    while time.monotonic() < end:
        c0 = cpu_seconds()
        read_for(0.5)
        if cpu_seconds() - c0 < 0.025:
            return


def key_to_frame(key):
    """Seconds from writing the key to the last byte of the frame it causes (quiet 0.3 s)."""
    read_for(0.3)
    start = time.monotonic()
    os.write(fd, key)
    last = read_for(3.0)
    # The frame may take longer than the quiet window: wait on while bytes still come.
    while last is not None and time.monotonic() - last < 0.3:
        more = read_for(0.3)
        last = more or last
    return (last - start) if last else float("nan")


assert wait_text("D(isAsm", 30), "no prompt"
for attempt in range(6):
    seen.clear()
    os.write(fd, b"s")
    assert wait_text("Zahl eingeben", 10)
    os.write(fd, b"667\r")
    end = time.monotonic() + 300
    while time.monotonic() < end and not os.path.exists(dump):
        read_for(0.5)
    read_for(3)
    if os.path.exists(dump):
        print(f"S 667: dump {os.path.getsize(dump):,} bytes")
        break
print(f"before D: RSS {memory_mib('VmRSS'):.0f} MiB, peak so far (S 667) {peak_mib():.0f} MiB")
for n in range(d_count):
    seen.clear()
    read_for(0.5)
    seen.clear()
    before = memory_mib("VmRSS")
    reset_peak()
    t0 = time.monotonic()
    os.write(fd, b"d")
    assert wait_text("Gr\u00f6\u00dfe der Ausgabe", 900), "D did not end"
    took = time.monotonic() - t0
    settle()
    listing = seen[seen.find("Gr\u00f6\u00dfe der Ausgabe".encode()):][:60]
    print(f"D {n + 1}: {took:.1f} s, {listing.decode(errors='replace').split(chr(13))[0]}, "
          f"RSS before {before:.0f} MiB, peak during D {peak_mib():.0f} MiB, "
          f"RSS after {memory_mib('VmRSS'):.0f} MiB")
seen.clear()
reset_peak()
os.write(fd, b"\x1bOQ")  # F2
assert wait_text("Virtueller Drucker", 60), "F2 showed no printer"
read_for(2)
c0 = cpu_seconds()
time.sleep(5)
print(f"idle on the printer page: {100 * (cpu_seconds() - c0) / 5:.1f} % of a core")
times = {}
# Each key changes the frame: Home and End alternate, Page Up/Down and Up move from the end.
times = {"Page Up": [], "Page Down": [], "Home": [], "End": [], "Up": []}
for _ in range(5):
    for name, key in [("Page Up", b"\x1b[5~"), ("Page Down", b"\x1b[6~"), ("Up", b"\x1b[A"),
                      ("Home", b"\x1b[H"), ("End", b"\x1b[F")]:
        times[name].append(key_to_frame(key))
if os.environ.get("SHOW_OUTPUT"):
    seen.clear()
    os.write(fd, b"\x1b[H")
    read_for(3)
    print(repr(bytes(seen[-600:])))
for name, t in times.items():
    print(f"{name}: median {1000 * statistics.median(t):.1f} ms, max {1000 * max(t):.1f} ms")
seen.clear()
os.write(fd, b"\x1b[H")
read_for(1)
top = b"$00000000" in seen
print(f"Home reaches the first record: {'yes' if top else 'no'}")
print(f"RSS on the printer page: {memory_mib('VmRSS'):.0f} MiB; "
      f"peak since F2: {peak_mib():.0f} MiB")
os.kill(pid, signal.SIGTERM)
os.waitpid(pid, 0)
print(f"dump left after SIGTERM: {'yes' if os.path.exists(dump) else 'no'}")
shutil.rmtree(cache, ignore_errors=True)
