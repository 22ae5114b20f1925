"""End-to-end: the embedded browser as a place to work, against the demo web application.

Each test signs in through the demo pages, opens the browser features page and drives it
through the demo server's action queue, then checks what the pages report back, what the
server saw and what the windows show. Screenshots go to TALVO_E2E_SHOTS when it is set.
"""

import os
import shutil
import time
import unittest

from harness import Session
from test_client import START_TIMEOUT, read_ppm

DIALOG_CAPTION = "来自网页的消息"
TOOLS = "/ui/common/tools.jsp"
MAIN_TITLE = "Alderan"


def path_of(target):
    return target.split("?", 1)[0]


def shot(s, window, name, timeout=15):
    """A screenshot of window, kept in TALVO_E2E_SHOTS when set; checks it is not blank
    (a window still being drawn on a busy machine gets until timeout to show something)."""
    deadline = time.monotonic() + timeout
    while True:
        path = s.desktop.screenshot(window, os.path.join(s.scratch, name + ".ppm"))
        width, height, raw = read_ppm(path)
        drawn = width > 50 and height > 50 and len(set(raw[::97])) > 4
        if drawn or time.monotonic() > deadline:
            break
        time.sleep(0.5)
    assert drawn, f"{name}: blank screenshot"
    keep = os.environ.get("TALVO_E2E_SHOTS")
    if keep:
        os.makedirs(keep, exist_ok=True)
        s.desktop.run("convert", path, os.path.join(keep, name + ".png"))
    return path


def open_page(s, path, *args, env=None):
    """Starts talvo-qv, lets the demo sign in and opens the demo page at path; returns the
    client, the server's log position before the page was asked for, and what the page
    reported on loading."""
    qv = s.start("talvo-qv", *args, env=env)
    qv.diag("main window shown", START_TIMEOUT)
    qv.diag("page command: LOGINOK", 40)
    mark = s.server.mark()
    s.server.push_action("home", "goto:" + path)
    _, loaded = s.server.wait_report("loaded", 30, start=mark)
    return qv, mark, loaded


def open_tools(s, *args):
    """The features page; returns the client and what the page reported on loading."""
    qv, _, loaded = open_page(s, TOOLS, *args)
    return qv, loaded


def focus_page(s, qv):
    """Puts the keyboard focus into the main window's page (a click on a blank spot). The
    click is also the user gesture that lets the page open one window."""
    window = s.desktop.find_windows(MAIN_TITLE, pid=qv.pid)[0]
    s.desktop.run("xdotool", "windowraise", str(window))
    x, y, _, _ = s.desktop.geometry(window)
    s.desktop.click(x + 500, y + 680)
    time.sleep(0.3)
    return window


class PageDialogs(unittest.TestCase):
    def test_alert_confirm_prompt_answers_reach_the_page(self):
        with Session("--auto-sign-in") as s:
            qv, _ = open_tools(s)

            mark = s.server.mark()
            s.server.push_action("tools", "alert")
            box = s.desktop.find_windows(DIALOG_CAPTION, pid=qv.pid, timeout=20)[0]
            self.assertEqual(s.desktop.window_name(box), DIALOG_CAPTION)
            shot(s, box, "page-dialog-alert")
            shot(s, "root", "page-dialog-alert-desktop")
            qv.diag("page dialog: alert 保存成功", 5)
            s.desktop.key("Return")
            self.assertEqual(s.server.wait_report("alert", 10, start=mark)[1], "closed")

            for key, answer in (("Return", "true"), ("Escape", "false")):
                mark = s.server.mark()
                s.server.push_action("tools", "confirm")
                s.desktop.find_windows(DIALOG_CAPTION, pid=qv.pid, timeout=20)
                qv.diag("page dialog: confirm 确定要删除吗？", 5)
                s.desktop.key(key)
                self.assertEqual(s.server.wait_report("confirm", 10, start=mark)[1], answer)

            mark = s.server.mark()
            s.server.push_action("tools", "prompt")
            box = s.desktop.find_windows(DIALOG_CAPTION, pid=qv.pid, timeout=20)[0]
            shot(s, box, "page-dialog-prompt")
            s.desktop.key("ctrl+a")
            s.desktop.type("Acme 42")
            s.desktop.key("Return")
            self.assertEqual(s.server.wait_report("prompt", 10, start=mark)[1], "text:Acme 42")

            mark = s.server.mark()
            s.server.push_action("tools", "prompt")
            s.desktop.find_windows(DIALOG_CAPTION, pid=qv.pid, timeout=20)
            s.desktop.key("Escape")
            self.assertEqual(s.server.wait_report("prompt", 10, start=mark)[1], "null")
            self.assertTrue(qv.running())


