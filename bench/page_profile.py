#!/usr/bin/env python3
"""What the frontend's page spends the web process's main thread on, in the window.

Runs one heavy-work case's program and panel, then records the page for a
while through WebKit's remote inspector (WEBKIT_INSPECTOR_HTTP_SERVER, set
for this run only): WebKit's timeline (script, style, layout, paint) and its
JavaScript sampler. Prints seconds per kind of work and the functions with the
most samples, by self time and by time under them. The heavy-work benchmark
says how much slower a case is; this says where the time goes.

  long-session   the program logs 200 messages a second, Console shown; recorded
                 after --warm seconds of it
  console-burst  the program logs 50,000 messages at once, Console shown
  profile        Performance panel, 10 s of a busy program recorded; the
                 recording covers the stop and the flame chart being built
  pretty-print   Sources, a 5 MB minified script opened and pretty-printed

usage: bench/page_profile.py [--case NAME] [--warm S] [--seconds S] [build/vorpel_inspector]
"""
import argparse
import base64
import collections
import json
import os
import signal
import socket
import struct
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import heavy_work_vs_chromium as heavy  # noqa: E402
import window_vs_chromium as common  # noqa: E402


def key(name):
    return lambda session: session.xdotool("key", name)


def signal_node(session):
    session.node.send_signal(signal.SIGUSR2)


def nothing(session):
    pass


def bundle_chosen(session):
    session.xdotool("key", "ctrl+p")
    time.sleep(0.5)
    session.xdotool("type", "--delay", "20", "bundle.min.js")
    time.sleep(1)


def ten_seconds_recorded(session):
    session.xdotool("key", "ctrl+e")
    time.sleep(10)


# Per case: the program, the panel, what comes before the recording and what
# starts with it.
CASES = {
    "long-session": (heavy.stream_script(200), "Show Console", signal_node, nothing),
    "console-burst": (heavy.BURST, "Show Console", nothing, signal_node),
    "profile": (heavy.BUSY, "Show Performance", ten_seconds_recorded, key("ctrl+e")),
    "pretty-print": (None, "Show Sources", bundle_chosen, key("Return")),
}


class InspectorSocket:
    """A bare WebSocket to one page target of WebKit's remote inspector."""

    def __init__(self, port, path):
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=60)
        key = base64.b64encode(os.urandom(16)).decode()
        self.sock.sendall((f"GET {path} HTTP/1.1\r\nHost: 127.0.0.1:{port}\r\n"
                           "Upgrade: websocket\r\nConnection: Upgrade\r\n"
                           f"Sec-WebSocket-Key: {key}\r\nSec-WebSocket-Version: 13\r\n\r\n")
                          .encode())
        self.buffer = b""
        while b"\r\n\r\n" not in self.buffer:
            self.buffer += self._recv()
        head, self.buffer = self.buffer.split(b"\r\n\r\n", 1)
        if b" 101 " not in head.split(b"\r\n", 1)[0]:
            raise RuntimeError(f"the inspector refused the socket: {head[:80]!r}")
        self.next_id = 0
        self.target = None
        self.events = []
        self.lock = threading.Lock()
        threading.Thread(target=self._read, daemon=True).start()

    def _recv(self):
        data = self.sock.recv(1 << 20)
        if not data:
            raise EOFError
        return data

    def _take(self, count):
        while len(self.buffer) < count:
            self.buffer += self._recv()
        taken, self.buffer = self.buffer[:count], self.buffer[count:]
        return taken

    def _message(self):
        data = b""
        while True:
            first, second = self._take(2)
            length = second & 0x7F
            if length == 126:
                length = struct.unpack(">H", self._take(2))[0]
            elif length == 127:
                length = struct.unpack(">Q", self._take(8))[0]
            data += self._take(length)
            if first & 0x80:
                return first & 0x0F, data

    def _read(self):
        try:
            while True:
                opcode, data = self._message()
                if opcode == 1:
                    self._handle(json.loads(data))
        except (EOFError, OSError):
            pass

    def _handle(self, message):
        if message.get("method") == "Target.targetCreated":
            self.target = self.target or message["params"]["targetInfo"]["targetId"]
        elif message.get("method") == "Target.dispatchMessageFromTarget":
            self._handle(json.loads(message["params"]["message"]))
        else:
            with self.lock:
                self.events.append(message)

    def _send_frame(self, payload):
        mask = os.urandom(4)
        size = len(payload)
        if size < 126:
            head = bytes([0x81, 0x80 | size])
        elif size < 1 << 16:
            head = bytes([0x81, 0x80 | 126]) + struct.pack(">H", size)
        else:
            head = bytes([0x81, 0x80 | 127]) + struct.pack(">Q", size)
        self.sock.sendall(head + mask + bytes(b ^ mask[i % 4] for i, b in enumerate(payload)))

    def send(self, method, params=None):
        """One command to the page, through the target that WebKit announces."""
        deadline = time.monotonic() + 10
        while self.target is None and time.monotonic() < deadline:
            time.sleep(0.05)
        if self.target is None:
            raise RuntimeError("the inspector announced no page")
        self.next_id += 2
        inner = json.dumps({"id": self.next_id, "method": method, "params": params or {}})
        self._send_frame(json.dumps({"id": self.next_id + 1,
                                     "method": "Target.sendMessageToTarget",
                                     "params": {"targetId": self.target, "message": inner}})
                         .encode())

    def wait_for(self, method, timeout):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            with self.lock:
                if any(e.get("method") == method for e in self.events):
                    return True
            time.sleep(0.2)
        return False


