"""End-to-end: only the application is the application.

The demo server answers under a second host name (localhost instead of 127.0.0.1), which
makes it another site: its pages play the third-party frame, the foreign site a link or a
redirect leads to, and their titles try to command the client. The application's own pages
try what careless pages do: a burst of windows from one key press, a print view that closes
itself, an alert loop.
"""

import os
import stat
import time
import unittest

from harness import Session
from test_browser import DIALOG_CAPTION, MAIN_TITLE, TOOLS, focus_page, open_page, shot

TRUST = "/ui/common/trust.jsp"


def fake_system_browser(s):
    """An xdg-open first on PATH that notes each address it is given, and whether our
    engine's variables came along; returns the client's environment and the notes' path."""
    folder = os.path.join(s.scratch, "fake-bin")
    os.makedirs(folder, exist_ok=True)
    notes = os.path.join(s.scratch, "system-browser.log")
    script = os.path.join(folder, "xdg-open")
    with open(script, "w") as f:
        f.write("#!/bin/sh\n"
                f"printf '%s engine-variables=%s\\n' \"$1\" \"$(env | grep -c '^QTWEBENGINE_')\" >> '{notes}'\n")
    os.chmod(script, os.stat(script).st_mode | stat.S_IXUSR)
    return {"PATH": folder + os.pathsep + os.environ.get("PATH", "")}, notes


def handed_over(notes):
    try:
        with open(notes) as f:
            return [line.rstrip("\n") for line in f]
    except FileNotFoundError:
        return []


def open_trust(s, env=None):
    """Signs in, keeps a remembered cookie of the application's, opens the trust page."""
    qv, _, _ = open_page(s, TOOLS, env=env)
    mark = s.server.mark()
    s.server.push_action("tools", "remember")
    _, loaded = s.server.wait_report("loaded", 20, start=mark)
    assert "remember=r1" in loaded, loaded
    mark = s.server.mark()
    s.server.push_action("tools", "goto:" + TRUST)
    s.server.wait_report("loaded", 20, start=mark)
    # The frame's own try at a window comes as it loads: a press before that would be
    # spent by it (the engine takes a page's gesture back when any frame opens a window).
    s.server.wait_report("frame-popup", 20, start=mark)
    return qv


def other_site(s):
    return "http://localhost:" + s.server.address.split(":")[1]


def count(qv, prefix, start=0):
    return sum(1 for line in qv.diags()[start:] if line.startswith(prefix))


class ForeignFrame(unittest.TestCase):
    def test_written_popup_keeps_the_frames_origin(self):
        with Session("--auto-sign-in") as s:
            qv = open_trust(s)
            other = other_site(s)
            # On load, without a gesture, the frame gets no window at all.
            qv.diag("popup blocked (no user gesture): about:blank", 20)
            self.assertEqual(count(qv, "popup opened: "), 0)

            # A click into the frame: its window runs as the frame's site, never as ours.
            window = s.desktop.find_windows(MAIN_TITLE, pid=qv.pid)[0]
            x, y, _, _ = s.desktop.geometry(window)
            mark = s.server.mark()
            at = len(qv.output.lines())
            s.desktop.click(x + 150, y + 140)
            _, seen = s.server.wait_report("frame-popup", 20, start=mark)
            self.assertTrue(seen.startswith("click:origin=" + other + ";"), seen)
            self.assertNotIn("remember=", seen)
            self.assertNotIn("visit=", seen)
            qv.diag("popup of another site closed: " + other, 20, at)
            time.sleep(1)
            self.assertEqual(s.desktop.find_windows_now("合作伙伴窗口"), [])
            # Nothing of the frame reached the application's site with its cookies.
            for cookies in s.server.cookies("/site/frame"):
                self.assertNotIn("remember=", cookies)
            self.assertTrue(qv.running())


