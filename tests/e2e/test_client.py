"""End-to-end: the real client under Xvfb against the demo application server."""

import os
import re
import time
import unittest

import harness
from harness import Session

PRODUCT_TITLE = "“Zentarro”客户营销管理软件  - "
NOTICE_CAPTION = "提示信息"
LOGIN_CAPTION = "用户登录"
START_TIMEOUT = 45  # WebEngine's first start under Xvfb on two cores takes a while


def path_of(target):
    return target.split("?", 1)[0]


def contact_summary(answer):
    """What the status bar shows after the ownership line for a contact answer."""
    if "QQ" not in answer and "qq" not in answer:
        return ""
    text = answer.upper()
    for key, label in (("CONTACT", " 联系人"), ("TEL", " 联系电话"), ("MOBILEPHONE", " 手机号码")):
        text = text.replace(key, label)
    return text


class EditionStart(unittest.TestCase):
    """talvo-qv: lookup requests, then the main window on the application's login page."""

    def test_requests_window_and_normal_close(self):
        with Session() as s:
            qv = s.start("talvo-qv")
            _, title = qv.diag("main window shown: title=", START_TIMEOUT)
            self.assertEqual(title, PRODUCT_TITLE + "Alderan")
            s.server.wait_request(lambda t: path_of(t) == "/ui/common/login.jsp", 30,
                                  "the login page request")

            # The lookup, in order: check code(s), address for qv1, contact for qv1, then the
            # browser on the edition's login page.
            requests = s.server.requests()
            paths = [path_of(t) for t in requests]
            first_other = next(i for i, p in enumerate(paths) if p != "/soft!code.action")
            self.assertGreaterEqual(first_other, 1, requests)
            self.assertLessEqual(first_other, 11, requests)
            self.assertEqual(paths[first_other:first_other + 3],
                             ["/softcheck!geturl.action", "/softcheck!contact.action",
                              "/ui/common/login.jsp"], requests)
            self.assertTrue(requests[first_other].startswith(
                "/softcheck!geturl.action?member=qv1&rnm="), requests[first_other])
            self.assertTrue(requests[first_other + 1].startswith(
                "/softcheck!contact.action?memberid=qv1&rnm="), requests[first_other + 1])
            self.assertEqual(requests[first_other + 2], "/ui/common/login.jsp?cp=1")
            # Every service request carries the helper's own cache-busting suffix.
            for target in requests[:first_other + 2]:
                self.assertRegex(target, r"\?rnm=\d{1,4}&$")

            window = s.desktop.find_windows("Alderan", pid=qv.pid)[0]
            self.assertEqual(s.desktop.window_name(window), PRODUCT_TITLE + "Alderan")
            _, size = qv.diag("main window size: ", 5)
            self.assertEqual(size, "1011x767")
            _, _, width, height = s.desktop.geometry(window)
            self.assertEqual((width, height), (1011, 767))

            # The status bar: an ownership line ending in two blanks, then the contact summary
            # made from what the server answers for qv1.
            _, status = qv.diag("main window status: ", 5)
            _, body = s.server.get("/softcheck!contact.action?memberid=qv1&rnm=1?rnm=1&")
            summary = contact_summary(body.decode("utf-8"))
            self.assertTrue(status.endswith(summary), (status, summary))
            owner = status[:len(status) - len(summary)]
            self.assertTrue(owner.endswith("  ") and owner.strip(), status)

            # Closing the window the way a window manager does ends the program normally.
            s.desktop.close(window)
            self.assertEqual(qv.wait_exit(20), 0)
            qv.diag("main window unloaded", 1)

    def test_answers_ending_in_line_ends(self):
        # Many servers end a text answer with CR LF; it is no part of the address.
        with Session("--line-ends") as s:
            qv = s.start("talvo-qv")
            qv.diag("main window shown", START_TIMEOUT)
            s.server.wait_request(lambda t: path_of(t) == "/ui/common/login.jsp", 30,
                                  "the login page request")
            _, address = qv.diag("main window navigate: ", 5)
            self.assertEqual(address, f"http://{s.server.address}/ui/common/login.jsp?cp=1")
            self.assertIn("/ui/common/login.jsp?cp=1", s.server.requests())
            window = s.desktop.find_windows("Alderan", pid=qv.pid)[0]
            s.desktop.close(window)
            self.assertEqual(qv.wait_exit(20), 0)


