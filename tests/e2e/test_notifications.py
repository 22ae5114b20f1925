"""End-to-end: the application's notifications on a real desktop notification service.

dunst runs on a private session bus and the client is given that bus; dunstctl reads the
daemon's history and invokes a notification's default action as a click on it would.
"""

import json
import os
import re
import shutil
import subprocess
import time
import unittest

from harness import Process, Session
from test_browser import MAIN_TITLE, open_page
from test_client import START_TIMEOUT
from test_trust import other_site

CHAT = "/ui/common/chat.jsp"
TITLE = "新客户消息"
OTHER_PROGRAM = "talvo-e2e-other-program"


class PrivateBus:
    """A session bus of the test's own, and dunst on it and on the test's display."""

    def __init__(self, s, with_dunst=True):
        for tool in ("dbus-daemon", "dunst", "dunstctl"):
            if not shutil.which(tool):
                raise unittest.SkipTest(f"{tool} is not installed (scripts/install-deps installs it)")
        done = subprocess.run(["dbus-daemon", "--session", "--fork", "--print-address=1", "--print-pid=1"],
                              capture_output=True, timeout=15, check=True)
        address, pid = done.stdout.decode().split("\n")[:2]
        self.address = address.strip()
        self.pid = int(pid)
        self.env = {"DBUS_SESSION_BUS_ADDRESS": self.address}
        self.dunst = None
        if with_dunst:
            config = os.path.join(s.scratch, "dunst")
            os.makedirs(config, exist_ok=True)
            rc = os.path.join(config, "dunstrc")
            with open(rc, "w") as f:
                # Notifications stay until something closes them, so the test sees them.
                f.write("[global]\n    font = Noto Sans CJK SC 11\n    geometry = \"360x5-20+20\"\n"
                        "    width = 360\n    origin = top-right\n    offset = 20x20\n"
                        "[urgency_low]\n    timeout = 0\n[urgency_normal]\n    timeout = 0\n"
                        "[urgency_critical]\n    timeout = 0\n")
            env = dict(os.environ, DISPLAY=s.xvfb.display, HOME=s.scratch, **self.env)
            self.dunst = Process(["dunst", "-config", rc], env=env, name="dunst")
            deadline = time.monotonic() + 15
            while self.ctl("is-paused", check=False) is None:
                if time.monotonic() > deadline or not self.dunst.running():
                    raise RuntimeError("dunst did not take the notification service: " +
                                       "\n".join(self.dunst.output.lines()[-20:]))
                time.sleep(0.2)

    def ctl(self, *args, check=True):
        done = subprocess.run(["dunstctl", *args], env=dict(os.environ, **self.env),
                              capture_output=True, timeout=15)
        if done.returncode != 0:
            if check:
                raise RuntimeError(f"dunstctl {' '.join(args)}: {done.stderr.decode(errors='replace')}")
            return None
        return done.stdout.decode("utf-8", "replace")

    def displayed(self):
        return int(self.ctl("count", "displayed").strip())

    def history(self):
        """(summary, body, appname) of the notifications dunst has closed, newest first."""
        data = json.loads(self.ctl("history"))
        out = []
        for entry in data["data"][0]:
            out.append((entry["summary"]["data"], entry["body"]["data"], entry["appname"]["data"]))
        return out

    def stop(self):
        if self.dunst:
            self.dunst.stop()
        try:
            os.kill(self.pid, 15)
        except ProcessLookupError:
            pass


def until(predicate, timeout, what):
    deadline = time.monotonic() + timeout
    while not predicate():
        if time.monotonic() > deadline:
            raise TimeoutError(what)
        time.sleep(0.2)


def open_chat(s, env):
    qv, mark, _ = open_page(s, CHAT, env=env)
    _, answer = s.server.wait_report("notification-permission", 20, start=mark)
    return qv, answer


def active_window(s):
    return int(s.desktop.run("xdotool", "getactivewindow").strip())


