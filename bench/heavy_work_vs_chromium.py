#!/usr/bin/env python3
"""The work people do in the window, vorpel_inspector against Chromium --app.

Both show the same frontend (vorpel from its embedded table, Chromium from a
local HTTP server over the package's files) on the same node program, in a
window of the same size on the same Xvfb display, driven with the same keys.
Each case starts a fresh node and a fresh program, waits for the attach and
for the window's process tree to go idle, prepares the panel, then times one
action:

  snapshot-50     Memory panel, "Take snapshot" (Ctrl+E) of a ~300k-object heap
  snapshot-170    the same of a ~1M-object heap
  profile         Performance panel, record 10 s of a busy program (Ctrl+E twice);
                  timed from the stop until the flame chart is shown
  pretty-print    a 5 MB (VORPEL_BENCH_BUNDLE_MB) minified script opened in Sources (Ctrl+P), which
                  the frontend pretty-prints as it opens it
  console-burst   the program logs 50,000 messages at once, Console panel shown
  long-session    the program logs 200 (--session-rate) messages a second for
                  --session-seconds; PSS sampled every 10 s; reports the growth
                  rate over the second half instead of a wall time, and as
                  "shown" how long after the stream stops the screen last
                  changes: how far the Console is behind the newest message

Wall time runs from the action to the moment the window's process tree (and,
where it does the work, the inspected program) went idle (less than 5 % of a core
over 3.5 s; the idle tail is not counted). "Shown" is the time of the screen's last
change before that, sampled every 0.25 s: when the user has the result. CPU
is the tree's user+system seconds over the same span, peak PSS the tree's
highest sum of PSS. The programs alternate pair by pair, and which goes first
alternates too. As root, Chromium gets --no-sandbox with --test-type, or its
warning bar shifts the page and the keys go elsewhere.

usage: bench/heavy_work_vs_chromium.py [--pairs N] [--cases a,b] [--session-seconds S]
           [--shots DIR] [--baseline PROGRAM] [build/vorpel_inspector]
"""
import argparse
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import window_vs_chromium as common  # noqa: E402

CLOCK_TICKS = os.sysconf("SC_CLK_TCK")
# Longer than WebKit's overlay-scrollbar hide delay (2 s, then a 3 s fade at
# 60 repaints a second, ~18 % of a core): with a 2 s window the fade fell
# inside it in some runs and not in others, and wall times split into two
# modes (0.6 s or 5 s for the same profile). Now it always counts.
IDLE_WINDOW = 3.5
IDLE_SHARE = 0.05
ACTION_TIMEOUT = 300

HEAP = """
const kept = [];
for (let i = 0; i < {count}; i++) kept.push({{ id: i, name: 'item' + i, tags: [i, i + 1] }});
setInterval(() => kept.length, 1000);
"""
BUSY = """
function leaf(n) { let s = 0; for (let i = 0; i < n; i++) s += Math.sqrt(i) * Math.sin(i); return s; }
function middle(n) { return leaf(n) + leaf(n / 2); }
function outer() { const end = Date.now() + 40; let s = 0; while (Date.now() < end) s += middle(2e4); return s; }
setInterval(outer, 50);
"""
BURST = """
process.on('SIGUSR2', () => {
  for (let i = 0; i < 50000; i++) console.log('message', i, 'of the burst');
});
setInterval(() => {}, 1000);
"""
STREAM = """
let n = 0;
let stream = null;
// The first signal starts the stream, the next one stops it.
process.on('SIGUSR2', () => {
  if (stream) return clearInterval(stream);
  stream = setInterval(() => {
    for (let i = 0; i < {per_tick}; i++) console.log('tick', n++, { at: Date.now() });
  }, 100);
});
setInterval(() => {}, 1000);
"""


