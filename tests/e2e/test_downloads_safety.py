"""End-to-end: a download never touches a file it did not make.

Drives a download the way a user does (the page's export button, the "另存为" dialog) with
a file already under the temporary name an older client used beside the target.
"""

import os
import time
import unittest

from harness import Session
from test_browser import open_tools


class DownloadsSafety(unittest.TestCase):
    def test_a_file_under_the_old_temporary_name_is_left_alone(self):
        with Session("--auto-sign-in") as s:
            downloads = os.path.join(s.scratch, "home", "Downloads")
            os.makedirs(downloads, exist_ok=True)
            chosen = os.path.join(s.scratch, "chosen")
            os.makedirs(chosen)
            target = os.path.join(chosen, "export.csv")
            # The old fixed temporary names, beside the chosen file and beside the suggested
            # one in the download folder, each holding bytes of someone else's.
            old_parts = {target + ".part": b"someone else's bytes\n" * 100,
                         os.path.join(downloads, "客户名单.csv.part"): b"older work\n" * 50}
            before = {}
            for path, kept in old_parts.items():
                with open(path, "wb") as f:
                    f.write(kept)
                before[path] = os.stat(path)
            qv, _ = open_tools(s)
            _, expected = s.server.get("/demo/export")

            at = len(qv.output.lines())
            s.server.push_action("tools", "click:export")
            s.desktop.find_windows("另存为", pid=qv.pid, timeout=20)
            qv.diag("download requested: ", 5, at)
            s.desktop.key("ctrl+a")
            s.desktop.type(target)
            time.sleep(0.3)
            s.desktop.key("Return")
            _, started = qv.diag("download started: ", 20, at)
            self.assertEqual(started, target)
            _, done = qv.diag("download complete: ", 20, at)
            self.assertEqual(done, target)

            with open(target, "rb") as f:
                self.assertEqual(f.read(), expected)
            # Each file under an old name is the same file with the same bytes, and nothing
            # of the download's own is left beside them.
            for path, kept in old_parts.items():
                after = os.stat(path)
                self.assertEqual((after.st_ino, after.st_size, after.st_mtime_ns),
                                 (before[path].st_ino, before[path].st_size, before[path].st_mtime_ns), path)
                with open(path, "rb") as f:
                    self.assertEqual(f.read(), kept, path)
            self.assertEqual(sorted(os.listdir(chosen)), ["export.csv", "export.csv.part"])
            self.assertEqual(os.listdir(downloads), ["客户名单.csv.part"])

            # Two downloads at once: one save dialog at a time, the second after the first
            # is answered; a refused one leaves nothing behind.
            at = len(qv.output.lines())
            s.server.push_action("tools", "click:export")
            s.server.push_action("tools", "click:export")
            s.desktop.find_windows("另存为", pid=qv.pid, timeout=20)
            first, _ = qv.diag("download requested: ", 10, at)
            qv.diag("download requested: ", 10, first + 1)
            time.sleep(1)
            self.assertEqual(len(s.desktop.find_windows("另存为", pid=qv.pid)), 1)
            s.desktop.key("Escape")
            cancelled, _ = qv.diag("download cancelled: ", 10, at)
            s.desktop.find_windows("另存为", pid=qv.pid, timeout=20)
            self.assertEqual(len(s.desktop.find_windows("另存为", pid=qv.pid)), 1)
            s.desktop.key("Escape")
            qv.diag("download cancelled: ", 10, cancelled + 1)
            deadline = time.monotonic() + 5
            while os.listdir(downloads) != ["客户名单.csv.part"] and time.monotonic() < deadline:
                time.sleep(0.1)
            self.assertEqual(os.listdir(downloads), ["客户名单.csv.part"])
            with open(os.path.join(downloads, "客户名单.csv.part"), "rb") as f:
                self.assertEqual(f.read(), old_parts[os.path.join(downloads, "客户名单.csv.part")])
            self.assertTrue(qv.running())


if __name__ == "__main__":
    unittest.main()
