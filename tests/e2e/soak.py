"""Soak: the client over a working day. After a warm-up it drives the demo application
through what a day mostly is, interleaved: customer windows opened and closed (by their page's
window.close() or by the user through the window manager's close), downloads saved and
cancelled, print previews opened and closed, page dialogs answered, desktop notifications
shown and closed (by the page or on the desktop), and title commands with reloads in
between. It measures after the warm-up, half-way and at the end: proportional set size per
process kind, the browser process's open handles by kind, the processes and the client's
top-level windows. It fails when the total memory grows by more than 10 % from the warm-up to
the end, when any kind of handle grows, or when the processes or windows are not back to
what they were after the warm-up.

    TALVO_SOAK=1 python3 soak.py [--scale F]      (or TALVO_SOAK_SCALE=F)

The full day: 300 customer windows, 100 downloads, 50 print previews, 500 page dialogs,
200 notifications, 2,000 title commands and 500 reloads after a warm-up of a tenth of each.
--scale 0.1 runs a tenth of all of it. Without TALVO_SOAK=1 or a scale it is skipped
(status 77): the full day takes most of an hour."""

import argparse
import os
import re
import subprocess
import sys
import time
import unittest
from collections import Counter

from harness import Session, process_children

START_TIMEOUT = 45
DIALOG_CAPTION = "来自网页的消息"
SAVE_CAPTION = "另存为"
PREVIEW_CAPTION = "打印预览"
CUSTOMER_CAPTION = "客户详情"
SOAK_PAGE = "/ui/common/soak.jsp"
MAIN_TITLE = "Alderan"

DAY = {"popups": 300, "downloads": 100, "prints": 50, "dialogs": 500, "notifications": 200,
       "titles": 2000, "reloads": 500}
# Waits are generous: the machines this runs on are often busy with builds.
WAIT = 60


def processes(client_pid):
    """{pid: kind} of the client and its engine processes: the processes under the client
    (the engine's zygotes and helpers are its children, render processes the zygote's). Not
    by their environment, as the harness finds them: with a session bus of the client's own,
    as here, their environment read back without the client's entries."""
    children = process_children()
    found = {client_pid: "browser"}
    below = list(children.get(client_pid, []))
    while below:
        pid = below.pop()
        below += children.get(pid, [])
        try:
            with open(f"/proc/{pid}/cmdline", "rb") as f:
                # A render process rewrites its command line into one string.
                args = f.read().replace(b"\0", b" ").split()
        except OSError:
            continue
        renderer = b"--type=renderer" in args or (b"--type=zygote" in args and pid not in children[client_pid])
        found[pid] = "renderer" if renderer else "helper"
    return found


def memory_kib(pid):
    """(proportional set size, private set size) of pid in KiB. The proportional one shares
    each library page among all processes mapping it, other programs' too: on a machine
    where other clients come and go it moves with them. The private one is ours alone."""
    pss = private = 0
    with open(f"/proc/{pid}/smaps_rollup") as f:
        for line in f:
            if line.startswith("Pss:"):
                pss = int(line.split()[1])
            elif line.startswith(("Private_Clean:", "Private_Dirty:")):
                private += int(line.split()[1])
    return pss, private


def socket_tables(pid):
    """{socket inode: "tcp" | "udp" | "unix"} from the process's network tables."""
    tables = {}
    for name, inode_field in (("tcp", 9), ("tcp6", 9), ("udp", 9), ("udp6", 9), ("unix", 6)):
        try:
            with open(f"/proc/{pid}/net/{name}") as f:
                next(f)
                for line in f:
                    fields = line.split()
                    if len(fields) > inode_field:
                        tables[fields[inode_field]] = name.rstrip("6")
        except OSError:
            pass
    return tables