def stream_script(rate):
    return STREAM.replace("{per_tick}", str(max(1, rate // 10)))


def minified_script(path, megabytes=5):
    parts, size, i = [], 0, 0
    while size < megabytes * 1024 * 1024:
        part = (f"function f{i}(a,b){{var c=a*{i}+b;if(c>{i})return c-{i};"
                f"for(var d=0;d<3;d++)c+=d;return c}}")
        parts.append(part)
        size += len(part)
        i += 1
    with open(path, "w") as out:
        out.write("".join(parts) + "\n")


class Tree:
    """The launched program's process tree (its session); with `target`, the
    inspected program counts for idleness too (it may be what is working)."""

    def __init__(self, session):
        self.session = session
        self.target = None

    def cpu_seconds(self):
        total = 0
        for pid in os.listdir("/proc"):
            if not pid.isdigit():
                continue
            try:
                if os.getsid(int(pid)) != self.session and int(pid) != self.target:
                    continue
                with open(f"/proc/{pid}/stat") as stat:
                    fields = stat.read().rsplit(")", 1)[1].split()
                total += int(fields[11]) + int(fields[12])
            except (OSError, ProcessLookupError, IndexError, ValueError):
                pass
        return total / CLOCK_TICKS

    def pss_kib(self):
        return common.session_pss_kb(self.session)


class Screen:
    """The display's pixels, to tell when the window stopped changing. A
    change smaller than SCREEN_NOISE pixels (a blinking caret) is none."""
    SCREEN_NOISE = 200
    ROW = 4096  # bytes compared at once; any size counts the same

    def __init__(self, display):
        self.display = display
        self.last = None

    def changed(self):
        grab = subprocess.run(["import", "-display", self.display, "-window", "root",
                               "-depth", "8", "gray:-"], capture_output=True)
        pixels = grab.stdout
        if self.last is None or len(pixels) != len(self.last):
            self.last = pixels
            return True
        if pixels == self.last:
            return False
        # Piece by piece: a byte-by-byte count of the whole screen took 50 ms, a
        # fifth of a core beside the programs measured.
        differing = 0
        for row in range(0, len(pixels), self.ROW):
            new, old = pixels[row:row + self.ROW], self.last[row:row + self.ROW]
            if new != old:
                differing += sum(1 for a, b in zip(new, old) if a != b)
        self.last = pixels
        return differing > self.SCREEN_NOISE


def wait_idle(tree, timeout, screen=None):
    """Samples until idle: (seconds to the start of the idle tail, CPU seconds
    up to it, peak PSS, seconds to the screen's last change), or None on timeout."""
    start = time.monotonic()
    samples = []  # (time, cpu)
    peak = 0
    shown = 0.0
    next_look = start
    while True:
        now = time.monotonic()
        samples.append((now, tree.cpu_seconds()))
        peak = max(peak, tree.pss_kib())
        if screen and now >= next_look:
            if screen.changed():
                shown = now - start
            next_look = now + 0.25
        if now - start > timeout:
            return None
        # The tail: the samples of the last IDLE_WINDOW seconds.
        tail = [s for s in samples if s[0] >= now - IDLE_WINDOW]
        if now - start >= IDLE_WINDOW and len(tail) >= 2:
            busy = (tail[-1][1] - tail[0][1]) / max(tail[-1][0] - tail[0][0], 1e-6)
            if busy < IDLE_SHARE:
                began, cpu = tail[0]
                return began - start, cpu - samples[0][1], peak, min(shown, began - start)
        time.sleep(0.1)


class Session:
    """One program on one node target, on the shared display."""

    def __init__(self, command, env, display, script, node_args=()):
        self.display = display
        self.node = subprocess.Popen(["node", *node_args, "--inspect=127.0.0.1:0", script],
                                     stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                                     text=True)
        line = self.node.stderr.readline()
        match = re.search(r"ws://(\S+)", line)
        if not match:
            raise RuntimeError(f"node did not start its inspector: {line}")
        self.attached = threading.Event()
        threading.Thread(target=self._watch, daemon=True).start()
        self.program = subprocess.Popen(command(match.group(1)), env=env,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                        start_new_session=True)
        self.tree = Tree(self.program.pid)

    def _watch(self):
        for line in self.node.stderr:
            if "Debugger attached." in line:
                self.attached.set()

    def xdotool(self, *args):
        subprocess.run(["xdotool", *args], env=dict(os.environ, DISPLAY=self.display),
                       check=False)

    def command_menu(self, text):
        # Without a window manager the keyboard follows the pointer.
        self.xdotool("mousemove", "400", "300")
        self.xdotool("key", "ctrl+shift+p")
        time.sleep(0.5)
        self.xdotool("type", "--delay", "20", text)
        time.sleep(0.5)
        self.xdotool("key", "Return")

    def screenshot(self, path):
        subprocess.run(["import", "-display", self.display, "-window", "root", path],
                       stderr=subprocess.DEVNULL)

    def close(self):
        try:
            os.killpg(self.program.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        self.program.wait()
        self.node.kill()
        self.node.wait()


def ready(session):
    if not session.attached.wait(60):
        raise RuntimeError("no attach in 60 s")
    if wait_idle(session.tree, 60) is None:
        raise RuntimeError("the window did not settle in 60 s")


# Seconds after the idle point at which the memory still held is read (0: not
# read). What a window keeps after the work is what the rest of the session
# runs beside; both engines free some of it only after a while of idleness.
HELD_SECONDS = 0


def timed(session, action, shots=None, name=""):
    screen = Screen(session.display)
    screen.changed()
    action()
    result = wait_idle(session.tree, ACTION_TIMEOUT, screen)
    if shots:
        session.screenshot(os.path.join(shots, name + ".png"))
    if result is None:
        raise RuntimeError(f"not idle within {ACTION_TIMEOUT} s")
    held = 0
    if HELD_SECONDS:
        time.sleep(HELD_SECONDS)
        held = session.tree.pss_kib()
    return {"wall": result[0], "cpu": result[1], "pss": result[2] / 1024, "shown": result[3],
            "held": held / 1024}


def prepared(start, scratch, file_name, source, panel, node_args=()):
    """A session on `source` with `panel` shown and the window idle again."""
    script = os.path.join(scratch, file_name)
    with open(script, "w") as out:
        out.write(source)
    session = start(script, node_args)
    try:
        ready(session)
        session.command_menu(panel)
        wait_idle(session.tree, 30)
        session.xdotool("mousemove", "400", "300")
    except BaseException:
        session.close()
        raise
    return session


def case_snapshot(count):
    def run(start, scratch, shots, name):
        session = prepared(start, scratch, f"heap{count}.js", HEAP.format(count=count),
                           "Show Memory", ("--max-old-space-size=4096",))
        try:
            session.tree.target = session.node.pid  # node writes the snapshot
            return timed(session, lambda: session.xdotool("key", "ctrl+e"), shots, name)
        finally:
            session.close()
    return run


def case_profile(start, scratch, shots, name):
    session = prepared(start, scratch, "busy.js", BUSY, "Show Performance")
    try:
        session.xdotool("key", "ctrl+e")
        time.sleep(10)
        return timed(session, lambda: session.xdotool("key", "ctrl+e"), shots, name)
    finally:
        session.close()


BUNDLE_MEGABYTES = float(os.environ.get("VORPEL_BENCH_BUNDLE_MB", "5"))


def case_pretty_print(start, scratch, shots, name):
    bundle = os.path.join(scratch, "bundle.min.js")
    minified_script(bundle, BUNDLE_MEGABYTES)
    session = prepared(start, scratch, "load_bundle.js",
                       f"require({bundle!r});\nsetInterval(() => {{}}, 1000);\n", "Show Sources")
    try:
        session.xdotool("key", "ctrl+p")
        time.sleep(0.5)
        session.xdotool("type", "--delay", "20", "bundle.min.js")
        time.sleep(1)
        # The frontend pretty-prints a minified script as it opens it.
        return timed(session, lambda: session.xdotool("key", "Return"), shots, name)
    finally:
        session.close()


def case_console_burst(start, scratch, shots, name):
    session = prepared(start, scratch, "burst.js", BURST, "Show Console")
    try:
        session.tree.target = session.node.pid
        return timed(session, lambda: session.node.send_signal(signal.SIGUSR2), shots, name)
    finally:
        session.close()


def case_long_session(seconds, rate):
    def run(start, scratch, shots, name):
        session = prepared(start, scratch, "stream.js", stream_script(rate), "Show Console")
        try:
            # The stream starts once the window has settled on the Console.
            session.node.send_signal(signal.SIGUSR2)
            began = time.monotonic()
            cpu0 = session.tree.cpu_seconds()
            points = []
            while time.monotonic() - began < seconds:
                points.append((time.monotonic() - began, session.tree.pss_kib() / 1024))
                time.sleep(min(10, max(0.0, seconds - (time.monotonic() - began))))
            points.append((time.monotonic() - began, session.tree.pss_kib() / 1024))
            cpu = session.tree.cpu_seconds() - cpu0
            # The window has the newest message once its screen stops changing.
            caught_up = timed(session, lambda: session.node.send_signal(signal.SIGUSR2),
                              shots, name)
            # Least-squares slope of PSS over the second half.
            late = [p for p in points if p[0] >= seconds / 2] or points
            n = len(late)
            mean_t = sum(t for t, _ in late) / n
            mean_m = sum(m for _, m in late) / n
            slope = (sum((t - mean_t) * (m - mean_m) for t, m in late) /
                     max(sum((t - mean_t) ** 2 for t, _ in late), 1e-9))
            first_minute = min(points, key=lambda p: abs(p[0] - 60))[1]
            print(f"  {name}: PSS {first_minute:.0f} MiB after a minute, "
                  f"{points[-1][1]:.0f} MiB at the end", file=sys.stderr, flush=True)
            return {"wall": slope, "cpu": cpu, "pss": max(m for _, m in points),
                    "shown": caught_up["shown"]}
        finally:
            session.close()
    return run


def main():
    parser = argparse.ArgumentParser()
    common.add_comparison_arguments(parser)
    parser.add_argument("--pairs", type=int, default=5)
    parser.add_argument("--cases", default="snapshot-50,snapshot-170,profile,pretty-print,"
                                           "console-burst,long-session")
    parser.add_argument("--session-seconds", type=int, default=300)
    parser.add_argument("--session-rate", type=int, default=200, help="messages a second")
    parser.add_argument("--shots", help="save a screenshot after each action here")
    parser.add_argument("--held", type=float, default=0, metavar="S",
                        help="also read the memory still held S seconds after each action")
    parser.add_argument("--env", action="append", default=[], metavar="VAR=VALUE",
                        help="extra environment for vorpel_inspector")
    args = parser.parse_args()
    program = os.path.abspath(args.program)
    chromium = common.check_machine(args)
    global HELD_SECONDS
    HELD_SECONDS = args.held
    cases = {
        "snapshot-50": case_snapshot(300_000),
        "snapshot-170": case_snapshot(1_000_000),
        "profile": case_profile,
        "pretty-print": case_pretty_print,
        "console-burst": case_console_burst,
        "long-session": case_long_session(args.session_seconds, args.session_rate),
    }
    chosen = [c for c in args.cases.split(",") if c]
    for c in chosen:
        if c not in cases:
            sys.exit(f"unknown case {c}; known: {', '.join(cases)}")
    if args.shots:
        os.makedirs(args.shots, exist_ok=True)

    display_server, display = common.start_display()
    http_server, port = common.serve_frontend()
    programs = common.compared_programs(args, program, chromium, display, port, args.env)
    scratch = tempfile.mkdtemp(prefix="heavy-bench-")
    results = {(c, p): [] for c in chosen for p in programs}
    try:
        for pair in range(args.pairs):
            for c in chosen:
                names = list(programs) if (pair + chosen.index(c)) % 2 == 0 else \
                    list(reversed(programs))
                for name in names:
                    root = tempfile.mkdtemp(dir=scratch)
                    command, env = programs[name](root)

                    def start(script, node_args=(), command=command, env=env):
                        return Session(command, env, display, script, node_args)

                    tag = f"{c}-{name.split()[0]}-{pair + 1}"
                    try:
                        results[(c, name)].append(cases[c](start, root, args.shots, tag))
                        r = results[(c, name)][-1]
                        print(f"pair {pair + 1} {c} {name}: {r['wall']:.2f} "
                              f"{'MiB/s' if c == 'long-session' else 's'}, shown {r['shown']:.2f} s, "
                              f"cpu {r['cpu']:.1f} s, peak {r['pss']:.0f} MiB"
                              + (f", held {r['held']:.0f} MiB" if HELD_SECONDS else ""),
                              file=sys.stderr, flush=True)
                    except RuntimeError as error:
                        print(f"pair {pair + 1} {c} {name}: {error}", file=sys.stderr)
                    shutil.rmtree(root, ignore_errors=True)
    finally:
        http_server.shutdown()
        display_server.kill()
        display_server.wait()
        shutil.rmtree(scratch, ignore_errors=True)

    other = list(programs)[1]
    print(f"{args.pairs} interleaved pairs; quartiles Q1 / median / Q3")
    print(common.targets_line())
    for c in chosen:
        unit = "MiB/s growth" if c == "long-session" else "s wall"
        print(f"\n{c}")
        medians = {}
        for name in programs:
            runs = results[(c, name)]
            wall = common.summary([r["wall"] for r in runs])
            shown = common.summary([r["shown"] for r in runs])
            cpu = common.summary([r["cpu"] for r in runs])
            pss = common.summary([r["pss"] for r in runs])
            held = common.summary([r.get("held", 0) for r in runs])
            medians[name] = (wall[1], shown[1], cpu[1], pss[1], held[1])
            print(f"  {name:17} {unit} {wall[0]:6.2f} / {wall[1]:6.2f} / {wall[2]:6.2f}   "
                  f"shown {shown[0]:6.2f} / {shown[1]:6.2f} / {shown[2]:6.2f} s   "
                  f"cpu {cpu[1]:6.1f} s   peak PSS {pss[0]:6.0f} / {pss[1]:6.0f} / {pss[2]:6.0f} MiB"
                  + (f"   held {held[1]:6.0f} MiB" if HELD_SECONDS and c != "long-session" else "")
                  + f"   (n={len(runs)})")
        ours, theirs = medians["vorpel_inspector"], medians[other]
        ratio = [f"{a / b:.2f}" if b else "n/a" for a, b in zip(ours, theirs)]
        print(f"  ratio of medians (vorpel / {other.split()[0]}): "
              f"{'growth' if c == 'long-session' else 'wall'} {ratio[0]}, shown {ratio[1]}, "
              f"cpu {ratio[2]}, memory {ratio[3]}"
              + (f", held {ratio[4]}" if HELD_SECONDS and c != "long-session" else ""))


if __name__ == "__main__":
    main()
