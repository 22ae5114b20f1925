"""Drives the real executables under a private X server against the demo application server.

Everything here is bounded in time: every wait has a deadline, and every process started is
ended by its own pid when the test is over.
"""

import os
import re
import shutil
import subprocess
import tempfile
import threading
import time
import urllib.parse
import urllib.request

# CTest says where the programs are; run by hand, they are where ./run builds them.
_BUILT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "build", "bin")
BIN = os.environ.get("TALVO_BIN") or os.path.normpath(_BUILT)
XCLOSE = os.environ.get("TALVO_XCLOSE") or os.path.join(BIN, "e2e_xclose")


def binary(name):
    path = os.path.join(BIN, name)
    if not os.access(path, os.X_OK):
        raise FileNotFoundError(f"{name} is not built in {BIN} (./run or scripts/build builds it; TALVO_BIN says where)")
    return path



def process_children():
    """{parent pid: [child pids]} of every live process, by the parent pid in each stat (not
    every kernel offers /proc/PID/task/TID/children)."""
    children = {}
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/stat") as f:
                # The command name may hold blanks; the parent pid follows its closing bracket.
                parent = int(f.read().rsplit(")", 1)[1].split()[1])
        except (OSError, IndexError, ValueError):
            continue
        children.setdefault(parent, []).append(int(entry))
    return children


def descendants(pid):
    """pid and every live process below it."""
    children = process_children()
    found = [pid]
    index = 0
    while index < len(found):
        found.extend(children.get(found[index], []))
        index += 1
    return found


class Output:
    """Collects the lines a child writes, on a thread, so waits never block on a pipe."""

    def __init__(self, stream, echo_prefix=None):
        self._lines = []
        self._cond = threading.Condition()
        self._closed = False
        self._echo = echo_prefix
        self._thread = threading.Thread(target=self._read, args=(stream,), daemon=True)
        self._thread.start()

    def _read(self, stream):
        for raw in iter(stream.readline, b""):
            line = raw.decode("utf-8", "replace").rstrip("\r\n")
            if self._echo and os.environ.get("TALVO_E2E_VERBOSE"):
                print(f"{self._echo}{line}", flush=True)
            with self._cond:
                self._lines.append(line)
                self._cond.notify_all()
        with self._cond:
            self._closed = True
            self._cond.notify_all()

    def lines(self):
        with self._cond:
            return list(self._lines)

    def wait_for(self, predicate, timeout, start=0, what="line"):
        """Returns (index, line) of the first line from `start` on that satisfies predicate."""
        deadline = time.monotonic() + timeout
        with self._cond:
            index = start
            while True:
                while index < len(self._lines):
                    if predicate(self._lines[index]):
                        return index, self._lines[index]
                    index += 1
                left = deadline - time.monotonic()
                if left <= 0:
                    raise TimeoutError(f"no {what} within {timeout}s; saw:\n  " +
                                       "\n  ".join(self._lines[-40:]))
                if self._closed:
                    raise EOFError(f"output ended without {what}; saw:\n  " +
                                   "\n  ".join(self._lines[-40:]))
                self._cond.wait(min(left, 0.5))

    def join(self, timeout=5):
        self._thread.join(timeout)


class Process:
    """A child with its merged stdout/stderr collected."""

    def __init__(self, args, env=None, name=None):
        self.name = name or os.path.basename(args[0])
        self.proc = subprocess.Popen(args, env=env, stdin=subprocess.DEVNULL,
                                     stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        self.output = Output(self.proc.stdout, echo_prefix=f"[{self.name}] ")

    @property
    def pid(self):
        return self.proc.pid

    def running(self):
        return self.proc.poll() is None

    def wait_exit(self, timeout):
        try:
            return self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            raise TimeoutError(f"{self.name} still running after {timeout}s; its last lines:\n  " +
                               "\n  ".join(self.output.lines()[-40:])) from None

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait(10)
        # Helpers the child started may still hold the pipe; do not wait on them for long.
        self.output.join()
        try:
            self.proc.stdout.close()
        except OSError:
            pass


class Xvfb:
    """A private X server on a display number it picks itself."""

    def __init__(self, width=1280, height=1024):
        read_fd, write_fd = os.pipe()
        self.proc = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", f"{width}x{height}x24",
             "-nolisten", "tcp"],
            pass_fds=(write_fd,), stdin=subprocess.DEVNULL,
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_fd)
        number = b""
        deadline = time.monotonic() + 20
        with os.fdopen(read_fd, "rb", buffering=0) as pipe:
            os.set_blocking(pipe.fileno(), False)
            while not number.endswith(b"\n"):
                if time.monotonic() > deadline or self.proc.poll() is not None:
                    self.stop()
                    raise RuntimeError("Xvfb did not report a display")
                try:
                    chunk = pipe.read(16)
                except BlockingIOError:
                    chunk = None
                if chunk:
                    number += chunk
                else:
                    time.sleep(0.05)
        self.display = ":" + number.decode().strip()

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait(10)


