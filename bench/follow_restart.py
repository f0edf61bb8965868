#!/usr/bin/env python3
"""How quickly --follow re-attaches after the inspected program restarts, and
what watching costs while nothing happens.

Restarts node at the same address N times (default 10) under an open window,
each a random 0.2-1.2 s after the last attach (the same moments for every
program: edits do not wait for the window), and prints the median time from
the new inspector's "Debugger listening" line to its "Debugger attached.". Then it measures the window process's CPU use
over an idle spell, with --follow and without it.

usage: bench/follow_restart.py [path/to/vorpel_inspector] [restarts]
Runs on $DISPLAY, or on an Xvfb display of its own when there is none.
"""
import os
import random
import select
import signal
import socket
import statistics
import subprocess
import sys
import time

PROGRAM = sys.argv[1] if len(sys.argv) > 1 else "build/vorpel_inspector"
RESTARTS = int(sys.argv[2]) if len(sys.argv) > 2 else 10
IDLE_SECONDS = 20


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Node:
    def __init__(self, port):
        self.process = subprocess.Popen(
            ["node", f"--inspect=127.0.0.1:{port}", "-e", "setInterval(() => {}, 1000)"],
            stderr=subprocess.PIPE, stdout=subprocess.DEVNULL)
        self.text = b""

    def wait_for(self, needle, timeout=30):
        deadline = time.monotonic() + timeout
        while needle not in self.text:
            left = deadline - time.monotonic()
            if left <= 0:
                raise TimeoutError(needle)
            ready, _, _ = select.select([self.process.stderr], [], [], left)
            if ready:
                chunk = os.read(self.process.stderr.fileno(), 4096)
                if not chunk:
                    raise RuntimeError("node ended")
                self.text += chunk
        return time.monotonic()

    def stop(self):
        self.process.send_signal(signal.SIGTERM)
        self.process.wait()


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def open_window(address, follow, env):
    argv = [PROGRAM] + (["--follow"] if follow else []) + [address]
    return subprocess.Popen(argv, env=env, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)


def main():
    env = dict(os.environ, DBUS_SESSION_BUS_ADDRESS="disabled:")
    xvfb = None
    if not env.get("DISPLAY"):
        display = f":{300 + os.getpid() % 300}"
        xvfb = subprocess.Popen(["Xvfb", display, "-screen", "0", "1280x800x24",
                                 "-nolisten", "tcp"], stderr=subprocess.DEVNULL)
        time.sleep(1)
        env["DISPLAY"] = display
    port = free_port()
    node = Node(port)
    node.wait_for(b"Debugger listening")
    window = open_window(f"127.0.0.1:{port}", True, env)
    try:
        node.wait_for(b"Debugger attached.", 60)
        delays = []
        moments = random.Random(1)
        for _ in range(RESTARTS):
            time.sleep(moments.uniform(0.2, 1.2))
            node.stop()
            node = Node(port)
            listening = node.wait_for(b"Debugger listening")
            attached = node.wait_for(b"Debugger attached.")
            delays.append(attached - listening)
        delays.sort()
        print(f"re-attach after a restart, {RESTARTS} restarts: median "
              f"{statistics.median(delays) * 1000:.0f} ms, min {delays[0] * 1000:.0f} ms, "
              f"max {delays[-1] * 1000:.0f} ms")

        other_port = free_port()
        other = Node(other_port)
        other.wait_for(b"Debugger listening")
        plain = open_window(f"127.0.0.1:{other_port}", False, env)
        other.wait_for(b"Debugger attached.", 60)
        time.sleep(3)
        start = {p.pid: cpu_seconds(p.pid) for p in (window, plain)}
        time.sleep(IDLE_SECONDS)
        for name, p in (("with --follow", window), ("without", plain)):
            used = cpu_seconds(p.pid) - start[p.pid]
            print(f"idle window process {name}: {used / IDLE_SECONDS * 100:.2f}% of a core")
        plain.terminate()
        plain.wait()
        other.stop()
    finally:
        window.terminate()
        window.wait()
        node.stop()
        if xvfb:
            xvfb.terminate()
            xvfb.wait()


if __name__ == "__main__":
    main()
