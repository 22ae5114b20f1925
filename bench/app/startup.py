"""Start-up time and peak memory of talvo-qv, against a bare browser view in the same run.

Start-up: from process start to the demo server logging the request for
/ui/common/login.jsp. Memory: the sum of VmHWM over the program and every process it started
(the browser engine's helpers included), read once the page has loaded, and the peak of the
summed RSS sampled every 20 ms.

Three parts, each with its runs interleaved so drift in machine load hits both sides alike:
  loopback  talvo-qv against the bare view, the server answering at once;
  latency   the server answers every service request after 100 ms; talvo-qv against the
            sequential reference: the bare view's own time plus the three round trips
            (check code, address, contact summary) measured in the same run;
  click     plain talvo with 100 ms answers: from the click on the login picture to the
            page request, against the same three round trips.

Usage: python3 bench/app/startup.py [--runs 7] [--parts loopback,latency,click]
(the programs of build/bin, as ./run builds them; TALVO_BIN and TALVO_XCLOSE say otherwise)
"""

import argparse
import os
import re
import statistics
import sys
import threading
import time
import urllib.request

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..",
                                "tests", "e2e"))
import harness  # noqa: E402


def status_kb(pid, field):
    try:
        with open(f"/proc/{pid}/status") as f:
            for line in f:
                if line.startswith(field + ":"):
                    return int(line.split()[1])
    except OSError:
        pass
    return 0


class RssSampler:
    def __init__(self, pid):
        self.pid = pid
        self.peak_kb = 0
        self._stop = threading.Event()
        self._thread = threading.Thread(target=self._run, daemon=True)
        self._thread.start()

    def _run(self):
        while not self._stop.is_set():
            total = sum(status_kb(p, "VmRSS") for p in harness.descendants(self.pid))
            self.peak_kb = max(self.peak_kb, total)
            self._stop.wait(0.02)

    def stop(self):
        self._stop.set()
        self._thread.join(5)


STEP = re.compile(r"startup: (.+) at (-?\d+) ms$")


def timeline(proc):
    """{step: ms since the process was created} from the client's diagnostics, each step's
    first time (a retried request counts from its first attempt)."""
    steps = {}
    for line in proc.output.lines():
        m = STEP.search(line)
        if m and m.group(1) not in steps:
            steps[m.group(1)] = int(m.group(2))
    return steps


def print_timeline(timelines, server_at, reference_ms):
    """The median of each step over the runs, in the order the steps came."""
    order = sorted({step for t in timelines for step in t},
                   key=lambda step: statistics.median(t[step] for t in timelines if step in t))
    print("start-up timeline (median ms since the process was created; "
          f"{len(timelines)} runs):")
    previous = 0
    for step in order:
        at = statistics.median(t[step] for t in timelines if step in t)
        seen = sum(step in t for t in timelines)
        note = "" if seen == len(timelines) else f"   (in {seen} of {len(timelines)} runs)"
        print(f"  {at:7.0f}  +{at - previous:5.0f}  {step}{note}")
        previous = at
    print(f"  {statistics.median(server_at):7.0f}  +{statistics.median(server_at) - previous:5.0f}  "
          "the server sees the login page request")
    print(f"  {reference_ms:7.0f}           sequential reference (bare view + three round trips)", flush=True)


def one_run(session, program, page_url, settle=2.0, steps=None):
    before = len(session.server.process.output.lines())
    env = harness.client_env(session.xvfb.display, session.scratch)
    if program == "talvo-qv":
        args = [harness.binary("talvo-qv"), "--server", session.server.address]
    else:
        args = [harness.binary("bench_bare_view"), page_url]
    started = time.monotonic()
    proc = harness.Process(args, env=env, name=program)
    sampler = RssSampler(proc.pid)
    try:
        session.server.process.output.wait_for(
            lambda l: " /ui/common/login.jsp" in l, 60, start=before,
            what="the login page request")
        startup = time.monotonic() - started
        if steps is not None:
            steps.append(timeline(proc))
        # Let the page finish loading and painting before reading the high-water marks.
        time.sleep(settle)
        hwm_kb = sum(status_kb(p, "VmHWM") for p in harness.descendants(proc.pid))
        sampler.stop()
        windows = session.desktop.find_windows("Alderan" if program == "talvo-qv" else "bare view",
                                               pid=proc.pid)
        session.desktop.close(windows[0])
        proc.wait_exit(20)
        return startup, hwm_kb, sampler.peak_kb
    finally:
        sampler.stop()
        proc.stop()


LOGIN_CAPTION = "用户登录"
DELAY_MS = 100


def round_trips(server):
    """Seconds for the three service requests the client makes before the page, one after the
    other, as a plain HTTP client sees them."""
    started = time.monotonic()
    for target in ("/soft!code.action?rnm=1", "/softcheck!geturl.action?member=qv1&rnm=1",
                   "/softcheck!contact.action?memberid=qv1&rnm=1"):
        with urllib.request.urlopen(server.url + target, timeout=10) as reply:
            reply.read()
    return time.monotonic() - started