class Popups(unittest.TestCase):
    def test_same_site_popups_share_the_session_and_close(self):
        with Session("--auto-sign-in") as s:
            qv, _ = open_tools(s)
            mark = s.server.mark()
            s.server.push_action("tools", "remember")
            s.server.wait_report("loaded", 20, start=mark)

            # window.open with a size: our own window, the session cookie goes along. Each
            # window a page opens follows a click of the user's.
            focus_page(s, qv)
            mark = s.server.mark()
            s.server.push_action("tools", "popup:7")
            at, opened = qv.diag("popup opened: ", 20)
            self.assertIn("/ui/common/customer.jsp?id=7", opened)
            s.server.wait_request(lambda t: t == "/ui/common/customer.jsp?id=7", 20,
                                  "the customer page", start=mark)
            _, cookies = s.server.process.output.wait_for(
                lambda l: l.startswith("COOKIE /ui/common/customer.jsp "), 10, start=mark,
                what="the customer page's cookies")
            self.assertIn("remember=r1", cookies)
            self.assertIn("visit=v1", cookies)
            title = "客户详情 - 北京华信科技有限公司"
            popup = s.desktop.find_windows(title, pid=qv.pid, timeout=20)[0]
            self.assertEqual(s.desktop.window_name(popup), title)
            _, _, width, height = s.desktop.geometry(popup)
            self.assertEqual(width, 640)
            self.assertGreater(height, 480)   # the page's 480 plus the status line
            self.assertLess(height, 540)
            time.sleep(1)
            shot(s, popup, "popup-window")

            # A popup's title never reaches the command bridge.
            s.server.push_action("customer", "title:VB:EXITOK")
            qv.diag("popup title: VB:EXITOK", 10, at)
            time.sleep(1)
            self.assertTrue(qv.running(), "a popup's title ended the program")
            self.assertNotIn("page command: EXITOK", "\n".join(qv.diags()))

            # window.close() closes it.
            s.server.push_action("customer", "close")
            qv.diag("popup closed by its page", 10, at)
            deadline = time.monotonic() + 10
            while s.desktop.find_windows_now(title) and time.monotonic() < deadline:
                time.sleep(0.2)
            self.assertEqual(s.desktop.find_windows_now(title), [])

            # A target="_blank" link, a window filled by script, and another site.
            focus_page(s, qv)
            s.server.push_action("tools", "click:popup-link")
            s.desktop.find_windows("客户详情 - 上海启明贸易有限公司", pid=qv.pid, timeout=20)
            focus_page(s, qv)
            s.server.push_action("tools", "printview")
            qv.diag("popup opened: about:blank", 20, at)
            view = s.desktop.find_windows("打印视图 - 客户名单", pid=qv.pid, timeout=20)[0]
            time.sleep(0.5)
            shot(s, view, "popup-print-view")
            focus_page(s, qv)
            s.server.push_action("tools", "click:external-link")
            qv.diag("main window popup: http://www.zentarro.example/", 20, at)
            self.assertEqual(s.desktop.find_windows_now("zentarro.example"), [])

            # Closing the main window closes them all and ends the program.
            main = s.desktop.find_windows(MAIN_TITLE, pid=qv.pid)[0]
            s.desktop.close(main)
            self.assertEqual(qv.wait_exit(20), 0)


