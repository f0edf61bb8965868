#!/usr/bin/env python3
"""Launch-to-attached time and peak memory of vorpel_inspector against Chromium.

Both show the same frontend on the same paused node script: vorpel_inspector
from its embedded table, Chromium (`--app=`) from a local HTTP server over the
package's files. The time runs from launch until node prints "Debugger
attached."; memory is the peak PSS summed over the launched process tree,
sampled until 3 s after the attach.

Fairness on a small shared machine:
- The two programs alternate run by run (and which goes first alternates
  pair by pair), so a slow minute of the machine hits both alike.
- Two cases. "first launch": both start on fresh data: a new Chromium
  profile, a new home and XDG folders for each. "second launch": each starts
  on what its own first launch of the same pair left behind (the same
  profile, the same XDG_DATA_HOME). Each pair runs first, then second.
- It refuses to start while another process maps WebKit's or Chromium's
  libraries: their shared pages would be split with it (one idle window
  elsewhere takes about 90 MiB off the vorpel side).
- Chromium's flags: --app and 800x600 to show one page in a window of the
  same size; a fresh --user-data-dir; --no-first-run and
  --no-default-browser-check so no first-run UI opens; --disable-gpu since
  Xvfb has none; background networking, component updates and sync off,
  since this closed network refuses them (retries would only slow it);
  --no-sandbox because the benchmark may run as root, with --test-type, or
  its warning bar shifts the page.

With --baseline another build of vorpel_inspector (and --baseline-env, its
extra environment) takes Chromium's place, to measure one change on its own.

usage: bench/window_vs_chromium.py [--runs N] [--screenshot FILE]
           [--baseline PROGRAM] [--baseline-env VAR=VALUE ...] [build/vorpel_inspector]
"""
import argparse
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
SETTLE_SECONDS = 3  # the page keeps loading panels after the attach
TIMEOUT_SECONDS = 60


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
        server.wait()
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


def session_pss_kb(session, leave_out=lambda pid: False):
    """PSS of a session's processes, but those `leave_out` names by pid."""
    total = 0
    for pid in os.listdir("/proc"):
        if not pid.isdigit():
            continue
        try:
            if os.getsid(int(pid)) != session or leave_out(pid):
                continue
            with open(f"/proc/{pid}/smaps_rollup") as rollup:
                for line in rollup:
                    if line.startswith("Pss:"):
                        total += int(line.split()[1])
        except (OSError, ProcessLookupError):
            pass
    return total


def processes_sharing_pages():
    """Other processes that map WebKit's or Chromium's files: PSS splits a
    shared page among all its mappers, so they would make either side look
    smaller than it is."""
    found = []
    for pid in os.listdir("/proc"):
        if not pid.isdigit() or int(pid) == os.getpid():
            continue
        try:
            with open(f"/proc/{pid}/maps") as maps:
                if any("libwebkit2gtk" in line or "/chromium/" in line for line in maps):
                    with open(f"/proc/{pid}/comm") as comm:
                        found.append(f"{pid} {comm.read().strip()}")
        except OSError:
            pass
    return found


def add_comparison_arguments(parser):
    """The arguments both benchmarks take: the program and what it is compared with."""
    parser.add_argument("program", nargs="?", default="build/vorpel_inspector")
    parser.add_argument("--baseline", help="another vorpel_inspector in Chromium's place")
    parser.add_argument("--baseline-env", action="append", default=[], metavar="VAR=VALUE")
    parser.add_argument("--shared-machine", action="store_true",
                        help="run even beside other WebKit or Chromium processes (PSS is then low)")


def check_machine(args):
    """Chromium's path (None with --baseline); exits when the run cannot be fair."""
    chromium = shutil.which("chromium")
    if not chromium and not args.baseline:
        sys.exit("needs Debian's chromium package")
    sharing = processes_sharing_pages()
    if sharing and not args.shared_machine:
        sys.exit("other processes map WebKit or Chromium, which would split their pages' "
                 "PSS: " + ", ".join(sharing))
    return chromium


def targets_line():
    """Which node the targets run on: the heap-snapshot case took 23 s on node
    18 where it took 10 s on node 20, with either window."""
    node = shutil.which("node")
    version = subprocess.run(["node", "--version"], capture_output=True, text=True).stdout.strip()
    return f"targets: node {version} ({node})"


def chromium_command(chromium, url, profile):
    """Chromium --app on `url` in an 800x600 window at the top left; --test-type
    keeps the --no-sandbox warning bar away, which would shift the page."""
    return [chromium, "--app=" + url, f"--user-data-dir={profile}", "--no-first-run",
            "--no-default-browser-check", "--disable-gpu", "--window-size=800,600",
            "--window-position=0,0", "--disable-background-networking",
            "--disable-component-update", "--disable-sync", "--no-sandbox", "--test-type"]