class EditionByName(unittest.TestCase):
    """The edition comes from the name the program was started under, links included."""

    ROWS = [
        # start name, edition caption, member code, edition code
        ("talvo-norvel", "Birsel", "test", "9"),
        ("talvo-mesk", "Cedrow", "test", "0"),
        ("Talvo_QV", "Alderan", "qv1", "1"),      # lower-cased before the test
        ("mesk-qv-tool", "Alderan", "qv1", "1"),  # "qv" is tested before "mesk"
    ]

    def test_start_names(self):
        with Session() as s:
            for name, caption, member, code in self.ROWS:
                with self.subTest(name=name):
                    exe = name
                    if not os.path.exists(os.path.join(harness.BIN, name)):
                        exe = os.path.join(s.scratch, name)
                        os.symlink(harness.binary("talvo"), exe)
                    before = len(s.server.requests())
                    mark = s.server.mark()
                    client = s.start(exe)
                    try:
                        _, title = client.diag("main window shown: title=", START_TIMEOUT)
                        self.assertEqual(title, PRODUCT_TITLE + caption)
                        s.server.wait_request(lambda t: path_of(t) == "/ui/common/login.jsp",
                                              30, "the login page request", start=mark)
                        seen = s.server.requests()[before:]
                        self.assertIn(f"/ui/common/login.jsp?cp={code}", seen)
                        self.assertTrue(any(t.startswith(
                            f"/softcheck!geturl.action?member={member}&") for t in seen), seen)
                        window = s.desktop.find_windows(caption, pid=client.pid)[0]
                        s.desktop.close(window)
                        self.assertEqual(client.wait_exit(20), 0)
                    finally:
                        client.stop()  # the next row must not meet this one as a running instance


class SecondInstance(unittest.TestCase):
    def test_second_start_shows_notice_and_leaves_one_instance(self):
        with Session() as s:
            first = s.start("talvo-qv")
            first.diag("main window shown", START_TIMEOUT)
            s.server.wait_request(lambda t: path_of(t) == "/ui/common/login.jsp", 30,
                                  "the login page request")
            before = len(s.server.requests())

            second = s.start("talvo-qv")
            second.diag("second instance: notice shown", 30)
            notice = s.desktop.find_windows(NOTICE_CAPTION, pid=second.pid)[0]
            self.assertEqual(s.desktop.window_name(notice), NOTICE_CAPTION)
            s.desktop.key("Return")
            second.wait_exit(15)

            self.assertTrue(first.running(), "the first instance ended")
            # The second start made no lookup of its own.
            lookups = [t for t in s.server.requests()[before:]
                       if path_of(t).startswith(("/soft!", "/softcheck!"))]
            self.assertEqual(lookups, [])
            self.assertEqual(len(s.desktop.find_windows("Alderan")), 1)
            self.assertNotIn("main window shown", "\n".join(second.diags()))