class WrittenPopup(unittest.TestCase):
    def test_large_written_view_runs_its_script_once_and_shows(self):
        with Session("--auto-sign-in") as s:
            qv = open_trust(s)
            focus_page(s, qv)
            mark = s.server.mark()
            at = len(qv.output.lines())
            s.server.push_action("trust", "bigview")
            _, size = s.server.wait_report("bigview", 30, start=mark)
            self.assertGreater(int(size), 2 << 20)   # past what a data: address could carry
            _, origin = s.server.wait_report("written-script", 20, start=mark)
            self.assertEqual(origin, s.server.url)
            view = s.desktop.find_windows("打印视图 - 全部订单", pid=qv.pid, timeout=20)[0]
            qv.diag("popup document copied: ", 30, at)
            # Three million characters take the engine a while to lay out.
            deadline = time.monotonic() + 40
            while True:
                time.sleep(2)
                try:
                    shot(s, view, "written-popup-large")
                    break
                except AssertionError:
                    if time.monotonic() > deadline:
                        raise
            # Its script ran in the written page alone, never again in what the window shows.
            ran = [l for l in s.server.process.output.lines()[mark:]
                   if l.startswith("GET /demo/report?what=written-script")]
            self.assertEqual(len(ran), 1, ran)
            self.assertTrue(qv.running())


class ForeignNavigation(unittest.TestCase):
    def test_other_sites_go_to_the_system_browser_and_never_command(self):
        with Session("--auto-sign-in") as s:
            env, notes = fake_system_browser(s)
            qv = open_trust(s, env)
            other = other_site(s)
            main = s.desktop.find_windows(MAIN_TITLE, pid=qv.pid)[0]

            # A link the user follows: the system browser gets it, the page stays.
            focus_page(s, qv)
            at = len(qv.output.lines())
            s.server.push_action("trust", "click:foreign-link")
            _, handed = qv.diag("navigation to another site: ", 20, at)
            self.assertEqual(handed, other + "/site/foreign?via=link")

            # A script navigation after a gesture, and one without.
            time.sleep(1.1)
            focus_page(s, qv)
            at = len(qv.output.lines())
            s.server.push_action("trust", "goto:" + other + "/site/foreign?via=script")
            _, handed = qv.diag("navigation to another site: ", 20, at)
            self.assertEqual(handed, other + "/site/foreign?via=script")
            time.sleep(1.1)
            at = len(qv.output.lines())
            s.server.push_action("trust", "goto:" + other + "/site/foreign?via=script-again")
            qv.diag("popup blocked (no user gesture): " + other + "/site/foreign?via=script-again", 20, at)
            self.assertNotIn("/site/foreign?via=link", [t for t in s.server.requests()])
            self.assertFalse(any(t.startswith("/site/foreign?via=script") for t in s.server.requests()))
            # The system browser got both, without our engine's variables.
            deadline = time.monotonic() + 10
            while len(handed_over(notes)) < 2 and time.monotonic() < deadline:
                time.sleep(0.1)
            self.assertEqual(handed_over(notes),
                             [other + "/site/foreign?via=link engine-variables=0",
                              other + "/site/foreign?via=script engine-variables=0"])

            # A redirect inside the application's navigation is followed; the status line
            # names the other site, and its VB:EXITOK title commands nothing.
            mark = s.server.mark()
            at = len(qv.output.lines())
            s.server.push_action("trust", "click:foreign-redirect")
            s.server.wait_request(lambda t: t == "/site/foreign?via=redirect", 20, "the redirect", start=mark)
            qv.diag("main window shows another site: localhost", 20, at)
            s.server.wait_report("foreign-title", 20, start=mark)
            qv.diag("page title ignored: another site localhost", 20, at)
            time.sleep(1)
            self.assertTrue(qv.running(), "a foreign page's title ended the client")
            self.assertNotIn("page command: EXITOK", "\n".join(qv.diags()))
            shot(s, main, "foreign-site-status")

            # Back to the application: its pages command again.
            at = len(qv.output.lines())
            s.server.push_action("foreign", "goto:" + s.server.url + TRUST)
            qv.diag("page title: Zentarro 客户营销管理 - 外部内容", 20, at)
            s.server.push_title("VB:EXITOK")
            self.assertEqual(qv.wait_exit(30), 0)