class WindowManager:
    """openbox on one display, with its own settings and cache folders under scratch."""

    def __init__(self, display, scratch):
        exe = shutil.which("openbox")
        if not exe:
            raise FileNotFoundError("openbox is not installed (scripts/install-deps installs it)")
        home = os.path.join(scratch, "wm-home")
        os.makedirs(home, exist_ok=True)
        env = dict(os.environ, DISPLAY=display, HOME=home,
                   XDG_CONFIG_HOME=os.path.join(home, "config"),
                   XDG_CACHE_HOME=os.path.join(home, "cache"))
        self.desktop = Desktop(display)
        self.process = Process([exe, "--sm-disable"], env=env, name="openbox")
        deadline = time.monotonic() + 20
        while not self.running_check():
            if time.monotonic() > deadline or not self.process.running():
                self.stop()
                raise RuntimeError("openbox did not take over the display")
            time.sleep(0.1)

    def running_check(self):
        done = subprocess.run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], env=self.desktop.env,
                              capture_output=True, timeout=15)
        return b"window id #" in done.stdout

    def stop(self):
        self.process.stop()


REQUEST = re.compile(r"^(GET|POST|HEAD) (\S+)")


class DemoServer:
    def __init__(self, *options):
        self.process = Process([binary("talvo-demo-server"), "--port", "0", *options],
                               name="server")
        _, line = self.process.output.wait_for(
            lambda l: l.startswith("listening on 127.0.0.1:"), 15, what="listening line")
        self.address = line.split("listening on ", 1)[1].strip()
        self.url = f"http://{self.address}"

    def requests(self):
        """Request targets ("/path?query") the server has logged, in order."""
        out = []
        for line in self.process.output.lines():
            m = REQUEST.match(line)
            if m:
                out.append(m.group(2))
        return out

    def mark(self):
        """A position in the server's log; wait_request(start=mark) looks only after it."""
        return len(self.process.output.lines())

    def wait_request(self, predicate, timeout, what, start=0):
        return self.process.output.wait_for(
            lambda l: bool(REQUEST.match(l)) and predicate(REQUEST.match(l).group(2)),
            timeout, start=start, what=what)

    def get(self, target, timeout=5):
        with urllib.request.urlopen(self.url + target, timeout=timeout) as reply:
            return reply.status, reply.read()

    def push_title(self, text):
        status, _ = self.get("/demo/push-title?text=" + urllib.parse.quote(text, safe=""))
        if status != 200:
            raise RuntimeError(f"push-title answered {status}")

    def push_action(self, page, name):
        """Queues an action for the open demo page named page (see demo/web/actions.js)."""
        status, _ = self.get("/demo/push-action?page=" + urllib.parse.quote(page, safe="") +
                             "&name=" + urllib.parse.quote(name, safe=""))
        if status != 200:
            raise RuntimeError(f"push-action answered {status}")

    def wait_report(self, what, timeout, start=0):
        """Waits for a page's report (/demo/report?what=...); returns (index, value)."""
        def match(target):
            return (target.startswith("/demo/report?") and
                    urllib.parse.parse_qs(target.split("?", 1)[1]).get("what") == [what])
        index, line = self.wait_request(match, timeout, f'a "{what}" report', start=start)
        query = urllib.parse.parse_qs(REQUEST.match(line).group(2).split("?", 1)[1],
                                      keep_blank_values=True)
        return index, query.get("value", [""])[0]

    def cookies(self, path):
        """The Cookie headers the server saw on requests for path, in order."""
        prefix = f"COOKIE {path} "
        return [l[len(prefix):] for l in self.process.output.lines() if l.startswith(prefix)]

    def stop(self):
        self.process.stop()


