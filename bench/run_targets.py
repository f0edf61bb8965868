#!/usr/bin/env python3
"""--run with many processes and threads: what the window costs them.

    python3 bench/run_targets.py [--program build/vorpel_inspector] [--node PATH] [--pairs 3]

Cases, each under an Xvfb display of its own with fresh data folders:
- scale: a program forks 8 children that start 2 worker threads each (25
  threads of code); every one must run, which it does only once the window
  has attached it. Reports the window tree's peak PSS with all of them
  against the same window on a program of one process (goal: at most 1.5x).
- start delay: from a child's spawn (the parent's clock) to its first line,
  under the window against plain node, over 24 children a side (goal: the
  median at most 100 ms more).
- load: 100 children that live 300 ms, started within 5 s; none may be lost
  or hang, and the command must end.
The window tree is the program's session without the command's node
processes; PSS comes from /proc/*/smaps_rollup.
"""

import argparse
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import window_vs_chromium as common  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
PINNED_NODE = os.path.join(ROOT, "inspector/tests/runtimes/node_modules/node24/bin/node")

FORKING_APP = r"""
const {fork} = require('child_process');
const {Worker, isMainThread} = require('worker_threads');
const [mode, count, threads, life] = process.argv.slice(2).map((v, i) => i ? Number(v) : v);
if (!isMainThread) {
  console.log('thread ran');
  setTimeout(() => {}, life);
  return;
}
if (process.env.SPAWNED_AT) {
  console.log('child delay ' + (Date.now() - Number(process.env.SPAWNED_AT)));
  for (let i = 0; i < threads; ++i) new Worker(__filename, {argv: [mode, 0, 0, life]});
  setTimeout(() => process.exit(0), life);
  return;
}
let ended = 0;
if (!count) setTimeout(() => process.exit(0), life);
for (let i = 0; i < count; ++i) {
  setTimeout(() => {
    fork(__filename, [mode, count, threads, life], {env: {...process.env, SPAWNED_AT: Date.now()}})
        .on('exit', () => { if (++ended === count) setTimeout(() => process.exit(0), life); });
  }, mode === 'spread' ? i * 50 : 0);
}
"""


def window_pss_kib(session):
    # The command's node processes share the session; they are not the window.
    return common.session_pss_kb(
        session, lambda pid: os.readlink(f"/proc/{pid}/exe").endswith("/node"))


def run(program, node, app, arguments, env, under_window, wait_for, timeout):
    """One run: (output, seconds to the command's end or None, peak window PSS)."""
    command = [node, app] + arguments
    if under_window:
        command = [program, "--run"] + command
    out = tempfile.TemporaryFile()
    started = time.monotonic()
    process = subprocess.Popen(command, env=env, stdout=out, stderr=subprocess.DEVNULL,
                               start_new_session=True)
    peak = 0
    ended = None
    while time.monotonic() - started < timeout:
        if under_window:
            peak = max(peak, window_pss_kib(process.pid))
        out.seek(0)
        text = out.read().decode(errors="replace")
        if ended is None and (("the command ended" in text) if under_window
                              else process.poll() is not None):
            ended = time.monotonic() - started
        if wait_for(text) and ended is not None:
            break
        time.sleep(0.25)
    process.terminate()
    try:
        process.wait(10)
    except subprocess.TimeoutExpired:
        os.killpg(process.pid, 9)
        process.wait()
    out.seek(0)
    return out.read().decode(errors="replace"), ended, peak


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--program", default=os.path.join(ROOT, "build/vorpel_inspector"))
    parser.add_argument("--node", default=PINNED_NODE if os.path.exists(PINNED_NODE) else "node")
    parser.add_argument("--pairs", type=int, default=3)
    args = parser.parse_args()

    display_server, display = common.start_display()
    scratch = tempfile.mkdtemp(prefix="run-targets-")
    app = os.path.join(scratch, "app.js")
    with open(app, "w") as file:
        file.write(FORKING_APP)
    try:
        scale, one, delays, plain_delays = [], [], [], []
        for pair in range(args.pairs):
            env = dict(os.environ, DISPLAY=display, DBUS_SESSION_BUS_ADDRESS="disabled:",
                       **common.data_folders(os.path.join(scratch, f"data-{pair}")))
            text, ended, peak = run(args.program, args.node, app, ["burst", "8", "2", "3000"], env,
                                    True, lambda t: t.count("thread ran") >= 16, 120)
            children = [int(d) for d in re.findall(r"child delay (\d+)", text)]
            threads = text.count("thread ran")
            print(f"scale {pair}: {len(children)} children and {threads} threads ran, "
                  f"command ended after {ended and round(ended, 1)} s, peak {peak // 1024} MiB")
            scale.append(peak)
            delays += children
            _, _, peak_one = run(args.program, args.node, app, ["burst", "0", "0", "3000"], env,
                                 True, lambda t: True, 30)
            one.append(peak_one)
            text, _, _ = run(args.program, args.node, app, ["burst", "8", "2", "3000"], env,
                             False, lambda t: t.count("thread ran") >= 16, 60)
            plain_delays += [int(d) for d in re.findall(r"child delay (\d+)", text)]
        print(f"peak PSS: 25 threads {statistics.median(scale) // 1024} MiB, one process "
              f"{statistics.median(one) // 1024} MiB, ratio "
              f"{statistics.median(scale) / max(1, statistics.median(one)):.2f} (goal <= 1.5)")
        print(f"start delay, median over {len(delays)} children: window "
              f"{statistics.median(delays)} ms, plain node {statistics.median(plain_delays)} ms, "
              f"added {statistics.median(delays) - statistics.median(plain_delays)} ms "
              f"(goal <= 100)")

        env = dict(os.environ, DISPLAY=display, DBUS_SESSION_BUS_ADDRESS="disabled:",
                   **common.data_folders(os.path.join(scratch, "data-load")))
        text, ended, peak = run(args.program, args.node, app, ["spread", "100", "0", "300"], env,
                                True, lambda t: t.count("child delay") >= 100, 180)
        loaded = [int(d) for d in re.findall(r"child delay (\d+)", text)]
        print(f"load: {len(loaded)} of 100 short children ran, command ended after "
              f"{ended and round(ended, 1)} s, start delay median {statistics.median(loaded or [0])}"
              f" ms, max {max(loaded or [0])} ms, peak {peak // 1024} MiB")
    finally:
        display_server.kill()
        display_server.wait()
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    main()