class PopupBurst(unittest.TestCase):
    def test_one_window_per_key_press(self):
        with Session("--auto-sign-in") as s:
            env, notes = fake_system_browser(s)
            qv = open_trust(s, env)
            main = s.desktop.find_windows(MAIN_TITLE, pid=qv.pid)[0]
            for burst, opened in (("foreign", "main window popup: "), ("own", "popup opened: ")):
                mark = s.server.mark()
                s.server.push_action("trust", "arm:" + burst)
                s.server.wait_report("armed", 20, start=mark)
                focus_page(s, qv)
                at = len(qv.diags())
                s.desktop.key("F2")
                s.server.wait_report("burst", 20, start=mark)
                time.sleep(2)
                self.assertEqual(count(qv, opened, at), 1, burst)
                self.assertGreater(count(qv, "popup blocked", at), 0, burst)
                if burst == "foreign":
                    shot(s, main, "popup-blocked-status")
                time.sleep(1.1)
            self.assertEqual(len(s.desktop.find_windows("客户详情", pid=qv.pid)), 1)
            self.assertEqual(len(handed_over(notes)), 1, handed_over(notes))
            self.assertTrue(qv.running())


class PrintThenClose(unittest.TestCase):
    def test_print_view_that_closes_itself_waits_for_the_preview(self):
        with Session("--auto-sign-in") as s:
            qv = open_trust(s)
            focus_page(s, qv)
            at = len(qv.output.lines())
            s.server.push_action("trust", "printclose")
            qv.diag("popup opened: ", 20, at)
            qv.diag("print preview opened", 20, at)
            qv.diag("popup close waits for its dialog", 20, at)
            time.sleep(1.5)
            self.assertTrue(qv.running(), "the client died under the print preview")
            preview = s.desktop.find_windows("打印预览", pid=qv.pid, timeout=10)[0]
            self.assertTrue(s.desktop.find_windows("订单 - 打印", pid=qv.pid, timeout=10))
            qv.diag("print rendered", 30, at)
            shot(s, preview, "print-then-close")
            s.desktop.run("xdotool", "windowraise", str(preview))
            s.desktop.key("Escape")
            qv.diag("print preview closed", 10, at)
            qv.diag("popup closed by its page", 10, at)
            deadline = time.monotonic() + 10
            while s.desktop.find_windows_now("订单 - 打印") and time.monotonic() < deadline:
                time.sleep(0.2)
            self.assertEqual(s.desktop.find_windows_now("订单 - 打印"), [])
            self.assertTrue(qv.running())


class DialogLoop(unittest.TestCase):
    def test_alert_loop_ended_from_our_box(self):
        with Session("--auto-sign-in") as s:
            qv = open_trust(s)
            mark = s.server.mark()
            at = len(qv.diags())
            s.server.push_action("trust", "alertloop")
            for n in range(1, 4):
                s.desktop.find_windows(DIALOG_CAPTION, pid=qv.pid, timeout=20)
                qv.diag(f"page dialog: alert 第 {n} 条提示", 10)
                s.desktop.key("Return")
            box = s.desktop.find_windows(DIALOG_CAPTION, pid=qv.pid, timeout=20)[0]
            qv.diag("page dialog: alert 第 4 条提示", 10)
            time.sleep(0.5)
            shot(s, box, "dialog-suppression")
            # The offer is a check box under the text: Tab reaches it, space ticks it.
            s.desktop.key("shift+Tab", "space", "Return")
            self.assertEqual(s.server.wait_report("alertloop", 20, start=mark)[1], "done")
            qv.diag("page dialogs stopped for this page", 10)
            self.assertEqual(count(qv, "page dialog: alert", at), 4)
            self.assertGreater(count(qv, "page dialog suppressed", at), 20)
            self.assertTrue(qv.running())


if __name__ == "__main__":
    unittest.main()