def client_env(display, scratch):
    env = dict(os.environ)
    env["DISPLAY"] = display
    env["QT_LOGGING_RULES"] = "talvo.windows.info=true"
    env.pop("QT_QPA_PLATFORM", None)
    env.pop("WAYLAND_DISPLAY", None)
    # A private temp and runtime folder per test, so the single-instance guard of one test
    # never sees the client of another.
    env["TMPDIR"] = scratch
    runtime = os.path.join(scratch, "runtime")
    os.makedirs(runtime, mode=0o700, exist_ok=True)
    env["XDG_RUNTIME_DIR"] = runtime
    # A home of its own too: the browser keeps its profile (cookies, storage, cache) there.
    home = os.path.join(scratch, "home")
    os.makedirs(home, mode=0o700, exist_ok=True)
    env["HOME"] = home
    for name in ("XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_CONFIG_HOME"):
        env.pop(name, None)
    return env


DIAG = "talvo.windows: "


class Client(Process):
    def __init__(self, exe, display, scratch, *args, env=None):
        path = exe if os.path.isabs(exe) else binary(exe)
        super().__init__([path, *args], env={**client_env(display, scratch), **(env or {})},
                         name=os.path.basename(exe))
        self.display = display

    def diag(self, prefix, timeout, start=0):
        """Waits for a diagnostics line starting with prefix; returns (index, text after it)."""
        def match(line):
            at = line.find(DIAG)
            return at >= 0 and line[at + len(DIAG):].startswith(prefix)
        index, line = self.output.wait_for(match, timeout, start, what=f'"{prefix}"')
        return index, line[line.find(DIAG) + len(DIAG) + len(prefix):]

    def diags(self):
        return [l[l.find(DIAG) + len(DIAG):] for l in self.output.lines() if DIAG in l]


class Desktop:
    """xdotool and import against one display."""

    def __init__(self, display):
        self.env = dict(os.environ, DISPLAY=display)

    def run(self, *args, timeout=15):
        done = subprocess.run(args, env=self.env, capture_output=True, timeout=timeout)
        if done.returncode != 0:
            raise RuntimeError(f"{' '.join(args)} failed ({done.returncode}): "
                               f"{done.stderr.decode(errors='replace').strip()}")
        return done.stdout.decode("utf-8", "replace")

    def find_windows(self, name, pid=None, timeout=15):
        """Visible windows whose title contains name (optionally of one process)."""
        deadline = time.monotonic() + timeout
        while True:
            args = ["xdotool", "search", "--all", "--onlyvisible", "--name", re.escape(name)]
            if pid is not None:
                args[2:2] = ["--pid", str(pid)]
            done = subprocess.run(args, env=self.env, capture_output=True, timeout=15)
            ids = [int(x) for x in done.stdout.split()]
            if ids:
                return ids
            if time.monotonic() > deadline:
                raise TimeoutError(f'no visible window named "{name}" within {timeout}s')
            time.sleep(0.2)

    def find_windows_now(self, name):
        done = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", re.escape(name)],
                              env=self.env, capture_output=True, timeout=15)
        return [int(x) for x in done.stdout.split()]

    def window_name(self, window):
        return self.run("xdotool", "getwindowname", str(window)).rstrip("\n")

    def geometry(self, window):
        values = {}
        for line in self.run("xdotool", "getwindowgeometry", "--shell", str(window)).split():
            key, _, value = line.partition("=")
            values[key] = int(value)
        return values["X"], values["Y"], values["WIDTH"], values["HEIGHT"]

    def key(self, *keys):
        self.run("xdotool", "key", *keys)

    def key_to(self, window, *keys):
        """Keys for one window, given the input focus first: a box already mapped may not have
        it yet on a busy machine, and its keys would go to the window under it."""
        self.run("xdotool", "windowfocus", "--sync", str(window))
        self.run("xdotool", "key", *keys)

    def type(self, text):
        self.run("xdotool", "type", "--delay", "20", text)

    def move(self, x, y):
        self.run("xdotool", "mousemove", str(x), str(y))

    def click(self, x, y):
        self.run("xdotool", "mousemove", str(x), str(y), "click", "1")

    def clipboard(self):
        """The text on the desktop's clipboard (the one Ctrl+V pastes)."""
        return self.run("xclip", "-selection", "clipboard", "-o")

    def close(self, window):
        if not os.access(XCLOSE, os.X_OK):
            raise FileNotFoundError(f"{XCLOSE} is not built (scripts/build builds it; TALVO_XCLOSE says where)")
        self.run(XCLOSE, str(window))

    def screenshot(self, window, path):
        try:
            self.run("import", "-window", str(window), "-depth", "8", path, timeout=15)
        except subprocess.TimeoutExpired:
            # import reading a window of a popup showing an inert copy of a written document
            # now and then never returns (Qt 6.8 always); the screen itself can be read, so
            # take the window's rectangle from it, the window raised on top.
            x, y, width, height = self.geometry(window)
            self.run("xdotool", "windowraise", str(window))
            time.sleep(0.5)
            self.run("import", "-window", "root", "-crop", f"{width}x{height}+{x}+{y}", "+repage",
                     "-depth", "8", path, timeout=30)
        return path

    def frame(self, window):
        """The window's outer rectangle (x, y, width, height), frame included, on the screen."""
        info = self.run("xwininfo", "-id", str(window))
        x = int(re.search(r"Absolute upper-left X:\s+(-?\d+)", info).group(1))
        y = int(re.search(r"Absolute upper-left Y:\s+(-?\d+)", info).group(1))
        width = int(re.search(r"\bWidth:\s+(\d+)", info).group(1))
        height = int(re.search(r"\bHeight:\s+(\d+)", info).group(1))
        left, right, top, bottom = self.frame_extents(window)
        return x - left, y - top, width + left + right, height + top + bottom

    def frame_extents(self, window):
        """(left, right, top, bottom) the window manager put around the window; zeros without one."""
        out = self.run("xprop", "-id", str(window), "_NET_FRAME_EXTENTS")
        m = re.search(r"=\s*(\d+),\s*(\d+),\s*(\d+),\s*(\d+)", out)
        return tuple(int(v) for v in m.groups()) if m else (0, 0, 0, 0)