def handle_kinds(pid, scratch):
    """Counter of what the open handles point at: files by path, sockets by protocol."""
    tables = socket_tables(pid)
    kinds = Counter()
    for fd in os.listdir(f"/proc/{pid}/fd"):
        try:
            target = os.readlink(f"/proc/{pid}/fd/{fd}")
        except OSError:
            continue
        socket = re.fullmatch(r"socket:\[(\d+)\]", target)
        if socket:
            target = f"{tables.get(socket.group(1), 'other')} socket"
        else:
            target = re.sub(r":\[\d+\]$", "", target).replace(scratch, "$TMPDIR")
            # The engine's storage databases move on to a new numbered log and table file
            # now and then: one kind whatever the number.
            target = re.sub(r"/\d{6}\.(log|ldb)$", r"/NNNNNN.\1", target)
        kinds[target] += 1
    return kinds


def handle_range(pid, scratch):
    """(fewest, most) handles of each kind over five seconds: requests in flight open
    and close sockets and pipes, so one look is not enough."""
    fewest, most = None, Counter()
    for _ in range(10):
        kinds = handle_kinds(pid, scratch)
        fewest = kinds if fewest is None else fewest & kinds
        most |= kinds
        time.sleep(0.5)
    return fewest, most


def client_windows(desktop, pid):
    """(shown, all) top-level X windows of the client: the ones on the screen, and all it
    has made and not destroyed (hidden ones too)."""
    def count(*options):
        done = subprocess.run(["xdotool", "search", *options, "--pid", str(pid)],
                              env=desktop.env, capture_output=True, timeout=30)
        return len(done.stdout.split())
    return count("--onlyvisible"), count()


class Point:
    """One look at the client: memory, handles, processes and windows."""

    def __init__(self, name, qv, s, elapsed):
        self.name = name
        self.elapsed = elapsed
        self.pss, self.private = {}, {}
        for pid, kind in processes(qv.pid).items():
            try:
                pss, private = memory_kib(pid)
            except OSError:
                continue
            self.pss[kind] = self.pss.get(kind, 0) + pss
            self.private[kind] = self.private.get(kind, 0) + private
        self.handles = handle_range(qv.pid, s.scratch)
        # Read now: the scratch folder is gone once the session is over.
        self.tables = {kind: live_tables(kind, s.scratch) for kind in self.handles[1]
                       if live_tables(kind, s.scratch) is not None}
        self.processes = len(processes(qv.pid))
        self.windows = client_windows(s.desktop, qv.pid)