class Downloads(unittest.TestCase):
    def test_save_dialog_progress_completion_failure_cancel(self):
        with Session("--auto-sign-in") as s:
            home = os.path.join(s.scratch, "home")
            folder = os.path.join(home, "Downloads")
            os.makedirs(folder, exist_ok=True)
            chosen = os.path.join(s.scratch, "chosen")
            os.makedirs(chosen)
            qv, _ = open_tools(s)
            _, expected = s.server.get("/demo/export")

            def save(action, typed=None, shot_name=None):
                at = len(qv.output.lines())
                s.server.push_action("tools", action)
                dialog = s.desktop.find_windows("另存为", pid=qv.pid, timeout=20)[0]
                _, suggested = qv.diag("download requested: ", 5, at)
                if shot_name:
                    time.sleep(0.5)
                    shot(s, dialog, shot_name)
                if typed is None:
                    s.desktop.key("Return")
                elif typed == "":
                    s.desktop.key("Escape")
                else:
                    s.desktop.key("ctrl+a")
                    s.desktop.type(typed)
                    time.sleep(0.3)
                    s.desktop.key("Return")
                return at, suggested

            # A path typed into the dialog.
            target = os.path.join(chosen, "export.csv")
            at, suggested = save("click:export", target, "save-dialog")
            self.assertTrue(suggested.startswith("客户名单.csv"), suggested)
            _, done = qv.diag("download complete: ", 20, at)
            self.assertEqual(done, target)
            with open(target, "rb") as f:
                self.assertEqual(f.read(), expected)

            # The suggested Chinese name in the download folder.
            at, _ = save("click:export")
            _, done = qv.diag("download complete: ", 20, at)
            self.assertEqual(done, os.path.join(folder, "客户名单.csv"))
            with open(done, "rb") as f:
                self.assertEqual(f.read(), expected)

            # A large one: progress in the status bar, then the whole file.
            big = os.path.join(chosen, "all.csv")
            at, _ = save("click:export-big", big)
            main = s.desktop.find_windows(MAIN_TITLE, pid=qv.pid)[0]
            time.sleep(2.5)
            shot(s, main, "download-progress")
            _, done = qv.diag("download complete: ", 40, at)
            self.assertEqual(os.path.getsize(big), 4 << 20)

            # One that breaks off: no file under its name, no partial file left.
            broken = os.path.join(chosen, "broken.csv")
            at, _ = save("goto:/demo/export?fail=1", broken)
            qv.diag("download failed: broken.csv", 40, at)
            self.assertFalse(os.path.exists(broken))
            self.assertEqual(sorted(os.listdir(chosen)), ["all.csv", "export.csv"])

            # Cancel in the dialog cancels it.
            at, _ = save("click:export", "")
            qv.diag("download cancelled: ", 10, at)
            # The engine of Qt 6.8 starts fetching into a hidden file of its own before the
            # dialog is answered, and removes it a moment after the cancel.
            deadline = time.monotonic() + 5
            while sorted(os.listdir(folder)) != ["客户名单.csv"] and time.monotonic() < deadline:
                time.sleep(0.1)
            self.assertEqual(sorted(os.listdir(folder)), ["客户名单.csv"])
            self.assertTrue(qv.running())


class Printing(unittest.TestCase):
    def test_print_preview_from_script_and_ctrl_p(self):
        with Session("--auto-sign-in") as s:
            qv, _ = open_tools(s)
            mark = s.server.mark()
            s.server.push_action("tools", "print")
            at, _ = qv.diag("print preview opened", 20)
            preview = s.desktop.find_windows("打印预览", pid=qv.pid, timeout=20)[0]
            qv.diag("print rendered", 30, at)
            time.sleep(1)
            shot(s, preview, "print-preview")
            s.desktop.key("Escape")
            qv.diag("print preview closed", 10, at)
            # The page carries on once the preview is gone.
            self.assertEqual(s.server.wait_report("print", 10, start=mark)[1], "returned")

            focus_page(s, qv)
            s.desktop.key("ctrl+p")
            at, _ = qv.diag("print preview opened", 20, at + 1)
            s.desktop.find_windows("打印预览", pid=qv.pid, timeout=20)
            s.desktop.key("Escape")
            qv.diag("print preview closed", 10, at)
            self.assertTrue(qv.running())


class Upload(unittest.TestCase):
    def test_file_chooser_single_and_multiple(self):
        with Session("--auto-sign-in") as s:
            files = os.path.join(s.scratch, "home", "files")
            os.makedirs(files)
            for name, size in (("list.csv", 11), ("a.txt", 3), ("b.txt", 5)):
                with open(os.path.join(files, name), "wb") as f:
                    f.write(b"x" * size)
            qv, _ = open_tools(s)

            def choose(input_id, typed):
                mark = s.server.mark()
                s.server.push_action("tools", "focus:" + input_id)
                time.sleep(0.5)
                s.desktop.key("space")
                # The chooser speaks Chinese: Qt's translations are loaded.
                dialog = s.desktop.find_windows("打开", pid=qv.pid, timeout=20)[0]
                time.sleep(0.5)
                if input_id == "upload-one":
                    shot(s, dialog, "file-chooser")
                for text in typed:   # a folder to go to, then the names in it
                    s.desktop.key("ctrl+a")
                    s.desktop.type(text)
                    time.sleep(0.3)
                    s.desktop.key("Return")
                    time.sleep(0.5)
                return s.server.wait_report(input_id, 20, start=mark)[1]

            focus_page(s, qv)
            # It starts in HOME; the single chooser offers the accepted types first.
            self.assertEqual(choose("upload-one", ["files/list.csv"]), "list.csv(11)")
            # The next one starts where the last choice was made.
            self.assertEqual(choose("upload-many", ['"a.txt" "b.txt"']), "a.txt(3)|b.txt(5)")