def compared_programs(args, program, chromium, display, port, extra=()):
    """Name -> (root -> (command for a target, environment)): vorpel_inspector
    (with `extra` environment) and Chromium --app, or the --baseline build."""
    base_env = dict(os.environ, DISPLAY=display, DBUS_SESSION_BUS_ADDRESS="disabled:")
    base_env.pop("VORPEL_INSPECTOR_FRONTEND", None)
    url = f"http://127.0.0.1:{port}/js_app.html?ws={{ws}}&experiments=true&v8only=true"

    def vorpel(root, path=program, settings=extra):
        env = dict(base_env, **data_folders(root))
        env.update(setting.split("=", 1) for setting in settings)
        return (lambda target: [path, target.split("/")[0]]), env

    def chromium_app(root):
        env = dict(base_env, **data_folders(root))
        profile = os.path.join(root, "profile")
        return (lambda target: chromium_command(chromium, url.replace("{ws}", target),
                                                profile)), env

    if args.baseline:
        baseline = os.path.abspath(args.baseline)
        return {"vorpel_inspector": vorpel,
                "baseline": lambda root: vorpel(root, baseline, args.baseline_env)}
    return {"vorpel_inspector": vorpel, "chromium --app": chromium_app}


def data_folders(root):
    """A home and XDG folders of its own under root, as a fresh user has them."""
    env = {}
    for variable in ("HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME",
                     "XDG_STATE_HOME"):
        folder = os.path.join(root, variable.lower())
        os.makedirs(folder, exist_ok=True)
        env[variable] = folder
    return env


def measure(command, env, display, screenshot=None):
    """One launch: (seconds to attach or None, peak PSS in KiB)."""
    node, target = start_node()
    attached = threading.Event()

    def watch():
        for line in node.stderr:
            if "Debugger attached." in line:
                attached.set()

    threading.Thread(target=watch, daemon=True).start()
    start = time.monotonic()
    tool = subprocess.Popen(command(target), env=env, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL, start_new_session=True)
    peak = 0
    elapsed = None
    settle_until = None
    while True:
        peak = max(peak, session_pss_kb(tool.pid))
        now = time.monotonic()
        if elapsed is None and attached.is_set():
            elapsed = now - start
            settle_until = now + SETTLE_SECONDS
        if (settle_until and now > settle_until) or now - start > TIMEOUT_SECONDS:
            break
        time.sleep(0.05)
    if screenshot:
        subprocess.run(["import", "-display", display, "-window", "root", screenshot],
                       stderr=subprocess.DEVNULL)
    os.killpg(tool.pid, signal.SIGKILL)
    tool.wait()
    node.kill()
    node.wait()
    return elapsed, peak


def summary(values):
    if len(values) < 2:
        value = values[0] if values else float("nan")
        return value, value, value
    q1, median, q3 = statistics.quantiles(values, n=4, method="inclusive")
    return q1, median, q3


def main():
    parser = argparse.ArgumentParser()
    add_comparison_arguments(parser)
    parser.add_argument("--runs", type=int, default=15, help="pairs of launches per case")
    parser.add_argument("--screenshot", help="save the last vorpel window shown here (PNG)")
    args = parser.parse_args()
    program = os.path.abspath(args.program)
    chromium = check_machine(args)

    display_server, display = start_display()
    http_server, port = serve_frontend()
    programs = compared_programs(args, program, chromium, display, port)
    scratch = tempfile.mkdtemp(prefix="window-bench-")
    samples = {(case, name): [] for case in ("first", "second") for name in programs}
    failures = 0
    try:
        for run in range(args.runs):
            names = list(programs) if run % 2 == 0 else list(reversed(programs))
            roots = {name: tempfile.mkdtemp(dir=scratch) for name in names}
            for case in ("first", "second"):
                for name in names:
                    command, env = programs[name](roots[name])
                    shot = (args.screenshot if args.screenshot and name == "vorpel_inspector"
                            and case == "first" and run == args.runs - 1 else None)
                    seconds, pss = measure(command, env, display, shot)
                    if seconds is None:
                        failures += 1
                        print(f"run {run + 1} {case} {name}: no attach in {TIMEOUT_SECONDS} s",
                              file=sys.stderr)
                        continue
                    samples[(case, name)].append((seconds, pss))
            for root in roots.values():
                shutil.rmtree(root, ignore_errors=True)
            print(f"pair {run + 1}/{args.runs} done", file=sys.stderr)
    finally:
        http_server.shutdown()
        display_server.kill()
        display_server.wait()
        shutil.rmtree(scratch, ignore_errors=True)

    print(f"{args.runs} interleaved pairs per case; quartiles Q1 / median / Q3")
    print(targets_line())
    for case in ("first", "second"):
        print(f"\n{case} launch")
        medians = {}
        for name in programs:
            runs = samples[(case, name)]
            ms = summary([seconds * 1000 for seconds, _ in runs])
            mib = summary([pss / 1024 for _, pss in runs])
            medians[name] = (ms[1], mib[1])
            print(f"  {name:17} attach {ms[0]:5.0f} / {ms[1]:5.0f} / {ms[2]:5.0f} ms   "
                  f"peak PSS {mib[0]:6.1f} / {mib[1]:6.1f} / {mib[2]:6.1f} MiB   (n={len(runs)})")
        other = list(programs)[1]
        ours, theirs = medians["vorpel_inspector"], medians[other]
        print(f"  ratio of medians (vorpel / {other.split()[0]}): time {ours[0] / theirs[0]:.2f}, "
              f"memory {ours[1] / theirs[1]:.2f}")
    if failures:
        print(f"\n{failures} launches did not attach", file=sys.stderr)
        sys.exit(1)


if __name__ == "__main__":
    main()