def settle(qv, s, base, timeout=30):
    """Waits (bounded) until the processes and windows are back to base: a closed window's
    render process or a print's helper goes a moment after the window."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if (len(processes(qv.pid)) <= base.processes and
                client_windows(s.desktop, qv.pid) == base.windows):
            return
        time.sleep(1)


def live_tables(kind, scratch):
    """For the kind of an engine database's table files, how many tables the database has on
    disk now; None for any other kind."""
    if not kind.endswith("/NNNNNN.ldb"):
        return None
    folder = os.path.dirname(kind.replace("$TMPDIR", scratch, 1))
    try:
        return sum(1 for name in os.listdir(folder) if re.fullmatch(r"\d{6}\.ldb", name))
    except OSError:
        return 0


def grown_handles(earlier, end, tables):
    """Kinds held at the end beyond the most seen at any earlier look. A kind opened once
    and kept (a database's journal, say) shows by the middle look and passes; a leak goes
    on growing and fails, unless it is slower than one handle over half the run.

    The engine's storage databases keep the table files they have read open, as a cache
    of their own: as a database grows, a table may be opened for good. Those pass while
    each open table is one the database still has; a handle to a deleted table would be a
    kind of its own ("... (deleted)") and fail."""
    most = Counter()
    for _, seen in earlier:
        most |= seen
    fewest_at_end = end[0]
    grown = {}
    for kind, count in fewest_at_end.items():
        if count <= most[kind]:
            continue
        if kind in tables and count <= tables[kind]:
            print(f"  note: {kind}: {count} of the database's {tables[kind]} tables open (was {most[kind]})")
            continue
        grown[kind] = (most[kind], count)
    return grown


def spread(counts):
    """The kinds of work in counts ({kind: n}) as one list, each kind spread evenly over it."""
    steps = []
    for kind, n in counts.items():
        steps += [((i + 0.5) / n, kind, i) for i in range(n)]
    steps.sort()
    return [(kind, i) for _, kind, i in steps]


class Day:
    """Drives one client on the soak page; each step waits until it is over."""

    def __init__(self, s, qv, bus):
        self.s, self.qv, self.bus = s, qv, bus
        self.downloads = os.path.join(s.scratch, "home", "Downloads")
        main = s.desktop.find_windows(MAIN_TITLE, pid=qv.pid)[0]
        x, y, width, height = s.desktop.geometry(main)
        # A blank spot of the page, below its few lines.
        self.blank = (x + width // 2, y + height * 3 // 4)
        self.done = Counter()
        self.spent = Counter()
        self.sent_titles = 0

    def now(self):
        return len(self.qv.output.lines())

    def click_page(self):
        """A click on the page: the keyboard goes there, and it is the user gesture a page
        needs to open a window."""
        self.s.desktop.click(*self.blank)
        time.sleep(0.2)

    def titles_and_reload(self, titles, phase):
        at = self.now()
        for _ in range(titles):
            self.sent_titles += 1
            self.s.server.push_title(f"VB:CHAT|{phase}-{self.sent_titles}")
        if titles:
            at, _ = self.qv.diag(f"page command: CHAT|{phase}-{self.sent_titles}", WAIT * 2, at)
        self.click_page()
        mark = self.s.server.mark()
        self.s.desktop.key("F5")
        self.qv.diag("browser key: reload", WAIT, at)
        self.s.server.wait_report("loaded", WAIT, start=mark)
        self.done["titles"] += titles
        self.done["reloads"] += 1

    def dialog(self, i):
        kind = ("alert", "confirm", "prompt")[i % 3]
        key = "Return" if kind == "alert" or (i // 3) % 2 == 0 else "Escape"
        expected = {"alert": "closed", "confirm": "true" if key == "Return" else "false",
                    "prompt": "text:新客户" if key == "Return" else "null"}[kind]
        at, mark = self.now(), self.s.server.mark()
        self.s.server.push_action("soak", kind)
        self.qv.diag(f"page dialog: {kind} ", WAIT, at)
        box = self.s.desktop.find_windows(DIALOG_CAPTION, pid=self.qv.pid, timeout=WAIT)[0]
        self.s.desktop.key_to(box, key)
        _, value = self.s.server.wait_report(kind, WAIT, start=mark)
        if value != expected:
            raise AssertionError(f"{kind} answered with {key} reported {value!r}, not {expected!r}")
        self.done["dialogs"] += 1

    def popup(self, i):
        """A customer window; every other one closed by its page, the rest by the user."""
        self.click_page()
        at = self.now()
        self.s.server.push_action("soak", f"popup:{1000 + i}")
        self.qv.diag("popup opened: ", WAIT, at)
        title = f"{CUSTOMER_CAPTION} - 客户 {1000 + i}"
        window = self.s.desktop.find_windows(title, pid=self.qv.pid, timeout=WAIT)[0]
        if i % 2 == 0:
            # Queued: its page takes it once its scripts run.
            self.s.server.push_action("customer", "close")
            self.qv.diag("popup closed by its page", WAIT, at)
        else:
            self.s.desktop.close(window)
        deadline = time.monotonic() + WAIT
        while self.s.desktop.find_windows_now(CUSTOMER_CAPTION):
            if time.monotonic() > deadline:
                raise TimeoutError(f"{title} still shown {WAIT}s after it was closed")
            time.sleep(0.2)
        self.done["popups"] += 1

    def download(self, i):
        """Every third one cancelled in the save dialog, the rest saved under the name offered."""
        at = self.now()
        self.s.server.push_action("soak", "download")
        save = self.s.desktop.find_windows(SAVE_CAPTION, pid=self.qv.pid, timeout=WAIT)[0]
        self.qv.diag("download requested: ", WAIT, at)
        if i % 3 == 2:
            self.s.desktop.key_to(save, "Escape")
            self.qv.diag("download cancelled: ", WAIT, at)
        else:
            self.s.desktop.key_to(save, "Return")
            _, path = self.qv.diag("download complete: ", WAIT, at)
            if os.path.dirname(path) != self.downloads or not os.path.getsize(path):
                raise AssertionError(f"download saved as {path}")
            # A user files it away; the next one gets the same name again.
            os.remove(path)
        self.done["downloads"] += 1

    def print_preview(self, i):
        at, mark = self.now(), self.s.server.mark()
        self.s.server.push_action("soak", "print")
        self.qv.diag("print preview opened", WAIT, at)
        preview = self.s.desktop.find_windows(PREVIEW_CAPTION, pid=self.qv.pid, timeout=WAIT)[0]
        self.qv.diag("print rendered", WAIT * 2, at)
        self.s.desktop.key_to(preview, "Escape")
        self.qv.diag("print preview closed", WAIT, at)
        self.s.server.wait_report("print", WAIT, start=mark)
        self.done["prints"] += 1

    def notification(self, i):
        """Shown, every fourth one replaced by a newer one of its tag first, then closed by
        the page (even ones) or on the desktop (odd ones)."""
        name = f"n{i}"
        tagged = i % 4 == 2
        at = self.now()
        self.s.server.push_action("soak", f"notify:{name}" + (f":t{i}" if tagged else ""))
        self.qv.diag("notification shown: ", WAIT, at)
        if tagged:
            at = self.now()
            name += "b"
            self.s.server.push_action("soak", f"notify:{name}:t{i}")
            self.qv.diag("notification replaced: ", WAIT, at)
        at = self.now()
        if i % 2 == 0:
            self.s.server.push_action("soak", f"unnotify:{name}")
            self.qv.diag("notification closed by the page", WAIT, at)
        else:
            self.bus.ctl("close")
            self.qv.diag("notification closed by the desktop", WAIT, at)
        self.done["notifications"] += 1

    def run(self, counts, phase):
        """counts: {kind: n} of this part of the day; titles go in batches before reloads."""
        work = {k: n for k, n in counts.items() if k not in ("titles", "reloads") and n}
        reloads = counts.get("reloads", 0)
        if reloads:
            work["reloads"] = reloads
        titles_left = counts.get("titles", 0)
        per_reload = titles_left // max(1, reloads)
        steps = {"popups": self.popup, "downloads": self.download, "prints": self.print_preview,
                 "dialogs": self.dialog, "notifications": self.notification}
        for kind, i in spread(work):
            began = time.monotonic()
            if kind == "reloads":
                batch = per_reload if i < reloads - 1 else titles_left
                titles_left -= batch
                self.titles_and_reload(batch, phase)
            else:
                steps[kind](self.done[kind])
            self.spent[kind] += time.monotonic() - began


def scaled(scale):
    return {kind: max(1, round(n * scale)) for kind, n in DAY.items()}


def part(counts, share):
    """A share of counts, at least one of each, so every kind has been used before the
    baseline."""
    return {kind: max(1, round(n * share)) for kind, n in counts.items()}


def table(points, total_took):
    rows = []
    kinds = sorted({k for p in points for k in p.pss})
    head = f"  {'':26}" + "".join(f"{p.name:>14}" for p in points)
    rows.append(head)
    for kind in kinds:
        rows.append(f"  {'PSS ' + kind + ' (MiB)':26}" +
                    "".join(f"{p.pss.get(kind, 0) / 1024:14.1f}" for p in points))
    rows.append(f"  {'PSS total (MiB)':26}" + "".join(f"{sum(p.pss.values()) / 1024:14.1f}" for p in points))
    for kind in kinds:
        rows.append(f"  {'private ' + kind + ' (MiB)':26}" +
                    "".join(f"{p.private.get(kind, 0) / 1024:14.1f}" for p in points))
    rows.append(f"  {'private total (MiB)':26}" +
                "".join(f"{sum(p.private.values()) / 1024:14.1f}" for p in points))
    rows.append(f"  {'handles (fewest-most)':26}" +
                "".join(f"{sum(p.handles[0].values())}-{sum(p.handles[1].values()):>3}".rjust(14) for p in points))
    rows.append(f"  {'processes':26}" + "".join(f"{p.processes:14}" for p in points))
    rows.append(f"  {'windows (shown/all)':26}" +
                "".join(f"{p.windows[0]}/{p.windows[1]}".rjust(14) for p in points))
    rows.append(f"  {'time since warm-up start':26}" + "".join(f"{p.elapsed:13.0f}s" for p in points))
    rows.append(f"  took {total_took:.0f} s in all")
    return "\n".join(rows)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--scale", type=float, default=None,
                        help="share of the full day to run (default 1, or TALVO_SOAK_SCALE)")
    args = parser.parse_args()
    scale = args.scale
    if scale is None and os.environ.get("TALVO_SOAK_SCALE"):
        scale = float(os.environ["TALVO_SOAK_SCALE"])
    if scale is None:
        if os.environ.get("TALVO_SOAK") != "1":
            print("soak skipped: set TALVO_SOAK=1 (the full day runs for most of an hour) "
                  "or give a scale")
            return 77
        scale = 1.0
    counts = scaled(scale)
    warm_up = part(counts, 0.1)
    first = part(counts, 0.5)
    second = {kind: counts[kind] - first[kind] for kind in counts}

    from test_notifications import PrivateBus
    with Session("--auto-sign-in") as s:
        try:
            bus = PrivateBus(s)
        except unittest.SkipTest as e:
            print(f"soak skipped: {e}")
            return 77
        try:
            os.makedirs(os.path.join(s.scratch, "home", "Downloads"), exist_ok=True)
            qv = s.start("talvo-qv", env=bus.env)
            qv.diag("main window shown", START_TIMEOUT)
            qv.diag("page command: LOGINOK", 40)
            mark = s.server.mark()
            s.server.push_action("home", "goto:" + SOAK_PAGE)
            s.server.wait_report("loaded", WAIT, start=mark)
            _, answer = s.server.wait_report("notification-permission", WAIT, start=mark)
            if answer != "granted":
                raise AssertionError(f"notifications {answer} for the application")
            day = Day(s, qv, bus)

            started = time.monotonic()
            day.run(warm_up, "W")
            time.sleep(3)
            base = Point("warm-up", qv, s, time.monotonic() - started)
            day.run(first, "R")
            time.sleep(3)
            middle = Point("half-way", qv, s, time.monotonic() - started)
            day.run(second, "S")
            time.sleep(3)
            settle(qv, s, base)
            end = Point("end", qv, s, time.monotonic() - started)
            took = time.monotonic() - started
            ok = qv.running()
            left_on_desktop = bus.displayed()
        finally:
            bus.stop()

    done = ", ".join(f"{day.done[k]} {k}" for k in DAY)
    print(f"soak: {done} (scale {scale:g}; warm-up included)")
    print(table([base, middle, end], took))
    print("  time per step: " + ", ".join(
        f"{kind} {day.spent[kind] / max(1, day.done[kind]):.2f} s" for kind in DAY if kind != "titles") +
        " (a reload's step includes its batch of title commands)")
    def growth(values):
        first, last = sum(values(base).values()), sum(values(end).values())
        return (last - first) / first * 100 if first else 0
    pss_growth = growth(lambda p: p.pss)
    private_growth = growth(lambda p: p.private)
    print(f"  total warm-up -> end: PSS {pss_growth:+.1f} %, private {private_growth:+.1f} %")
    failures = []
    if not ok:
        failures.append("the client ended")
    # Judged on the proportional figure, the goal's measure; the private one is printed
    # beside it because on a shared machine the proportional one also moves with other
    # programs mapping the same libraries.
    if pss_growth > 10:
        failures.append(f"memory (PSS) grew {pss_growth:.1f} %")
    for kind, (before, after) in sorted(grown_handles([base.handles, middle.handles], end.handles, end.tables).items()):
        failures.append(f"handles to {kind} grew {before} -> {after}")
    if end.processes != base.processes:
        failures.append(f"processes {base.processes} after the warm-up, {end.processes} at the end")
    if end.windows != base.windows:
        failures.append(f"windows (shown/all) {base.windows[0]}/{base.windows[1]} after the warm-up, "
                        f"{end.windows[0]}/{end.windows[1]} at the end")
    if left_on_desktop:
        failures.append(f"{left_on_desktop} notifications left on the desktop")
    for f in failures:
        print("FAIL:", f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