class PlainStart(unittest.TestCase):
    """Plain talvo names no edition: no request, the login window with Cedrow checked."""

    def test_login_window_without_requests(self):
        with Session() as s:
            talvo = s.start("talvo")
            _, checked = talvo.diag("login window shown, checked: ", START_TIMEOUT)
            self.assertEqual(checked, "Cedrow")
            window = s.desktop.find_windows(LOGIN_CAPTION, pid=talvo.pid)[0]
            x, y, width, height = s.desktop.geometry(window)
            self.assertEqual((width, height), (509, 350))

            # The skin is on screen: the dark title strip and the light edition frame area.
            shot = s.desktop.screenshot(window, os.path.join(s.scratch, "login.ppm"))
            pixels = read_ppm(shot)
            self.assertLess(gray(pixels, 100, 12), 120)
            self.assertGreater(gray(pixels, 440, 230), 200)

            time.sleep(1)  # a late request would show up here
            self.assertEqual(s.server.requests(), [])

            # Its close picture ends the program.
            s.desktop.click(x + 487, y + 9)
            talvo.wait_exit(15)
            self.assertEqual(s.server.requests(), [])

    def test_hover_pictures_come_from_the_program_folder(self):
        with Session() as s:
            talvo = s.start("talvo")
            talvo.diag("login window shown", START_TIMEOUT)
            window = s.desktop.find_windows(LOGIN_CAPTION, pid=talvo.pid)[0]
            x, y, _, _ = s.desktop.geometry(window)
            shot = os.path.join(s.scratch, "hover.ppm")

            def close_picture_red():
                pixels = read_ppm(s.desktop.screenshot(window, shot))
                r, g, b = rgb(pixels, 473, 3)  # a corner of the close picture, off its cross
                return r > 180 and g < 110 and b < 110

            self.assertFalse(close_picture_red())
            s.desktop.move(x + 487, y + 9)
            self.assertTrue(eventually(close_picture_red), "no hover look over the close picture")
            s.desktop.move(x + 150, y + 60)  # the background restores every normal picture
            self.assertTrue(eventually(lambda: not close_picture_red()),
                            "the close picture kept its hover look on the background")

    def test_edition_chosen_in_the_window(self):
        with Session() as s:
            talvo = s.start("talvo")
            talvo.diag("login window shown", START_TIMEOUT)
            window = s.desktop.find_windows(LOGIN_CAPTION, pid=talvo.pid)[0]
            x, y, _, _ = s.desktop.geometry(window)

            # "Birsel" sits at (328,176) in the window, 97x17; the login button at (384,264).
            s.desktop.click(x + 336, y + 184)
            s.desktop.click(x + 418, y + 274)
            _, title = talvo.diag("main window shown: title=", START_TIMEOUT)
            self.assertEqual(title, PRODUCT_TITLE + "Birsel")
            s.server.wait_request(lambda t: path_of(t) == "/ui/common/login.jsp", 30,
                                  "the login page request")
            requests = s.server.requests()
            geturl = [t for t in requests if path_of(t) == "/softcheck!geturl.action"]
            self.assertEqual(len(geturl), 1, requests)
            self.assertTrue(geturl[0].startswith("/softcheck!geturl.action?member=test&rnm="))
            self.assertIn("/ui/common/login.jsp?cp=9", requests)
            # The login window is gone for good; the main window carries on.
            talvo.diag("login window unloaded", 5)
            self.assertEqual(s.desktop.find_windows_now(LOGIN_CAPTION), [])
            self.assertTrue(talvo.running())


# Where the attempt line under the login picture shows its text, in window coordinates.
CONNECTING_AREA = (276, 291, 178, 16)


def connecting_text_pixels(pixels):
    """Pixels of the attempt line's blue-grey text in the area where it is shown."""
    x0, y0, w, h = CONNECTING_AREA
    found = set()
    for y in range(y0, y0 + h):
        for x in range(x0, x0 + w):
            r, g, b = rgb(pixels, x, y)
            if b > r + 40 and b < 190 and r < 120:
                found.add((x, y))
    return found


