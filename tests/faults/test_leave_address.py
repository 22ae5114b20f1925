"""The leave-message link hands its address to the system's opener as exactly one argument,
byte for byte, with no shell in between, whatever the address holds."""

import os
import time
import unittest

from faultkit import (LOGIN_CAPTION, START_TIMEOUT, World, figure, install_fake_opener,
                      read_opener_log)

LINK_X, LINK_Y = 440, 336  # the "在线留言" link, relative to the 509 x 350 login window


def addresses(canary):
    return [
        ("space", "http://127.0.0.1:9/leave page.html?who=a b"),
        ("quotes", "http://127.0.0.1:9/a\"b'c.html?q=\"x\""),
        ("semicolon", f"http://127.0.0.1:9/x.html;touch {canary};echo"),
        ("newline", f"http://127.0.0.1:9/one\ntouch {canary}\n"),
        ("substitution", f"http://127.0.0.1:9/$(touch {canary})`touch {canary}`|&<>*"),
        ("chinese", "http://127.0.0.1:9/留言.html?主题=你好"),
    ]


class LeaveAddress(unittest.TestCase):

    def test_link_passes_the_address_as_one_argument(self):
        with World(server=False) as w:
            env, log = install_fake_opener(w.scratch)
            canary = os.path.join(w.scratch, "shell-ran")
            for number, (name, address) in enumerate(addresses(canary), 1):
                with self.subTest(name):
                    client = w.start_with_env("talvo", env, "--leave-url", address)
                    client.diag("login window shown", START_TIMEOUT)
                    window = w.desktop.find_windows(LOGIN_CAPTION, pid=client.pid)[0]
                    x, y, width, height = w.desktop.geometry(window)
                    self.assertEqual((width, height), (509, 350))

                    clicked = time.monotonic()
                    w.desktop.click(x + LINK_X, y + LINK_Y)
                    records = read_opener_log(log, number, 15)
                    opened = time.monotonic() - clicked
                    self.assertEqual(len(records), number, "the opener was not started once")
                    record = records[-1]
                    self.assertEqual(record["argv"], [address.encode("utf-8")])
                    # Started by the client itself, not by a shell it ran.
                    self.assertEqual(record["ppid"], client.pid)
                    self.assertNotIn(record["parent"], ("sh", "dash", "bash"))
                    self.assertFalse(os.path.exists(canary), "a shell ran part of the address")
                    figure(f"leave link to opener, {name}", opened)

                    # The close picture ends this client before the next address.
                    w.desktop.click(x + 487, y + 9)
                    self.assertEqual(client.wait_exit(20), 0)


if __name__ == "__main__":
    unittest.main()
