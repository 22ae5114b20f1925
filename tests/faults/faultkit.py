"""Helpers for the fault and race tests, on top of the end-to-end harness.

Everything waits against a deadline; every process started here is ended by its own pid.
"""

import json
import os
import re
import signal
import socket
import statistics
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))

import harness  # noqa: E402  (the shared end-to-end harness)
from harness import Client, DemoServer, Desktop, Xvfb, binary  # noqa: E402,F401

NOTICE_CAPTION = "提示信息"
LOGIN_CAPTION = "用户登录"
START_TIMEOUT = 60  # a browser engine starting under Xvfb on two busy cores

# The client's own limits for one request, in ms: resolve, connect, send, receive.
PRODUCT_LIMITS = (1000, 10000, 10000, 10000)
CHECK_CODE_ATTEMPTS = 11


def figure(name, value, unit="s", **details):
    """One measured figure, on a line of its own in the test output."""
    extra = "".join(f" {k}={v}" for k, v in details.items())
    if isinstance(value, float):
        value = f"{value:.3f}"
    print(f"FIGURE {name}: {value} {unit}{extra}", flush=True)


def median(values):
    return statistics.median(values) if values else float("nan")


_help_text = None


def client_help():
    global _help_text
    if _help_text is None:
        done = subprocess.run([binary("talvo"), "--help"], capture_output=True, timeout=20,
                              stdin=subprocess.DEVNULL)
        _help_text = done.stdout.decode("utf-8", "replace")
    return _help_text


def supports_timeouts():
    return "--timeouts" in client_help()


def timeout_args(limits):
    return ["--timeouts", ",".join(str(ms) for ms in limits)]


def closed_port():
    """A loopback port nobody listens on: bound, then released, so connecting is refused."""
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def path_of(target):
    return target.split("?", 1)[0]


def children_of(pid):
    """Every live descendant of pid (browser helpers and their own children)."""
    parents = {}
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/stat", "rb") as f:
                stat = f.read().decode("ascii", "replace")
        except OSError:
            continue
        # The command name may hold blanks and parentheses; fields resume after the last ")".
        fields = stat[stat.rfind(")") + 2:].split()
        parents.setdefault(int(fields[1]), []).append(int(entry))
    found, todo = [], [pid]
    while todo:
        for child in parents.get(todo.pop(), []):
            found.append(child)
            todo.append(child)
    return found


def kill_pids(pids):
    for pid in pids:
        try:
            os.kill(pid, signal.SIGKILL)
        except ProcessLookupError:
            pass


def flock_holders(folder):
    """Pids holding a whole-file lock on a *.lock file in folder, from /proc/locks."""
    inodes = set()
    for name in os.listdir(folder):
        if name.endswith(".lock"):
            try:
                inodes.add(os.stat(os.path.join(folder, name)).st_ino)
            except FileNotFoundError:
                pass
    holders = set()
    with open("/proc/locks") as f:
        for line in f:
            # "1: FLOCK  ADVISORY  WRITE 1234 00:2f:5678 0 EOF"
            m = re.match(r"\d+:\s+(?:->\s+)?FLOCK\s+\S+\s+\S+\s+(\d+)\s+[0-9a-f]+:[0-9a-f]+:(\d+)",
                         line)
            if m and int(m.group(2)) in inodes:
                holders.add(int(m.group(1)))
    return holders


class EnvClient(Client):
    """A client with a few environment variables of the test's own."""

    def __init__(self, exe, display, scratch, env_extra, *args):
        env = harness.client_env(display, scratch)
        env.update(env_extra)
        harness.Process.__init__(self, [binary(exe), *args], env=env, name=exe)
        self.display = display


class World(harness.Session):
    """One test's X server, optional demo server and clients; on close, also the browser
    helper processes the clients started and any pids listed in extra_pids."""

    def __init__(self, *server_options, server=True):
        self.extra_pids = []
        super().__init__(*server_options, server=server, prefix="talvo-faults-")

    @property
    def runtime(self):
        return os.path.join(self.scratch, "runtime")

    def start(self, exe, *args):
        """Starts a client; returns it with the monotonic time it was started at."""
        client = Client(exe, self.xvfb.display, self.scratch, *args)
        client.started = time.monotonic()
        self.clients.append(client)
        return client

    def start_with_env(self, exe, env_extra, *args):
        client = EnvClient(exe, self.xvfb.display, self.scratch, env_extra, *args)
        client.started = time.monotonic()
        self.clients.append(client)
        return client

    def close(self):
        # Found before the clients end: afterwards the helpers are no longer their children.
        helpers = [pid for client in self.clients if client.running() for pid in children_of(client.pid)]
        super().close()
        kill_pids(helpers + self.extra_pids)


FAKE_OPENER = """#!/usr/bin/python3
# Stands in for the desktop's URL opener: records exactly what it was given and who ran it.
import json, os, sys
ppid = os.getppid()
try:
    with open(f"/proc/{ppid}/comm", "rb") as f:
        parent = f.read().decode("utf-8", "replace").strip()
except OSError:
    parent = ""
record = {"argv": [os.fsencode(a).hex() for a in sys.argv[1:]], "ppid": ppid, "parent": parent}
with open(os.environ["TALVO_FAKE_OPENER_LOG"], "a", encoding="utf-8") as log:
    log.write(json.dumps(record) + "\\n")
"""


def install_fake_opener(scratch):
    """A fake xdg-open first on PATH; returns (env additions, log path)."""
    folder = os.path.join(scratch, "fakebin")
    os.makedirs(folder, exist_ok=True)
    path = os.path.join(folder, "xdg-open")
    with open(path, "w", encoding="utf-8") as f:
        f.write(FAKE_OPENER)
    os.chmod(path, 0o755)
    log = os.path.join(scratch, "opener.log")
    env = {"PATH": folder + os.pathsep + os.environ.get("PATH", ""),
           "TALVO_FAKE_OPENER_LOG": log}
    return env, log


def read_opener_log(log, expected, timeout):
    """Waits until the log holds `expected` records (or the time is up); returns them with
    each argument as the exact bytes the opener received."""
    deadline = time.monotonic() + timeout
    while True:
        records = []
        if os.path.exists(log):
            with open(log, encoding="utf-8") as f:
                records = [json.loads(line) for line in f if line.strip()]
        if len(records) >= expected or time.monotonic() > deadline:
            for r in records:
                r["argv"] = [bytes.fromhex(a) for a in r["argv"]]
            return records
        time.sleep(0.05)


class LineClock:
    """Stamps each line a client writes with the monotonic time it was first seen
    (polled every 10 ms on a thread of its own)."""

    def __init__(self, client):
        self._client = client
        self._stamped = []
        self._stop = threading.Event()
        self._lock = threading.Lock()
        self._thread = threading.Thread(target=self._run, daemon=True)
        self._thread.start()

    def _poll(self):
        lines = self._client.output.lines()
        now = time.monotonic()
        with self._lock:
            for line in lines[len(self._stamped):]:
                self._stamped.append((now, line))

    def _run(self):
        while not self._stop.is_set():
            self._poll()
            self._stop.wait(0.01)

    def stop(self):
        self._stop.set()
        self._thread.join(5)

    def diags(self, prefix):
        """(time, text after the prefix) of every diagnostics line starting with prefix."""
        self._poll()
        out = []
        with self._lock:
            for t, line in self._stamped:
                at = line.find(harness.DIAG)
                if at < 0:
                    continue
                text = line[at + len(harness.DIAG):]
                if text.startswith(prefix):
                    out.append((t, text[len(prefix):]))
        return out