class LoginLookup(unittest.TestCase):
    """A lookup started by the login picture: the window lives on meanwhile."""

    def test_silent_server_window_repaints_and_close_ends_at_once(self):
        with Session("--silent") as s:
            # Silent server, short receive limit: a new check-code attempt every ~0.7 s.
            talvo = s.start("talvo", "--timeouts", "500,1000,1000,700")
            talvo.diag("login window shown", START_TIMEOUT)
            window = s.desktop.find_windows(LOGIN_CAPTION, pid=talvo.pid)[0]
            x, y, _, _ = s.desktop.geometry(window)
            shot = os.path.join(s.scratch, "asking.ppm")
            self.assertEqual(connecting_text_pixels(read_ppm(s.desktop.screenshot(window, shot))),
                             set())

            mark = len(talvo.output.lines())
            s.desktop.click(x + 418, y + 274)  # the login picture, Cedrow checked
            at, _ = talvo.diag("connecting: attempt 1", 10, mark)
            if os.environ.get("TALVO_E2E_SHOTS"):
                s.desktop.screenshot(window, os.path.join(os.environ["TALVO_E2E_SHOTS"],
                                                          "login-asking.png"))
            first = eventually_value(
                lambda: connecting_text_pixels(read_ppm(s.desktop.screenshot(window, shot))))
            self.assertTrue(first, "no attempt line on the window")
            talvo.diag("connecting: attempt 3", 15, at)
            # The window kept painting: the line now shows another attempt number.
            third = eventually_value(
                lambda: connecting_text_pixels(read_ppm(s.desktop.screenshot(window, shot))) - first)
            self.assertTrue(third, "the window did not repaint during the lookup")

            clicked = time.monotonic()
            s.desktop.click(x + 487, y + 9)  # the close picture
            self.assertEqual(talvo.wait_exit(10), 0)
            self.assertLess(time.monotonic() - clicked, 1.0)
            lines = "\n".join(talvo.diags())
            self.assertNotIn("connecting: attempt 11", lines)
            self.assertNotIn("main window", lines)

    def test_close_click_during_hand_off_is_dropped(self):
        with Session("--delay-ms", "1500") as s:
            talvo = s.start("talvo")
            talvo.diag("login window shown", START_TIMEOUT)
            window = s.desktop.find_windows(LOGIN_CAPTION, pid=talvo.pid)[0]
            x, y, _, _ = s.desktop.geometry(window)
            mark = s.server.mark()
            s.desktop.click(x + 418, y + 274)
            # The address is in and the contact summary is being asked for: the hand-off
            # has begun, so a click on the close picture no longer counts.
            s.server.wait_request(lambda t: path_of(t) == "/softcheck!contact.action", 30,
                                  "the contact request", start=mark)
            s.desktop.click(x + 487, y + 9)
            s.desktop.key("Escape")
            _, title = talvo.diag("main window shown: title=", START_TIMEOUT)
            self.assertEqual(title, PRODUCT_TITLE + "Cedrow")
            s.server.wait_request(lambda t: path_of(t) == "/ui/common/login.jsp", 30,
                                  "the login page request", start=mark)
            time.sleep(2)  # a queued close click would have ended the program by now
            self.assertTrue(talvo.running(), "input from before the hand-off ended the program")
            main = s.desktop.find_windows("Cedrow", pid=talvo.pid)[0]
            s.desktop.close(main)
            self.assertEqual(talvo.wait_exit(20), 0)


class LoginKeyboard(unittest.TestCase):
    """The login window without a mouse."""

    def test_tab_space_return_and_escape(self):
        with Session() as s:
            talvo = s.start("talvo")
            talvo.diag("login window shown", START_TIMEOUT)
            window = s.desktop.find_windows(LOGIN_CAPTION, pid=talvo.pid)[0]
            s.desktop.run("xdotool", "windowfocus", "--sync", str(window))
            shot = os.path.join(s.scratch, "keys.ppm")
            before = read_ppm(s.desktop.screenshot(window, shot))

            # Cedrow has the focus first; Tab goes to Birsel, Space checks it.
            s.desktop.key("Tab", "space")
            # Two more Tabs reach the login picture, whose focus shows on the window.
            s.desktop.key("Tab", "Tab")
            login_picture = (384, 264, 70, 21)

            def picture_changed():
                after = read_ppm(s.desktop.screenshot(window, shot))
                lx, ly, lw, lh = login_picture
                return any(rgb(after, px, py) != rgb(before, px, py)
                           for py in range(ly, ly + lh) for px in range(lx, lx + lw))
            self.assertTrue(eventually(picture_changed), "no visible focus on the login picture")

            s.desktop.key("Return")
            _, title = talvo.diag("main window shown: title=", START_TIMEOUT)
            self.assertEqual(title, PRODUCT_TITLE + "Birsel")
            s.server.wait_request(lambda t: path_of(t) == "/ui/common/login.jsp", 30,
                                  "the login page request")
            self.assertIn("/ui/common/login.jsp?cp=9", s.server.requests())
            talvo.stop()

            # Escape is the close picture.
            again = s.start("talvo")
            again.diag("login window shown", START_TIMEOUT)
            window = s.desktop.find_windows(LOGIN_CAPTION, pid=again.pid)[0]
            s.desktop.run("xdotool", "windowfocus", "--sync", str(window))
            s.desktop.key("Escape")
            self.assertEqual(again.wait_exit(10), 0)
            self.assertNotIn("main window", "\n".join(again.diags()))


