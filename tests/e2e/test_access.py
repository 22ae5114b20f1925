"""End-to-end: screen readers reach the web application, and files dropped onto the page.

The screen reader test gives the client a desktop of its own that asks for accessibility the
way a screen reader does (a private session bus, the AT-SPI bus, org.a11y.Status switched on)
and reads the client's windows and the page inside them over AT-SPI with pyatspi. The drop
test drags files onto the upload page over XDND with a small X client of ours.
"""

import json
import os
import select
import signal
import subprocess
import time
import unittest

from harness import REQUEST, Session
from test_browser import MAIN_TITLE, open_tools, shot

UPLOAD = "/ui/common/upload.jsp"
XDND = os.environ.get("TALVO_XDND", "")
SYSTEM_PYTHON = "/usr/bin/python3"
PROBE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "atspi_probe.py")
BUS_LAUNCHER = "/usr/libexec/at-spi-bus-launcher"


def open_upload(s):
    """Signs in, opens the upload page from the features page; returns the client and the
    page's load mark."""
    qv, _ = open_tools(s)
    mark = s.server.mark()
    s.server.push_action("tools", "goto:" + UPLOAD)
    _, load_id = s.server.wait_report("loaded", 30, start=mark)
    return qv, load_id


def requests_since(s, mark):
    return [m.group(2) for m in map(REQUEST.match, s.server.process.output.lines()[mark:]) if m]


def ask_page(s, action, what, timeout=15):
    mark = s.server.mark()
    s.server.push_action("upload", action)
    return s.server.wait_report(what, timeout, start=mark)[1]