def record(port, seconds, begin):
    page = InspectorSocket(port, "/socket/1/1/WebPage")
    # Without these the timeline's clock never starts and every time is 0.
    for method in ("Inspector.enable", "Inspector.initialized", "Timeline.enable", "Page.enable"):
        page.send(method)
    page.send("Timeline.setInstruments", {"instruments": ["Timeline", "ScriptProfiler"]})
    page.send("ScriptProfiler.startTracking", {"includeSamples": True})
    page.send("Timeline.start", {"maxCallStackDepth": 5})
    time.sleep(0.5)
    begin()
    time.sleep(seconds)
    page.send("Timeline.stop")
    page.send("ScriptProfiler.stopTracking")
    if not page.wait_for("ScriptProfiler.trackingComplete", 60):
        raise RuntimeError("the sampler sent no profile in 60 s")
    with page.lock:
        return list(page.events)


def kinds_of_work(events):
    """Self seconds per timeline record type."""
    own = collections.Counter()
    count = collections.Counter()

    def walk(record):
        start = record.get("startTime", 0)
        span = (record.get("endTime") or start) - start
        children = record.get("children", [])
        inner = sum((c.get("endTime") or c.get("startTime", 0)) - c.get("startTime", 0)
                    for c in children)
        own[record["type"]] += span - inner
        count[record["type"]] += 1
        for child in children:
            walk(child)

    for event in events:
        if event.get("method") == "Timeline.eventRecorded":
            walk(event["params"]["record"])
    return own, count


def functions(events):
    """Samples per function: as the running one, and anywhere on the stack."""
    done = [e for e in events if e.get("method") == "ScriptProfiler.trackingComplete"]
    traces = done[-1]["params"].get("samples", {}).get("stackTraces", []) if done else []
    own = collections.Counter()
    under = collections.Counter()
    for trace in traces:
        frames = trace.get("stackFrames", [])
        names = [f"{f.get('name') or '(anonymous)'} {os.path.basename(f.get('url', ''))}".strip()
                 for f in frames]
        own[names[0] if names else "(idle or native)"] += 1
        for name in set(names):
            under[name] += 1
    return len(traces), own, under


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("program", nargs="?", default="build/vorpel_inspector")
    parser.add_argument("--case", choices=sorted(CASES), default="long-session")
    parser.add_argument("--warm", type=float, default=20,
                        help="seconds of the long session before recording")
    parser.add_argument("--seconds", type=float, default=10, help="seconds recorded")
    parser.add_argument("--top", type=int, default=20)
    args = parser.parse_args()
    program = os.path.abspath(args.program)

    display_server, display = common.start_display()
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        port = probe.getsockname()[1]
    scratch = tempfile.mkdtemp(prefix="page-profile-")
    env = dict(os.environ, DISPLAY=display, DBUS_SESSION_BUS_ADDRESS="disabled:",
               WEBKIT_INSPECTOR_HTTP_SERVER=f"127.0.0.1:{port}", **common.data_folders(scratch))

    def start(script, node_args=()):
        return heavy.Session(lambda ws: [program, ws.split("/")[0]], env, display, script,
                             node_args)

    session = None
    try:
        script, panel, before, begin = CASES[args.case]
        if script is None:
            bundle = os.path.join(scratch, "bundle.min.js")
            heavy.minified_script(bundle, heavy.BUNDLE_MEGABYTES)
            script = f"require({bundle!r});\nsetInterval(() => {{}}, 1000);\n"
        session = heavy.prepared(start, scratch, "case.js", script, panel)
        before(session)
        if args.case == "long-session":
            time.sleep(args.warm)
        cpu = session.tree.cpu_seconds()
        events = record(port, args.seconds, lambda: begin(session))
        cpu = session.tree.cpu_seconds() - cpu
    finally:
        if session:
            session.close()
        display_server.kill()
        display_server.wait()

    own, count = kinds_of_work(events)
    print(f"{args.case}: {args.seconds:.0f} s recorded; "
          f"the window's tree used {cpu:.1f} s of CPU (recording included)")
    print("\nmain thread, self seconds by kind of work")
    for kind, seconds in own.most_common():
        if seconds >= 0.005:
            print(f"  {seconds:7.2f}  {kind} ({count[kind]})")
    total, by_self, by_under = functions(events)
    print(f"\nJavaScript samples: {total}")
    for title, table in (("running", by_self), ("on the stack", by_under)):
        print(f"  {title}:")
        for name, samples in table.most_common(args.top):
            print(f"    {samples / max(total, 1) * 100:5.1f} %  {name}")


if __name__ == "__main__":
    main()