def render_processes(pid):
    """Render processes below the client: the children of its renderer zygote (the
    zygote without --no-zygote-sandbox; a forked renderer keeps the zygote's command line)."""
    parents, cmdlines = {}, {}
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/stat") as f:
                ppid = int(f.read().rsplit(")", 1)[1].split()[1])
            with open(f"/proc/{entry}/cmdline", "rb") as f:
                cmdline = f.read().replace(b"\0", b" ").decode("utf-8", "replace")
        except (OSError, IndexError, ValueError):
            continue
        parents[int(entry)] = ppid
        cmdlines[int(entry)] = cmdline
    zygotes = [p for p, parent in parents.items() if parent == pid
               and "--type=zygote" in cmdlines[p] and "--no-zygote-sandbox" not in cmdlines[p]]
    return sorted(p for p, parent in parents.items() if parent in zygotes)


def settled(get, want, timeout=10.0, hold=1.0):
    """Polls get() until it has equalled want for hold seconds; returns the last value."""
    deadline = time.monotonic() + timeout
    since = None
    while True:
        value = get()
        now = time.monotonic()
        if value == want:
            since = since or now
            if now - since >= hold:
                return value
        else:
            since = None
        if now > deadline:
            return value
        time.sleep(0.1)


class BrowserWarmUp(unittest.TestCase):
    """The engine and the main page start while the server is asked, and leave nothing behind."""

    def test_failed_lookup_leaves_no_render_process(self):
        with Session("--no-address") as s:
            qv = s.start("talvo-qv")
            qv.diag("login window shown", START_TIMEOUT)
            lines = "\n".join(qv.diags())
            self.assertIn("browser page prepared", lines)
            self.assertIn("browser page dropped", lines)
            self.assertEqual(settled(lambda: len(render_processes(qv.pid)), 0), 0,
                             "a render process stayed behind the failed lookup")
            # Nothing of the warm-up showed: the login window is the only window.
            self.assertEqual(s.desktop.find_windows_now("Alderan"), [])

            # The same after a failed lookup started from the window.
            window = s.desktop.find_windows(LOGIN_CAPTION, pid=qv.pid)[0]
            x, y, _, _ = s.desktop.geometry(window)
            mark = len(qv.output.lines())
            s.desktop.click(x + 418, y + 274)
            qv.diag("browser page dropped", 20, mark)
            self.assertEqual(settled(lambda: len(render_processes(qv.pid)), 0), 0)
            s.desktop.click(x + 487, y + 9)
            self.assertEqual(qv.wait_exit(15), 0)

    def test_the_main_window_uses_the_warm_page(self):
        with Session() as s:
            qv = s.start("talvo-qv")
            at, _ = qv.diag("browser page prepared", START_TIMEOUT)
            qv.diag("main window shown", START_TIMEOUT, at)
            s.server.wait_request(lambda t: path_of(t) == "/ui/common/login.jsp", 30,
                                  "the login page request")
            # One render process: the warm page's, which the page went on with.
            self.assertEqual(settled(lambda: len(render_processes(qv.pid)), 1), 1)
            window = s.desktop.find_windows("Alderan", pid=qv.pid)[0]
            s.desktop.close(window)
            self.assertEqual(qv.wait_exit(20), 0)