def engine_processes(client_pid, scratch):
    """{pid: "renderer" | "helper"} of one client's engine processes, found by the client's
    private temp folder in their environment. The engine forks render processes from its
    zygote without a new command line, so they are the zygote-typed processes whose parent
    is not the client."""
    mark = b"TMPDIR=" + scratch.encode()
    found = {}
    for entry in os.listdir("/proc"):
        if not entry.isdigit() or int(entry) == client_pid:
            continue
        try:
            with open(f"/proc/{entry}/environ", "rb") as f:
                if mark not in f.read().split(b"\0"):
                    continue
            with open(f"/proc/{entry}/cmdline", "rb") as f:
                args = f.read().split(b"\0")
            with open(f"/proc/{entry}/stat") as f:
                parent = int(f.read().rsplit(")", 1)[1].split()[1])
        except OSError:
            continue
        if b"--type=renderer" in args or (b"--type=zygote" in args and parent != client_pid):
            found[int(entry)] = "renderer"
        elif any(a.startswith(b"--type=") for a in args):
            found[int(entry)] = "helper"
    return found


class Session:
    """One test's world: an X server, a demo server and the clients started in it."""

    def __init__(self, *server_options, server=True, prefix="talvo-e2e-", screen=(1280, 1024),
                 window_manager=False):
        self.scratch = tempfile.mkdtemp(prefix=prefix)
        self.xvfb = None
        self.server = None
        self.wm = None
        self.clients = []
        try:
            self.xvfb = Xvfb(*screen)
            self.desktop = Desktop(self.xvfb.display)
            if window_manager:
                self.wm = WindowManager(self.xvfb.display, self.scratch)
            if server:
                self.server = DemoServer(*server_options)
        except BaseException:
            self.close()
            raise

    def start(self, exe, *args, env=None):
        client = Client(exe, self.xvfb.display, self.scratch, "--server", self.server.address,
                        *args, env=env)
        self.clients.append(client)
        return client

    def close(self):
        for client in reversed(self.clients):
            client.stop()
        if self.server:
            self.server.stop()
        if self.wm:
            self.wm.stop()
        if self.xvfb:
            self.xvfb.stop()
        shutil.rmtree(self.scratch, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
        return False