def other_window(s):
    """A small window of another program, made the active one."""
    proc = Process(["xmessage", "-title", OTHER_PROGRAM, "-geometry", "+900+700", "another program"],
                   env=dict(os.environ, DISPLAY=s.xvfb.display), name="xmessage")
    # xmessage names no pid on its window: its title is ours alone.
    window = s.desktop.find_windows(OTHER_PROGRAM, timeout=15)[0]
    s.desktop.run("xdotool", "windowactivate", "--sync", str(window))
    until(lambda: active_window(s) == window, 10, "xmessage did not become active")
    # The window manager has switched; give the client the moment it takes to hear of it.
    time.sleep(1)
    return proc, window


def wants_attention(s, window):
    out = s.desktop.run("xprop", "-id", str(window), "_NET_WM_STATE", "WM_HINTS")
    return "_NET_WM_STATE_DEMANDS_ATTENTION" in out or "urgency hint bit is set" in out.lower()


class Notifications(unittest.TestCase):
    def test_shown_replaced_clicked_closed_and_other_sites_refused(self):
        with Session("--auto-sign-in", window_manager=True) as s:
            bus = PrivateBus(s)
            xmessage = None
            try:
                qv, answer = open_chat(s, bus.env)
                self.assertEqual(answer, "granted")
                qv.diag("permission granted: notifications for " + s.server.url, 5)
                main = s.desktop.find_windows(MAIN_TITLE, pid=qv.pid)[0]

                # Another program is active: the notification shows and our window asks for attention.
                xmessage, other = other_window(s)
                mark = s.server.mark()
                s.server.push_action("chat", "notify:第一条消息")
                _, shown = qv.diag("notification shown: ", 20)
                self.assertEqual(shown, TITLE)
                s.server.wait_report("notification-show", 10, start=mark)
                until(lambda: bus.displayed() == 1, 10, "dunst shows no notification")
                until(lambda: wants_attention(s, main), 10, "the main window asks for no attention")
                time.sleep(1)
                path = os.path.join(os.environ.get("TALVO_E2E_SHOTS", s.scratch), "notification.png")
                os.makedirs(os.path.dirname(path), exist_ok=True)
                s.desktop.run("import", "-window", "root", path, timeout=30)

                # The same tag replaces it in place.
                at = len(qv.output.lines())
                mark = s.server.mark()
                s.server.push_action("chat", "notify:第二条消息")
                _, tag = qv.diag("notification replaced: ", 20, at)
                self.assertEqual(tag, "chat-42")
                s.server.wait_report("notification-show", 10, start=mark)
                time.sleep(0.5)
                self.assertEqual(bus.displayed(), 1)

                # dunst's own default action is the click: the page's onclick runs, our window
                # comes forward and is the active one.
                at = len(qv.output.lines())
                mark = s.server.mark()
                bus.ctl("action", "0")
                qv.diag("notification clicked", 10, at)
                _, clicked = s.server.wait_report("notification-click", 10, start=mark)
                self.assertTrue(clicked.startswith("第二条消息"), clicked)
                until(lambda: active_window(s) == main, 10, "the main window was not activated")
                until(lambda: not wants_attention(s, main), 10, "the attention request stayed")
                # The click closes it on the desktop; the page hears it is over.
                s.server.wait_report("notification-close", 10, start=mark)
                until(lambda: bus.displayed() == 0, 10, "the clicked notification stayed")
                summary, body, app = bus.history()[0]
                self.assertEqual((summary, body, app), (TITLE, "张先生：第二条消息", "Talvo"))
                self.assertNotIn("张先生：第一条消息", [b for _, b, _ in bus.history()])

                # The page's close() withdraws it.
                at = len(qv.output.lines())
                mark = s.server.mark()
                s.server.push_action("chat", "notify:第三条消息")
                qv.diag("notification shown: ", 20, at)
                until(lambda: bus.displayed() == 1, 10, "the third notification is not shown")
                s.server.push_action("chat", "close")
                qv.diag("notification closed by the page", 10, at)
                until(lambda: bus.displayed() == 0, 10, "close() left the notification on the desktop")
                self.assertEqual(bus.history()[0][1], "张先生：第三条消息")

                # The same page of another site (reached by a server's redirect) is refused.
                other = other_site(s)
                at = len(qv.output.lines())
                mark = s.server.mark()
                s.server.push_action("chat", "goto:/demo/redirect?to=" + other + CHAT)
                _, loaded = s.server.wait_report("loaded", 20, start=mark)
                self.assertTrue(loaded.startswith(other), loaded)
                _, answer = s.server.wait_report("notification-permission", 20, start=mark)
                self.assertEqual(answer, "denied")
                qv.diag("permission denied: notifications for " + other, 5, at)
                s.server.push_action("chat", "notify:外站消息")
                _, error = s.server.wait_report("notification-error", 10, start=mark)
                self.assertEqual(error, "外站消息;permission=denied")
                time.sleep(0.5)
                self.assertEqual(bus.displayed(), 0)
                self.assertFalse([l for l in qv.diags()[at:] if l.startswith("notification shown")])
                self.assertTrue(qv.running())
            finally:
                if xmessage:
                    xmessage.stop()
                bus.stop()

    def test_without_a_notification_service_the_page_gets_its_error(self):
        with Session("--auto-sign-in") as s:
            # A session bus nobody listens on.
            env = {"DBUS_SESSION_BUS_ADDRESS": "unix:path=" + os.path.join(s.scratch, "no-bus")}
            started = time.monotonic()
            qv, answer = open_chat(s, env)
            self.assertEqual(answer, "denied")
            qv.diag("permission denied: notifications (no service) for " + s.server.url, 5)
            mark = s.server.mark()
            s.server.push_action("chat", "notify:没有通知服务")
            _, error = s.server.wait_report("notification-error", 10, start=mark)
            self.assertEqual(error, "没有通知服务;permission=denied")
            # Still answering: the page's next action runs at once.
            mark = s.server.mark()
            s.server.push_action("chat", "close")
            s.server.wait_report("notification-closing", 5, start=mark)
            self.assertTrue(qv.running())
            self.assertLess(time.monotonic() - started, START_TIMEOUT + 60)


