"""End-to-end: what pages built with everyday front-end libraries do.

A contract made in the page as a PDF and opened from a blob: address, one the server sends
inline, and an export opened in a new window, against the demo web application.
"""

import time
import unittest

from harness import Session
from test_browser import MAIN_TITLE, focus_page, open_tools, shot
from test_client import read_ppm, rgb


def shows_pdf_viewer(s, window, name, timeout=30):
    """True once window shows the engine's PDF viewer: its dark tool bar over a white page."""
    deadline = time.monotonic() + timeout
    while True:
        pixels = read_ppm(shot(s, window, name))
        bar, page = rgb(pixels, 500, 20), rgb(pixels, 650, 400)
        if max(bar) < 80 and min(page) > 240:
            return True
        if time.monotonic() > deadline:
            return False
        time.sleep(1)


class PdfDocuments(unittest.TestCase):
    def test_generated_and_served_pdfs_show_in_the_viewer(self):
        with Session("--auto-sign-in") as s:
            qv, _ = open_tools(s)

            # Made in the page and opened from a blob: address of the application's site. The
            # viewer names the window after the document's own title, which it read from the PDF.
            focus_page(s, qv)
            at = len(qv.output.lines())
            s.server.push_action("tools", "pdf")
            _, opened = qv.diag("popup opened: ", 20, at)
            self.assertTrue(opened.startswith("blob:" + s.server.url + "/"), opened)
            viewer = s.desktop.find_windows("Contract ZT-2026-0042", pid=qv.pid, timeout=30)[0]
            self.assertTrue(shows_pdf_viewer(s, viewer, "pdf-generated"), "the PDF made in the page never showed in the viewer")
            s.desktop.close(viewer)

            # Sent by the server inline, from a link with target="_blank".
            focus_page(s, qv)
            at = len(qv.output.lines())
            s.server.push_action("tools", "click:pdf-link")
            qv.diag("popup opened: " + s.server.url + "/demo/contract.pdf", 20, at)
            viewer = s.desktop.find_windows("contract.pdf", pid=qv.pid, timeout=30)[0]
            self.assertTrue(shows_pdf_viewer(s, viewer, "pdf-served"), "the PDF the server sent never showed in the viewer")
            s.desktop.close(viewer)

            # In the main window too, never as a download.
            main = s.desktop.find_windows(MAIN_TITLE, pid=qv.pid)[0]
            mark = s.server.mark()
            s.server.push_action("tools", "goto:/demo/contract.pdf")
            s.server.wait_request(lambda t: t == "/demo/contract.pdf", 20, "the contract", start=mark)
            self.assertTrue(shows_pdf_viewer(s, main, "pdf-main-window"), "the PDF never showed in the main window's viewer")
            self.assertFalse([d for d in qv.diags() if d.startswith("download requested: ")])
            self.assertTrue(qv.running())

    def test_a_window_that_only_fetches_a_file_goes_away(self):
        with Session("--auto-sign-in") as s:
            qv, _ = open_tools(s)
            focus_page(s, qv)
            at = len(qv.output.lines())
            s.server.push_action("tools", "click:export-window")
            qv.diag("popup opened: " + s.server.url + "/demo/export", 20, at)
            qv.diag("popup closed: it only fetched a file", 20, at)
            s.desktop.find_windows("另存为", pid=qv.pid, timeout=20)
            s.desktop.key("Escape")
            qv.diag("download cancelled: ", 10, at)
            self.assertEqual(s.desktop.find_windows_now("正在打开"), [])
            self.assertEqual(s.desktop.find_windows_now("/demo/export"), [])
            self.assertTrue(qv.running())


class FramePrinting(unittest.TestCase):
    def test_a_frame_prints_its_own_document(self):
        with Session("--auto-sign-in") as s:
            qv, _ = open_tools(s)
            for action, title in (("printorder", "订单 SO-2026-0117"), ("printreceipt", "收据 R-0042")):
                mark = s.server.mark()
                at = len(qv.output.lines())
                s.server.push_action("tools", action)
                qv.diag("print of a frame: " + title, 20, at)
                qv.diag("print preview opened: " + title, 20, at)
                preview = s.desktop.find_windows("打印预览", pid=qv.pid, timeout=20)[0]
                qv.diag("print rendered", 30, at)
                if action == "printorder":
                    # The page went on at once; the preview waits for the user.
                    self.assertEqual(s.server.wait_report("printorder", 10, start=mark)[1], "returned")
                time.sleep(1)
                shot(s, preview, "print-frame-" + action)
                s.desktop.run("xdotool", "windowraise", str(preview))
                s.desktop.key("Escape")
                qv.diag("print preview closed", 10, at)
            # The page itself still prints whole.
            at = len(qv.output.lines())
            s.server.push_action("tools", "print")
            qv.diag("print preview opened: Zentarro 客户营销管理 - 浏览器功能", 20, at)
            self.assertNotIn("print of a frame", "\n".join(qv.diags()[-5:]))
            s.desktop.find_windows("打印预览", pid=qv.pid, timeout=20)
            qv.diag("print rendered", 30, at)
            s.desktop.key("Escape")
            qv.diag("print preview closed", 10, at)
            self.assertTrue(qv.running())


def context_menu(s, qv):
    """The entries of the page's context menu (opened with a right click, then closed)."""
    window = s.desktop.find_windows(MAIN_TITLE, pid=qv.pid)[0]
    x, y, _, _ = s.desktop.geometry(window)
    at = len(qv.output.lines())
    s.desktop.run("xdotool", "mousemove", str(x + 500), str(y + 680), "click", "3")
    _, entries = qv.diag("context menu shown: ", 10, at)
    s.desktop.key("Escape")
    return entries.split(" | ")


class DeveloperTools(unittest.TestCase):
    def test_only_with_the_switch(self):
        with Session("--auto-sign-in") as s:
            qv, _ = open_tools(s)
            focus_page(s, qv)
            s.desktop.key("F12")
            time.sleep(2)
            self.assertNotIn("developer tools opened", qv.diags())
            self.assertEqual(s.desktop.find_windows_now("开发者工具"), [])
            self.assertNotIn("开发者工具", context_menu(s, qv))
            main = s.desktop.find_windows(MAIN_TITLE, pid=qv.pid)[0]
            s.desktop.close(main)
            self.assertEqual(qv.wait_exit(30), 0)

            qv, _ = open_tools(s, "--devtools")
            self.assertIn("开发者工具", context_menu(s, qv))
            focus_page(s, qv)
            s.desktop.key("F12")
            qv.diag("developer tools opened", 10)
            tools = s.desktop.find_windows("开发者工具 - Zentarro 客户营销管理 - 浏览器功能", pid=qv.pid, timeout=20)[0]
            time.sleep(3)
            shot(s, tools, "developer-tools")
            # Asked again, the same window comes forward.
            focus_page(s, qv)
            s.desktop.key("F12")
            time.sleep(1)
            self.assertEqual(qv.diags().count("developer tools opened"), 1)
            self.assertEqual(len(s.desktop.find_windows("开发者工具", pid=qv.pid)), 1)
            self.assertTrue(qv.running())


if __name__ == "__main__":
    unittest.main()
