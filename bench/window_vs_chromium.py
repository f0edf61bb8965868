#!/usr/bin/env python3
"""Launch-to-attached time and peak memory of vorpel_inspector against Chromium.

Both show the same frontend on the same paused node script: vorpel_inspector
from its embedded table, Chromium (`--app=`) from a local HTTP server over the
package's files. The time runs from launch until node prints "Debugger
attached."; memory is the peak PSS summed over the launched process tree.

usage: bench/window_vs_chromium.py [build/vorpel_inspector] [runs]
"""
import http.server
import os
import re
import shutil
import signal
import socketserver
import statistics
import subprocess
import sys
import tempfile
import threading
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
FRONTEND = os.path.join(ROOT, "inspector/frontend/node_modules/chii/public/front_end")
SCRIPT = os.path.join(ROOT, "demo/sample.js")


def start_display():
    for number in range(180, 400):
        if os.path.exists(f"/tmp/.X{number}-lock"):
            continue
        server = subprocess.Popen(["Xvfb", f":{number}", "-screen", "0", "1280x800x24",
                                   "-nolisten", "tcp"], stderr=subprocess.DEVNULL)
        for _ in range(100):
            if os.path.exists(f"/tmp/.X11-unix/X{number}"):
                return server, f":{number}"
            if server.poll() is not None:
                break
            time.sleep(0.05)
        server.kill()
    sys.exit("Xvfb did not start")


def serve_frontend():
    class Quiet(http.server.SimpleHTTPRequestHandler):
        def __init__(self, *args, **kwargs):
            super().__init__(*args, directory=FRONTEND, **kwargs)

        def log_message(self, *args):
            pass

    Quiet.extensions_map[".js"] = "text/javascript"
    server = socketserver.ThreadingTCPServer(("127.0.0.1", 0), Quiet)
    server.daemon_threads = True
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server, server.server_address[1]


def start_node():
    node = subprocess.Popen(["node", "--inspect-brk=127.0.0.1:0", SCRIPT],
                            stderr=subprocess.PIPE, text=True)
    line = node.stderr.readline()
    match = re.search(r"ws://(\S+)", line)
    if not match:
        sys.exit(f"node did not start its inspector: {line}")
    return node, match.group(1)


def session_pss_kb(session):
    total = 0
    for pid in os.listdir("/proc"):
        if not pid.isdigit():
            continue
        try:
            if os.getsid(int(pid)) != session:
                continue
            with open(f"/proc/{pid}/smaps_rollup") as rollup:
                for line in rollup:
                    if line.startswith("Pss:"):
                        total += int(line.split()[1])
        except (OSError, ProcessLookupError):
            pass
    return total


def measure(make_command, env):
    """make_command(target) gives the argv that shows the frontend for target."""
    node, target = start_node()
    attached = threading.Event()

    def watch():
        for line in node.stderr:
            if "Debugger attached." in line:
                attached.set()

    threading.Thread(target=watch, daemon=True).start()
    start = time.monotonic()
    tool = subprocess.Popen(make_command(target), env=env,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                            start_new_session=True)
    peak = 0
    elapsed = None
    settle_until = None
    while True:
        peak = max(peak, session_pss_kb(tool.pid))
        if elapsed is None and attached.is_set():
            elapsed = time.monotonic() - start
            settle_until = time.monotonic() + 3  # the page keeps loading panels
        if settle_until and time.monotonic() > settle_until:
            break
        if time.monotonic() - start > 60:
            break
        time.sleep(0.05)
    os.killpg(tool.pid, signal.SIGKILL)
    tool.wait()
    node.kill()
    node.wait()
    return elapsed, peak


def main():
    program = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build/vorpel_inspector")
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 3
    chromium = shutil.which("chromium")
    if not chromium:
        sys.exit("needs Debian's chromium package")
    display_server, display = start_display()
    http_server, port = serve_frontend()
    env = dict(os.environ, DISPLAY=display, DBUS_SESSION_BUS_ADDRESS="disabled:")
    env.pop("VORPEL_INSPECTOR_FRONTEND", None)
    profile = tempfile.mkdtemp()
    url = f"http://127.0.0.1:{port}/js_app.html?ws={{ws}}&experiments=true&v8only=true"
    tools = {
        "vorpel_inspector": lambda target: [program, target.split("/")[0]],
        "chromium --app": lambda target: [
            chromium, "--app=" + url.replace("{ws}", target), f"--user-data-dir={profile}",
            "--no-sandbox", "--no-first-run", "--no-default-browser-check", "--disable-gpu",
            "--window-size=800,600"],
    }
    results = {}
    try:
        for name, make_command in tools.items():
            samples = [measure(make_command, env) for _ in range(runs)]
            times = [seconds for seconds, _ in samples if seconds is not None]
            results[name] = (statistics.median(times) if times else float("nan"),
                             statistics.median(pss for _, pss in samples))
    finally:
        http_server.shutdown()
        display_server.kill()
        shutil.rmtree(profile, ignore_errors=True)
    for name, (seconds, pss) in results.items():
        print(f"{name:18} launch to attached {seconds * 1000:7.0f} ms   "
              f"peak PSS {pss / 1024:7.1f} MiB   (median of {runs})")
    ours, theirs = results["vorpel_inspector"], results["chromium --app"]
    print(f"ratio (vorpel / chromium): time {ours[0] / theirs[0]:.2f}, memory {ours[1] / theirs[1]:.2f}")


if __name__ == "__main__":
    main()