def click_run(session):
    """Plain talvo: from the click on the login picture to the login-page request."""
    proc = harness.Client("talvo", session.xvfb.display, session.scratch, "--server",
                          session.server.address)
    try:
        proc.diag("login window shown", 60)
        window = session.desktop.find_windows(LOGIN_CAPTION, pid=proc.pid)[0]
        x, y, _, _ = session.desktop.geometry(window)
        # The browser engine warms up while the window is shown; a user takes a moment too.
        time.sleep(3.0)
        before = len(session.server.process.output.lines())
        session.desktop.move(x + 418, y + 274)
        clicked = time.monotonic()
        session.desktop.run("xdotool", "click", "1")
        session.server.process.output.wait_for(
            lambda l: " /ui/common/login.jsp" in l, 60, start=before, what="the login page request")
        took = time.monotonic() - clicked
        windows = session.desktop.find_windows("Cedrow", pid=proc.pid)
        session.desktop.close(windows[0])
        proc.wait_exit(20)
        return took
    finally:
        proc.stop()


def load_note():
    with open("/proc/loadavg") as f:
        return "load average " + " ".join(f.read().split()[:3]) + f", {os.cpu_count()} cores"


def loopback_part(runs):
    results = {"talvo-qv": [], "bare view": []}
    with harness.Session() as session:
        page_url = f"{session.server.url}/ui/common/login.jsp?cp=1"
        # One untimed start of each warms the disk cache and the font cache.
        for program in results:
            one_run(session, program, page_url)
        for run in range(runs):
            for program in results:
                startup, hwm, peak = one_run(session, program, page_url)
                results[program].append((startup, hwm, peak))
                print(f"run {run + 1}: {program:9s} start-up {startup * 1000:7.0f} ms   "
                      f"VmHWM sum {hwm / 1024:6.1f} MiB   peak RSS sum {peak / 1024:6.1f} MiB",
                      flush=True)
    print()
    medians = {}
    for program, rows in results.items():
        medians[program] = tuple(statistics.median(r[i] for r in rows) for i in range(3))
        startup, hwm, peak = medians[program]
        print(f"median over {len(rows)} runs, {program:9s}: start-up {startup * 1000:6.0f} ms, "
              f"VmHWM sum {hwm / 1024:6.1f} MiB, peak RSS sum {peak / 1024:6.1f} MiB")
    ours, floor = medians["talvo-qv"], medians["bare view"]
    print(f"loopback: ratio talvo-qv / bare view: start-up {ours[0] / floor[0]:.2f} (goal <= 1.2), "
          f"VmHWM {ours[1] / floor[1]:.2f} (goal <= 1.03), peak RSS {ours[2] / floor[2]:.2f}   "
          f"[{load_note()}]", flush=True)


def latency_part(runs):
    ours, bare, trips, steps = [], [], [], []
    with harness.Session("--delay-ms", str(DELAY_MS)) as session:
        page_url = f"{session.server.url}/ui/common/login.jsp?cp=1"
        one_run(session, "talvo-qv", page_url, settle=0.5)
        one_run(session, "bare view", page_url, settle=0.5)
        for run in range(runs):
            ours.append(one_run(session, "talvo-qv", page_url, settle=0.5, steps=steps)[0])
            bare.append(one_run(session, "bare view", page_url, settle=0.5)[0])
            trips.append(round_trips(session.server))
            print(f"run {run + 1}: talvo-qv {ours[-1] * 1000:6.0f} ms   bare view {bare[-1] * 1000:6.0f} ms"
                  f"   three round trips {trips[-1] * 1000:5.0f} ms", flush=True)
    reference = statistics.median(bare) + statistics.median(trips)
    print(f"latency {DELAY_MS} ms: median talvo-qv {statistics.median(ours) * 1000:.0f} ms, bare view "
          f"{statistics.median(bare) * 1000:.0f} ms + round trips {statistics.median(trips) * 1000:.0f} ms"
          f" = sequential reference {reference * 1000:.0f} ms; ratio "
          f"{statistics.median(ours) / reference:.2f} (goal <= 0.65)   [{load_note()}]", flush=True)
    print_timeline(steps, [t * 1000 for t in ours], reference * 1000)


def click_part(runs):
    clicks, trips = [], []
    with harness.Session("--delay-ms", str(DELAY_MS)) as session:
        click_run(session)
        for run in range(runs):
            clicks.append(click_run(session))
            trips.append(round_trips(session.server))
            print(f"run {run + 1}: click to page request {clicks[-1] * 1000:6.0f} ms   "
                  f"three round trips {trips[-1] * 1000:5.0f} ms", flush=True)
    over = statistics.median(clicks) - statistics.median(trips)
    print(f"click, latency {DELAY_MS} ms: median click to page request "
          f"{statistics.median(clicks) * 1000:.0f} ms, three round trips "
          f"{statistics.median(trips) * 1000:.0f} ms; over them {over * 1000:.0f} ms (goal <= 50 ms)"
          f"   [{load_note()}]", flush=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--runs", type=int, default=7)
    parser.add_argument("--parts", default="loopback,latency,click")
    options = parser.parse_args()
    parts = {"loopback": loopback_part, "latency": latency_part, "click": click_part}
    for name in options.parts.split(","):
        if name not in parts:
            parser.error(f"unknown part: {name}")
        print(f"== {name} ==", flush=True)
        parts[name](options.runs)
        print(flush=True)


if __name__ == "__main__":
    main()