class PageCommands(unittest.TestCase):
    """The demo pages sign in by themselves; titles pushed to them become commands."""

    def start_signed_in(self, s):
        qv = s.start("talvo-qv")
        qv.diag("main window shown", START_TIMEOUT)
        at, _ = qv.diag("page command: LOGINOK", 40)
        qv.diag("document title reset", 10, at)
        return qv

    def test_chat_then_exit_cancelled_then_confirmed(self):
        with Session("--auto-sign-in") as s:
            qv = self.start_signed_in(s)

            s.server.push_title("VB:CHAT|42")
            at, _ = qv.diag("page command: CHAT|42", 20)
            qv.diag("chat flag set", 5, at)

            s.server.push_title("VB:EXIT")
            at, _ = qv.diag("page command: EXIT", 20, at)
            notice = s.desktop.find_windows(NOTICE_CAPTION, pid=qv.pid)[0]
            self.assertEqual(s.desktop.window_name(notice), NOTICE_CAPTION)
            s.desktop.key("Escape")
            at, _ = qv.diag("exit confirmation: cancel", 10, at)
            qv.diag("document title reset", 10, at)
            time.sleep(0.5)
            self.assertTrue(qv.running(), "Cancel ended the program")

            # The same command again is seen again, since the title was reset.
            s.server.push_title("VB:EXIT")
            at, _ = qv.diag("page command: EXIT", 20, at)
            s.desktop.find_windows(NOTICE_CAPTION, pid=qv.pid)
            s.desktop.key("Return")
            qv.diag("exit confirmation: ok", 10, at)
            self.assertEqual(qv.wait_exit(20), 0)
            qv.diag("main window unloaded", 1, at)

    def test_exitok_ends_without_asking(self):
        with Session("--auto-sign-in") as s:
            qv = self.start_signed_in(s)
            s.server.push_title("VB:EXITOK")
            self.assertEqual(qv.wait_exit(20), 0)
            lines = "\n".join(qv.diags())
            self.assertIn("page command: EXITOK", lines)
            self.assertNotIn("exit confirmation", lines)

    def test_titles_arrive_exactly_as_set(self):
        with Session("--auto-sign-in") as s:
            qv = self.start_signed_in(s)
            # Blanks are part of the title: neither of the first two ends the program.
            for title in (" VB:EXITOK", "VB:EXITOK ", "VB:IMP  PHONE", "VB:CHAT|9"):
                s.server.push_title(title)
            at, _ = qv.diag("page command: CHAT|9", 30)
            qv.diag("document title reset", 10, at)
            self.assertTrue(qv.running(), "a title with blanks ended the program")
            lines = qv.diags()
            for expected in ("page title:  VB:EXITOK", "page title: VB:EXITOK ",
                             "page command: EXITOK ", "page command: IMP  PHONE"):
                self.assertIn(expected, lines)
            self.assertNotIn("page command: EXITOK", lines)
            self.assertNotIn("page command: IMP PHONE", lines)
            self.assertNotIn("main window unloaded", lines)


