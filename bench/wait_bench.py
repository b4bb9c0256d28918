#!/usr/bin/env python3
"""Runs wait_bench.exe under Wine and adds, for each of its waits, the processor
time that the bench's own Wine process and Wine's server for the prefix spent,
read from the host's process table (/proc/PID/stat). A wait that keeps Wine's
server busy costs the engine just as much as one that spins itself.

Usage: bench/wait_bench.py [BUILD_DIR [SECONDS]]   (defaults: build, 10)
"""
import os
import subprocess
import sys
import time

build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build")
seconds = sys.argv[2] if len(sys.argv) > 2 else "10"
prefix = os.path.join(build, "wineprefix")
env = dict(os.environ, WINEPREFIX=prefix, WINEARCH="win32", WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")
work = os.path.join(prefix, "drive_c", "quendix-bench")
os.makedirs(work, exist_ok=True)
for name in ("markers.txt", "ack", "host-sampling"):
    if os.path.exists(os.path.join(work, name)):
        os.remove(os.path.join(work, name))
ticks = os.sysconf("SC_CLK_TCK")


def processor_seconds(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / ticks   # utime, stime


def wineserver_pid():
    # The server of a prefix runs in a folder named after the prefix's device and inode.
    st = os.stat(prefix)
    folder = f"server-{st.st_dev:x}-{st.st_ino:x}"
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open(f"/proc/{pid}/comm") as f:
                if not f.read().strip().startswith("wineserver"):
                    continue
            if os.path.basename(os.readlink(f"/proc/{pid}/cwd")) == folder:
                return pid
        except OSError:
            pass
    return None


def bench_pid():
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open(f"/proc/{pid}/cmdline", "rb") as f:
                args = f.read().split(b"\0")
            if args and args[0].lower().endswith(b"wait_bench.exe"):
                return pid
        except OSError:
            pass
    return None


# Wine's server and services first, with no pipe attached (they would hold it).
subprocess.run(["wineserver", "-p"], env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
               stderr=subprocess.DEVNULL)
subprocess.run([os.path.join(build, "wine-run"), "cmd", "/c", "exit"], env=env, stdin=subprocess.DEVNULL,
               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
server = wineserver_pid()
open(os.path.join(work, "host-sampling"), "w").close()
bench = subprocess.Popen([os.path.join(build, "wine-run"), os.path.join(build, "bench", "wait_bench.exe"), seconds],
                         cwd=work, env=env)
markers = os.path.join(work, "markers.txt")
seen = 0
begun = {}
results = []
while bench.poll() is None:
    lines = open(markers).read().splitlines() if os.path.exists(markers) else []
    for line in lines[seen:]:
        kind, name = line.split(" ", 1)
        pid = bench_pid()
        sample = (time.monotonic(), processor_seconds(pid) if pid else 0.0,
                  processor_seconds(server) if server else 0.0)
        if kind == "BEGIN":
            begun[name] = sample
        else:
            b = begun[name]
            results.append((name, sample[0] - b[0], sample[1] - b[1], sample[2] - b[2]))
        open(os.path.join(work, "ack"), "w").close()
    seen = len(lines)
    time.sleep(0.01)
os.remove(os.path.join(work, "host-sampling"))
print(f"from the host's process table (resolution {1000 // ticks} ms):")
for name, wall, front, srv in results:
    print(f"{name:8} wait of {wall:.2f} s: front end {front:.2f} s ({100 * front / wall:.2f}% of one core), "
          f"Wine's server {srv:.2f} s ({100 * srv / wall:.2f}%), together {100 * (front + srv) / wall:.2f}%")
shares = {name: (front / wall, srv / wall) for name, wall, front, srv in results}
if server is not None and {"plain", "watched"} <= set(shares):
    # The engine is a Wine program too: its own rewrites of the progress file
    # keep the server busy in both waits. The plain wait's server time is that
    # share; what the watched wait adds on top of it is the window's cost.
    engine = shares["plain"][1]
    front, srv = shares["watched"]
    print(f"watched  without the engine's own share of the server ({100 * engine:.2f}%, the plain wait's): "
          f"{100 * (front + srv - engine):.2f}% of one core")
if server is None:
    print("(Wine's server for this prefix was not found)")
sys.exit(bench.returncode)
