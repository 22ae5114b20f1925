"""A misbehaving application server: the client never crashes, ends every attempt within its
limits, and the user always gets a window (the main window only when an address came)."""

import os
import time
import unittest

from faultkit import (CHECK_CODE_ATTEMPTS, LOGIN_CAPTION, PRODUCT_LIMITS, START_TIMEOUT,
                      LineClock, World, closed_port, figure, median, path_of,
                      supports_timeouts, timeout_args)

# Shortened limits (resolve, connect, send, receive ms) for the faults that would otherwise
# take 11 x 10 s; with these one attempt at a silent server lasts about 0.7 s.
SHORT_LIMITS = (500, 1000, 1000, 700)
# Scheduling noise on two busy cores, on top of a request's own limit.
SLACK_S = 1.5
SLOW = os.environ.get("TALVO_FAULTS_SLOW") == "1"


def first_window(line):
    at = line.find("talvo.windows: ")
    if at < 0:
        return False
    text = line[at + len("talvo.windows: "):]
    return text.startswith("login window shown") or text.startswith("main window shown")


class ServerFaults(unittest.TestCase):

    def run_fault(self, name, server_options=(), server=True, limits=None,
                  expect_window="login", expect_attempts=None, min_attempt_s=0.0):
        """Starts talvo-qv against the faulty server and returns (world, client, clock)
        after checking the window, the attempts and their durations."""
        args = timeout_args(limits) if limits else []
        limits = limits or PRODUCT_LIMITS
        per_request_s = sum(limits) / 1000.0
        world = World(*server_options, server=server)
        self.addCleanup(world.close)
        host = world.server.address if server else f"127.0.0.1:{closed_port()}"
        client = world.start("talvo-qv", "--server", host, *args)
        clock = LineClock(client)
        self.addCleanup(clock.stop)

        budget = START_TIMEOUT + CHECK_CODE_ATTEMPTS * (per_request_s + SLACK_S) + 2 * per_request_s
        _, line = client.output.wait_for(first_window, budget, what="the first window")
        kind = "main" if "main window shown" in line else "login"
        shown_at = clock.diags(f"{kind} window shown")[0][0]
        elapsed = shown_at - client.started

        attempts = clock.diags("connecting: attempt ")
        numbers = [int(text) for _, text in attempts]
        self.assertEqual(numbers, list(range(1, len(numbers) + 1)), numbers)
        self.assertLessEqual(len(numbers), CHECK_CODE_ATTEMPTS)
        # Each attempt ends when the next begins; the last one before the window appears.
        starts = [t for t, _ in attempts]
        ends = starts[1:] + [shown_at]
        durations = [e - s for s, e in zip(starts, ends)]
        if expect_window == "login" and expect_attempts == CHECK_CODE_ATTEMPTS:
            checked = durations
        else:
            checked = durations[:-1]  # the last one also carries the address request
            if expect_window == "login" and durations:
                self.assertLessEqual(durations[-1], 2 * per_request_s + SLACK_S,
                                     f"the last attempt and the address request took "
                                     f"{durations[-1]:.2f}s")
        for n, d in enumerate(checked, 1):
            self.assertLessEqual(d, per_request_s + SLACK_S,
                                 f"attempt {n} took {d:.2f}s, over its {per_request_s}s limit")
            self.assertGreaterEqual(d, min_attempt_s,
                                    f"attempt {n} ended after {d:.2f}s, before the server's fault")

        figure(f"first window, {name}", elapsed, window=kind, attempts=len(numbers),
               median_attempt=f"{median(checked):.3f}s" if checked else "n/a",
               limits=",".join(map(str, limits)))

        self.assertEqual(kind, expect_window, client.output.lines()[-30:])
        if expect_attempts is not None:
            self.assertEqual(len(numbers), expect_attempts)
        self.assertTrue(client.running(), "the client ended on its own: " +
                        "\n".join(client.output.lines()[-30:]))
        if kind == "login":
            self.assertEqual(client.diag("login window shown, checked: ", 1)[1], "Cedrow")
        return world, client

    def close_login_window(self, world, client):
        """The close picture ends the program normally: no crash behind the fault."""
        window = world.desktop.find_windows(LOGIN_CAPTION, pid=client.pid)[0]
        x, y, width, height = world.desktop.geometry(window)
        self.assertEqual((width, height), (509, 350))
        world.desktop.click(x + 487, y + 9)
        self.assertEqual(client.wait_exit(20), 0)

    def service_requests(self, world):
        return [path_of(t) for t in world.server.requests()
                if path_of(t).startswith(("/soft!", "/softcheck!"))]

    def test_healthy_server(self):
        # The control for the faults below, measured the same way.
        world, client = self.run_fault("healthy server", expect_window="main", expect_attempts=1)
        self.assertEqual(self.service_requests(world),
                         ["/soft!code.action", "/softcheck!geturl.action",
                          "/softcheck!contact.action"])

    def test_server_not_running(self):
        world, client = self.run_fault("closed port", server=False,
                                       expect_attempts=CHECK_CODE_ATTEMPTS)
        self.close_login_window(world, client)

    def test_short_check_codes(self):
        world, client = self.run_fault("short check codes", ("--short-check-codes", "11"),
                                       expect_attempts=CHECK_CODE_ATTEMPTS)
        self.assertEqual(self.service_requests(world),
                         ["/soft!code.action"] * CHECK_CODE_ATTEMPTS)
        self.close_login_window(world, client)

    def test_no_address(self):
        world, client = self.run_fault("no address", ("--no-address",), expect_attempts=1)
        self.assertEqual(self.service_requests(world),
                         ["/soft!code.action", "/softcheck!geturl.action"])
        self.close_login_window(world, client)

    def test_not_found(self):
        # The 404 page is long enough to pass for a check code; the address request then
        # finds no marker in its 404 page.
        world, client = self.run_fault("not found", ("--not-found",), expect_attempts=1)
        self.assertEqual(self.service_requests(world),
                         ["/soft!code.action", "/softcheck!geturl.action"])
        self.close_login_window(world, client)

    def test_silent_server(self):
        if SLOW:
            limits = None  # the product's own limits: about two minutes
        elif supports_timeouts():
            limits = SHORT_LIMITS
        else:
            self.skipTest("talvo has no --timeouts option yet; at the product limits a silent "
                          "server takes 11 x 10 s (run with TALVO_FAULTS_SLOW=1 to wait for it)")
        receive_s = (limits or PRODUCT_LIMITS)[3] / 1000.0
        world, client = self.run_fault("silent", ("--silent",), limits=limits,
                                       expect_attempts=CHECK_CODE_ATTEMPTS,
                                       min_attempt_s=0.8 * receive_s)
        self.assertEqual(self.service_requests(world),
                         ["/soft!code.action"] * CHECK_CODE_ATTEMPTS)
        self.close_login_window(world, client)

    def test_drip_within_limits(self):
        # One byte every 20 ms keeps every phase alive: the address comes, slowly.
        world, client = self.run_fault("drip 20 ms", ("--drip-ms", "20"), expect_window="main",
                                       expect_attempts=1)
        _, address = client.diag("main window navigate: ", 10)
        self.assertEqual(address, f"http://{world.server.address}/ui/common/login.jsp?cp=1")
        self.assertEqual(self.service_requests(world)[:3],
                         ["/soft!code.action", "/softcheck!geturl.action",
                          "/softcheck!contact.action"])

    def test_drip_slower_than_receive_limit(self):
        if not supports_timeouts():
            self.skipTest("talvo has no --timeouts option yet; a drip slower than the 10 s "
                          "receive limit would take minutes at the product limits")
        # A byte every 1.2 s while the client waits at most 0.7 s for the next one.
        world, client = self.run_fault("drip 1200 ms", ("--drip-ms", "1200"),
                                       limits=SHORT_LIMITS, expect_attempts=CHECK_CODE_ATTEMPTS,
                                       min_attempt_s=0.8 * SHORT_LIMITS[3] / 1000.0)
        self.close_login_window(world, client)

    def test_drip_over_whole_request_limit(self):
        if not supports_timeouts():
            self.skipTest("talvo has no --timeouts option yet; the whole-request cap is 31 s "
                          "at the product limits")
        # Every byte arrives within the receive limit, but the address answer (about 26
        # bytes at 150 ms each) outlasts the whole request's budget: no address, no hand-off.
        limits = (200, 500, 500, 600)
        world, client = self.run_fault("drip 150 ms, capped", ("--drip-ms", "150"),
                                       limits=limits, expect_attempts=1)
        self.assertEqual(self.service_requests(world),
                         ["/soft!code.action", "/softcheck!geturl.action"])
        self.close_login_window(world, client)

    def test_body_cut_short(self):
        # Every answer announces its length and closes halfway: no check code ever arrives.
        world, client = self.run_fault("body cut short", ("--close-mid-body",),
                                       expect_attempts=CHECK_CODE_ATTEMPTS)
        self.assertEqual(self.service_requests(world),
                         ["/soft!code.action"] * CHECK_CODE_ATTEMPTS)
        self.close_login_window(world, client)

    def test_slow_answers_within_limits(self):
        # Two seconds before every answer is well inside the receive limit: the hand-off
        # still happens, about six seconds late.
        world, client = self.run_fault("answers delayed 2 s", ("--delay-ms", "2000"),
                                       expect_window="main", expect_attempts=1)
        self.assertEqual(self.service_requests(world)[:3],
                         ["/soft!code.action", "/softcheck!geturl.action",
                          "/softcheck!contact.action"])

    def test_invalid_utf8_in_answers(self):
        # The address answer ends in a blank and bytes that are not UTF-8 (read as replacement
        # characters): no plain host[:port][/path], so it counts as no address, and the
        # malformed text never reaches the browser.
        world, client = self.run_fault("invalid UTF-8", ("--invalid-utf8",), expect_attempts=1)
        self.assertEqual(self.service_requests(world),
                         ["/soft!code.action", "/softcheck!geturl.action"])
        self.assertFalse([l for l in client.diags() if l.startswith("main window navigate: ")])
        self.close_login_window(world, client)

    def test_huge_contact_answer(self):
        # Over 16 MiB for the contact summary: refused at the cap, so the status bar shows
        # the ownership line alone and the window still comes.
        world, client = self.run_fault("huge contact answer", ("--huge-body",),
                                       expect_window="main", expect_attempts=1)
        _, status = client.diag("main window status: ", 10)
        self.assertTrue(status.endswith("  ") and status.strip(), repr(status))
        self.assertNotIn("84512367", status)
        self.assertTrue(client.running())


if __name__ == "__main__":
    unittest.main()