class AccessibilityDesktop:
    """A private session bus and AT-SPI bus with accessibility switched on, as a desktop with
    a screen reader running has them. Every process it starts, and whatever those start, is
    ended when it stops: each runs in a process group of its own, and the ones that left it
    are found by a mark in their environment."""

    def __init__(self, scratch, display):
        self.mark = "TALVO_E2E_BUS=" + scratch
        self.groups = []
        home = os.path.join(scratch, "bus-home")
        runtime = os.path.join(scratch, "bus-runtime")
        os.makedirs(home, exist_ok=True)
        os.makedirs(runtime, mode=0o700, exist_ok=True)
        self.env = dict(os.environ, DISPLAY=display, HOME=home, XDG_RUNTIME_DIR=runtime,
                        TALVO_E2E_BUS=scratch)
        try:
            bus = self._start(["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                              stdout=subprocess.PIPE)
            ready, _, _ = select.select([bus.stdout], [], [], 15)
            address = bus.stdout.readline().decode().strip() if ready else ""
            if not address:
                raise RuntimeError("the session bus did not tell its address")
            self.address = address
            self.env["DBUS_SESSION_BUS_ADDRESS"] = address
            self._start([BUS_LAUNCHER, "--launch-immediately"], stdout=subprocess.DEVNULL)
            deadline = time.monotonic() + 20
            while self._send("org.a11y.Bus.GetAddress").returncode != 0:
                if time.monotonic() > deadline:
                    raise RuntimeError("the AT-SPI bus did not come up")
                time.sleep(0.1)
            # What Orca does when it starts.
            for name in ("IsEnabled", "ScreenReaderEnabled"):
                done = self._send("org.freedesktop.DBus.Properties.Set", "string:org.a11y.Status",
                                  "string:" + name, "variant:boolean:true")
                if done.returncode != 0:
                    raise RuntimeError(f"cannot switch {name} on: {done.stderr.decode()}")
        except BaseException:
            self.stop()
            raise

    def _start(self, args, stdout):
        process = subprocess.Popen(args, env=self.env, stdin=subprocess.DEVNULL, stdout=stdout,
                                   stderr=subprocess.DEVNULL, start_new_session=True)
        self.groups.append(process)
        return process

    def _send(self, method, *args):
        return subprocess.run(["dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus",
                               "/org/a11y/bus", method, *args],
                              env=self.env, capture_output=True, timeout=15)

    def _marked(self):
        mark = self.mark.encode()
        found = []
        for entry in os.listdir("/proc"):
            if not entry.isdigit():
                continue
            try:
                with open(f"/proc/{entry}/environ", "rb") as f:
                    if mark in f.read().split(b"\0"):
                        found.append(int(entry))
            except OSError:
                continue
        return found

    def stop(self):
        for process in reversed(self.groups):
            if process.poll() is None:
                try:
                    os.killpg(process.pid, signal.SIGTERM)
                except ProcessLookupError:
                    pass
                try:
                    process.wait(10)
                except subprocess.TimeoutExpired:
                    os.killpg(process.pid, signal.SIGKILL)
                    process.wait(10)
            if process.stdout:
                process.stdout.close()
        for pid in self._marked():
            try:
                os.kill(pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
        self.groups = []


def read_tree(pid, env, timeout=60, until=lambda tree: True):
    """Runs the probe until until(tree) holds or the time is up; returns the last tree."""
    deadline = time.monotonic() + timeout
    while True:
        done = subprocess.run([SYSTEM_PYTHON, PROBE, str(pid)], env=env, capture_output=True,
                              timeout=60)
        if done.returncode != 0:
            raise RuntimeError("the AT-SPI probe failed: " + done.stderr.decode(errors="replace"))
        tree = json.loads(done.stdout)
        if until(tree) or time.monotonic() > deadline:
            return tree
        time.sleep(1)


# AT-SPI 2.46 (Debian 12) names a button's role "push button", 2.56 (Debian 13) "button".
BUTTON = ("push button", "button")


def find(tree, role, name):
    roles = role if isinstance(role, tuple) else (role,)
    return [n for n in tree["nodes"] if n[1] in roles and n[2] == name]


class ScreenReader(unittest.TestCase):
    def test_windows_and_page_content_reach_a_screen_reader(self):
        if not os.access(SYSTEM_PYTHON, os.X_OK) or subprocess.run(
                [SYSTEM_PYTHON, "-c", "import pyatspi"], capture_output=True).returncode != 0:
            self.fail("python3-pyatspi is not installed (scripts/install-deps installs it)")
        # The client must find accessibility on by itself, from the desktop's bus alone.
        for name in ("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "QTWEBENGINE_ENABLE_LINUX_ACCESSIBILITY"):
            os.environ.pop(name, None)
        with Session("--auto-sign-in") as s:
            desktop = AccessibilityDesktop(s.scratch, s.xvfb.display)
            try:
                qv = s.start("talvo-qv", env={"DBUS_SESSION_BUS_ADDRESS": desktop.address})
                qv.diag("main window shown", 60)
                qv.diag("page command: LOGINOK", 40)
                mark = s.server.mark()
                s.server.push_action("home", "goto:" + UPLOAD)
                s.server.wait_report("loaded", 30, start=mark)
                main = s.desktop.find_windows(MAIN_TITLE, pid=qv.pid)[0]
                title = s.desktop.window_name(main)

                def complete(tree):
                    return (find(tree, "heading", "上传附件") and find(tree, BUTTON, "保存")
                            and [n for n in tree["nodes"] if n[2] == "客户名称"
                                 and n[1] in ("entry", "text")])

                tree = read_tree(qv.pid, desktop.env, until=complete)
                shot(s, main, "screen-reader-upload")
                listing = "\n".join(f"{'  ' * d}{r}: {n}" for d, r, n in tree["nodes"][:300])
                self.assertEqual(tree["application"], "Talvo", listing)
                # The main window is named by its caption, as the desktop shows it, and the
                # status line reads as it shows (cut short with "…" when it is long).
                self.assertIn(title, [name for _, name in tree["windows"]], listing)
                _, status = qv.diag("main window status: ", 5)
                bars = [n[2] for n in tree["nodes"] if n[1] == "status bar"]
                self.assertTrue(bars, listing)
                self.assertTrue(bars[0] == status or (bars[0].endswith("…")
                                                      and status.startswith(bars[0][:-1])),
                                (bars[0], status))
                # The page's own structure, with the names the page gives it.
                self.assertTrue(find(tree, "heading", "上传附件"), listing)
                self.assertTrue(find(tree, BUTTON, "保存"), listing)
                fields = [n for n in tree["nodes"] if n[2] == "客户名称" and n[1] in ("entry", "text")]
                self.assertTrue(fields, listing)
                self.assertTrue(qv.running())
            finally:
                s.close()
                desktop.stop()
            self.assertEqual(desktop._marked(), [])


class FileDrops(unittest.TestCase):
    def drag(self, s, x, y, path):
        done = subprocess.run([XDND, str(x), str(y), path], env=s.desktop.env,
                              capture_output=True, timeout=60)
        return done.returncode, done.stdout.decode(errors="replace")

    def test_drops_reach_the_zone_and_the_file_input_and_nothing_else(self):
        if not XDND:
            self.fail("TALVO_XDND is not set")
        with Session("--auto-sign-in") as s:
            plan = os.path.join(s.scratch, "plan.txt")
            with open(plan, "wb") as f:
                f.write(b"q3 visits\n" * 7)
            size = os.path.getsize(plan)
            qv, load_id = open_upload(s)
            main = s.desktop.find_windows(MAIN_TITLE, pid=qv.pid)[0]
            s.desktop.run("xdotool", "windowraise", str(main))
            wx, wy, width, height = s.desktop.geometry(main)

            # Where the page sits on the screen: a click on a blank spot, and where the page saw it.
            mark = s.server.mark()
            s.desktop.click(wx + 500, wy + 680)
            _, seen = s.server.wait_report("click", 15, start=mark)
            cx, cy = (int(v) for v in seen.split(","))
            ox, oy = wx + 500 - cx, wy + 680 - cy

            def centre(element_id):
                left, top, w, h = (int(v) for v in ask_page(s, "where:" + element_id, "where").split(","))
                return ox + left + w // 2, oy + top + h // 2, ox + left + w

            # Half a form filled in by hand.
            s.server.push_action("upload", "focus:customer-name")
            time.sleep(0.5)
            s.desktop.type("Huaxin order 42")
            self.assertEqual(ask_page(s, "field", "field"), load_id + ":Huaxin order 42")

            # Onto the zone: the page reads the file.
            zx, zy, zone_right = centre("drop-zone")
            mark = s.server.mark()
            code, out = self.drag(s, zx, zy, plan)
            self.assertEqual(code, 0, out)
            self.assertIn("status accepted=1", out)
            self.assertIn("finished accepted=1", out)
            _, dropped = s.server.wait_report("dropped", 15, start=mark)
            self.assertEqual(dropped, f"plan.txt({size})")
            time.sleep(0.5)
            shot(s, main, "upload-drop-on-zone")

            # Beside the zone, on the page's background: nothing happens, the page stays.
            bx, by = min(zone_right + 150, wx + width - 40), zy
            mark = s.server.mark()
            at = len(qv.output.lines())
            code, out = self.drag(s, bx, by, plan)
            # The engine takes the drag over the whole page (it decides later what a drop
            # means), so the handshake ends either way; what counts is that the page stays.
            self.assertEqual(code, 0, out)
            self.assertIn("requests=", out)
            time.sleep(2)
            self.assertEqual(ask_page(s, "field", "field"), load_id + ":Huaxin order 42")
            after = requests_since(s, mark)
            self.assertFalse([t for t in after if t.split("?", 1)[0] == UPLOAD], after)
            self.assertFalse([t for t in after if "what=dropped" in t], after)
            self.assertFalse([d for d in qv.diags()[at:] if "file:" in d], qv.diags()[at:])
            self.assertFalse([l for l in qv.output.lines()[at:] if "file://" in l])
            shot(s, main, "upload-drop-beside")

            # Onto the file input: it takes the file as if it had been chosen.
            fx, fy, _ = centre("attach")
            mark = s.server.mark()
            code, out = self.drag(s, fx, fy, plan)
            self.assertEqual(code, 0, out)
            _, attached = s.server.wait_report("attach", 15, start=mark)
            self.assertEqual(attached, f"plan.txt({size})")
            self.assertEqual(ask_page(s, "field", "field"), load_id + ":Huaxin order 42")
            self.assertTrue(qv.running())


if __name__ == "__main__":
    unittest.main()