class MainWindowOnScreen(unittest.TestCase):
    """The main window as a window manager shows it: placed, sized and laid out to fit."""

    def open_main(self, s, *args, env=None):
        qv = s.start("talvo-qv", *args, env=env)
        qv.diag("main window shown", START_TIMEOUT)
        s.server.wait_request(lambda t: path_of(t) == "/ui/common/login.jsp", 30,
                              "the login page request")
        return qv, s.desktop.find_windows("Alderan", pid=qv.pid)[0]

    def settled_frame(self, s, window):
        """The outer rectangle once the window manager has stopped moving it."""
        deadline = time.monotonic() + 15
        last, since = None, time.monotonic()
        while True:
            frame = s.desktop.frame(window)
            if frame != last:
                last, since = frame, time.monotonic()
            elif time.monotonic() - since >= 1.5:
                return frame
            if time.monotonic() > deadline:
                self.fail(f"the window kept moving: {frame}")
            time.sleep(0.2)

    def assert_link_on_screen(self, s, frame, screen, name):
        """The "在线留言" link, blue at the right end of the status bar, is on the screen."""
        shot = read_ppm(s.desktop.screenshot("root", os.path.join(s.scratch, name)))
        x, y, width, height = frame
        bottom = min(y + height, screen[1])
        blue = [(px, py) for py in range(bottom - 30, bottom) for px in range(x + width // 2, x + width)
                if is_link_blue(rgb(shot, px, py))]
        self.assertGreater(len(blue), 20, "no link on the screen")

    def test_laptop_screen(self):
        with Session(screen=(1366, 768), window_manager=True) as s:
            qv, window = self.open_main(s)
            x, y, width, height = frame = self.settled_frame(s, window)
            left, right, _, _ = s.desktop.frame_extents(window)
            self.assertGreater(left + right, 0, "no frame: is the window manager running?")
            # Centred by its frame (with the width it had before its last resize), and whole.
            self.assertEqual((width, height), (1011, 767))
            self.assertEqual((x, y), ((1366 - (970 + left + right)) // 2, 0))
            self.assert_link_on_screen(s, frame, (1366, 768), "laptop.ppm")

            # The page fills the client width: no strip of window background at the right.
            _, _, client_width, client_height = s.desktop.geometry(window)
            shot = read_ppm(s.desktop.screenshot(window, os.path.join(s.scratch, "client.ppm")))
            for py in (60, client_height // 2, client_height - 40):
                r, g, b = rgb(shot, client_width - 1, py)
                self.assertGreater(b, r + 40, f"no page at the right edge, row {py}: {(r, g, b)}")

            s.desktop.close(window)
            self.assertEqual(qv.wait_exit(20), 0)

    def test_scaled_full_hd_screen(self):
        # 1920 x 1080 at a scale of 1.5 leaves 1280 x 720 logical pixels: less than the window.
        with Session(screen=(1920, 1080), window_manager=True) as s:
            qv, window = self.open_main(s, env={"QT_SCALE_FACTOR": "1.5"})
            x, y, width, height = frame = self.settled_frame(s, window)
            self.assertGreaterEqual(x, 0)
            self.assertGreaterEqual(y, 0)
            self.assertLessEqual(x + width, 1920)
            self.assertLessEqual(y + height, 1080)
            # Shrunk to fit, in proportion, and the page zoomed out to match.
            self.assertGreaterEqual(height, 1070)
            self.assertAlmostEqual(width / height, 1011 / 767, delta=0.02)
            _, zoom = qv.diag("main window zoom: ", 5)
            self.assertTrue(0.85 < float(zoom) < 1, zoom)
            self.assert_link_on_screen(s, frame, (1920, 1080), "scaled.ppm")
            s.desktop.close(window)
            self.assertEqual(qv.wait_exit(20), 0)

    def test_long_status_ends_before_the_link(self):
        # A member with many contacts: the status line is far longer than the bar.
        with Session("--long-contact", screen=(1366, 768), window_manager=True) as s:
            qv, window = self.open_main(s)
            _, status = qv.diag("main window status: ", 5)
            self.assertGreater(len(status), 1000)
            self.settled_frame(s, window)
            _, _, width, height = s.desktop.geometry(window)
            shot = read_ppm(s.desktop.screenshot(window, os.path.join(s.scratch, "status.ppm")))
            rows = range(height - 24, height - 1)
            link_left = 888  # "在线留言" in the client area
            text = [(px, py) for py in rows for px in range(0, link_left - 8) if is_text(rgb(shot, px, py))]
            self.assertGreater(len(text), 200, "no status text")
            # Nothing of the status text from just before the link to the bar's right end:
            # only the link's own blue.
            under = [(px, py) for py in rows for px in range(link_left - 4, width)
                     if is_text(rgb(shot, px, py))]
            self.assertEqual(under, [], "status text runs into the link")
            blue = [1 for py in rows for px in range(link_left, width) if is_link_blue(rgb(shot, px, py))]
            self.assertGreater(len(blue), 20, "no link")
            s.desktop.close(window)
            self.assertEqual(qv.wait_exit(20), 0)


def read_ppm(path):
    with open(path, "rb") as f:
        data = f.read()
    # Binary PPM: "P6", width, height, maxval, then exactly one blank before the pixels.
    header = re.match(rb"P6\s+(\d+)\s+(\d+)\s+255\s", data)
    if not header:
        raise ValueError(f"{path} is not an 8-bit binary PPM")
    width, height = int(header.group(1)), int(header.group(2))
    return width, height, data[header.end():]


def rgb(pixels, x, y):
    width, _, raw = pixels
    return tuple(raw[(y * width + x) * 3:(y * width + x) * 3 + 3])


def gray(pixels, x, y):
    r, g, b = rgb(pixels, x, y)
    return (r * 11 + g * 16 + b * 5) // 32


def eventually_value(get, timeout=5.0):
    """The first truthy get(), polling until timeout; the last value otherwise."""
    deadline = time.monotonic() + timeout
    while True:
        value = get()
        if value or time.monotonic() > deadline:
            return value
        time.sleep(0.2)


def is_link_blue(pixel):
    r, g, b = pixel
    return b > 150 and b > r + 80 and b > g + 80


def is_text(pixel):
    """A dark, colourless pixel: status text, not the blue link or the bar's light grey."""
    r, g, b = pixel
    return max(r, g, b) < 150 and max(r, g, b) - min(r, g, b) < 40


def eventually(check, timeout=5.0):
    """True once check() holds, polling until timeout; the window repaints asynchronously."""
    deadline = time.monotonic() + timeout
    while True:
        if check():
            return True
        if time.monotonic() > deadline:
            return False
        time.sleep(0.2)


if __name__ == "__main__":
    unittest.main()