class ChatAttention(unittest.TestCase):
    def test_chat_command_asks_for_attention_until_activated(self):
        with Session("--auto-sign-in", window_manager=True) as s:
            qv = s.start("talvo-qv")
            qv.diag("main window shown", START_TIMEOUT)
            at, _ = qv.diag("page command: LOGINOK", 40)
            qv.diag("document title reset", 10, at)
            main = s.desktop.find_windows(MAIN_TITLE, pid=qv.pid)[0]
            xmessage, _ = other_window(s)
            try:
                self.assertFalse(wants_attention(s, main))
                s.server.push_title("VB:CHAT|42")
                at, _ = qv.diag("chat flag set", 20)
                qv.diag("window asks for attention: chat", 5, at)
                until(lambda: wants_attention(s, main), 10, "no urgency on the main window")
                s.desktop.run("xdotool", "windowactivate", "--sync", str(main))
                until(lambda: not wants_attention(s, main), 10, "urgency stayed after activation")

                # Once it is a chat, later commands ask again while another window is active.
                other = xmessage_window(s, xmessage)
                s.desktop.run("xdotool", "windowactivate", "--sync", str(other))
                until(lambda: active_window(s) == other, 10, "xmessage did not become active again")
                time.sleep(1)
                s.server.push_title("VB:IMPPHONE")
                at, _ = qv.diag("page command: IMPPHONE", 20, at)
                qv.diag("window asks for attention: chat", 5, at)
                until(lambda: wants_attention(s, main), 10, "no urgency for a later command")
            finally:
                xmessage.stop()


def xmessage_window(s, proc):
    return s.desktop.find_windows(OTHER_PROGRAM, timeout=5)[0]


if __name__ == "__main__":
    unittest.main()