class LastingSession(unittest.TestCase):
    def test_remembered_cookie_and_storage_survive_a_restart(self):
        with Session("--auto-sign-in") as s:
            qv, loaded = open_tools(s)
            self.assertIn("counter=1", loaded)
            self.assertIn("lang=zh-CN", loaded)   # the engine speaks Chinese too
            mark = s.server.mark()
            s.server.push_action("tools", "remember")
            _, loaded = s.server.wait_report("loaded", 20, start=mark)
            self.assertIn("remember=r1", loaded)
            self.assertIn("visit=v1", loaded)
            self.assertIn("counter=2", loaded)
            main = s.desktop.find_windows(MAIN_TITLE, pid=qv.pid)[0]
            s.desktop.close(main)
            self.assertEqual(qv.wait_exit(30), 0)

            # Kept in the user's data and cache folders.
            home = os.path.join(s.scratch, "home")
            self.assertTrue(os.path.isdir(os.path.join(home, ".local/share/Talvo/browser")))
            self.assertTrue(os.path.isdir(os.path.join(home, ".cache/Talvo/browser")))

            again, loaded = open_tools(s)
            self.assertIn("remember=r1", loaded)
            self.assertNotIn("visit=", loaded)   # a session cookie ends with the process
            self.assertIn("counter=3", loaded)
            # A fresh home starts without any of it.
            again.stop()
            shutil.rmtree(home)
            _, loaded = open_tools(s)
            self.assertNotIn("remember=", loaded)
            self.assertIn("counter=1", loaded)


class BrowserKeys(unittest.TestCase):
    def test_reload_find_zoom_history_keys(self):
        with Session("--auto-sign-in") as s:
            qv, _ = open_tools(s)
            main = focus_page(s, qv)

            for keys in ("F5", "ctrl+r"):
                mark = s.server.mark()
                s.desktop.key(keys)
                s.server.wait_request(lambda t: path_of(t) == TOOLS, 20, f"{keys}: the page again",
                                      start=mark)
                s.server.wait_report("loaded", 20, start=mark)
            focus_page(s, qv)

            at = len(qv.output.lines())
            s.desktop.key("ctrl+f")
            qv.diag("find bar opened", 10, at)
            s.desktop.type("ABC")
            # Results come as the text grows; the one for the whole text counts three.
            qv.output.wait_for(lambda l: "find result: " in l and l.endswith("/3 for ABC"), 10, at,
                               what="three matches for ABC")
            time.sleep(0.5)
            shot(s, main, "find-bar")
            s.desktop.key("Escape")
            qv.diag("find bar closed", 10, at)

            focus_page(s, qv)
            for keys, zoom in (("ctrl+plus", "110%"), ("ctrl+plus", "125%"), ("ctrl+minus", "110%"),
                               ("ctrl+0", "100%")):
                at = len(qv.output.lines())
                s.desktop.key(keys)
                self.assertEqual(qv.diag("zoom: ", 10, at)[1], zoom)

            # The context menu: what a user needs, in Chinese, no developer entries.
            window = s.desktop.find_windows(MAIN_TITLE, pid=qv.pid)[0]
            x, y, _, _ = s.desktop.geometry(window)
            at = len(qv.output.lines())
            s.desktop.run("xdotool", "mousemove", str(x + 500), str(y + 680), "click", "3")
            _, entries = qv.diag("context menu shown: ", 10, at)
            entries = entries.split(" | ")
            self.assertIn("打印…", entries)
            self.assertTrue(any("重新加载" in e for e in entries), entries)
            self.assertFalse(any("源" in e or "检查" in e or "Inspect" in e or "source" in e
                                 for e in entries), entries)
            time.sleep(0.5)
            shot(s, "root", "context-menu")
            s.desktop.key("Escape")

            # Back and forward. The engine skips entries the user never touched, so the
            # features page gets a click before the page moves on.
            focus_page(s, qv)
            at = len(qv.output.lines())
            s.server.push_action("tools", "goto:/ui/common/home.jsp?cp=1")
            at, _ = qv.diag("page title: Zentarro 客户营销管理 - 首页", 20, at)
            focus_page(s, qv)
            s.desktop.key("alt+Left")
            at, _ = qv.diag("page title: Zentarro 客户营销管理 - 浏览器功能", 20, at)
            focus_page(s, qv)
            s.desktop.key("alt+Right")
            qv.diag("page title: Zentarro 客户营销管理 - 首页", 20, at)


class HttpAuthentication(unittest.TestCase):
    def test_server_401_page_shows_without_a_prompt(self):
        with Session("--auto-sign-in") as s:
            qv, _ = open_tools(s)
            s.server.push_action("tools", "click:protected-link")
            at, _ = qv.diag("authentication refused: ", 20)
            qv.diag("page title: 401 - 需要授权", 20, at)
            asked = [t for t in s.server.requests() if path_of(t) == "/demo/protected"]
            self.assertEqual(len(asked), 1, asked)
            time.sleep(1)
            self.assertEqual(s.desktop.find_windows_now(DIALOG_CAPTION), [])
            self.assertTrue(qv.running())


if __name__ == "__main__":
    unittest.main()
