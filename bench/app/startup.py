"""Start-up time and peak memory of talvo-qv, against a bare browser view in the same run.

Start-up: from process start to the demo server logging the request for
/ui/common/login.jsp. Memory: the sum of VmHWM over the program and every process it started
(the browser engine's helpers included), read once the page has loaded, and the peak of the
summed RSS sampled every 20 ms.

Usage: TALVO_BIN=build/bin TALVO_XCLOSE=... python3 startup.py [--runs 7]
"""

import argparse
import os
import statistics
import sys
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..",
                                "tests", "e2e"))
import harness  # noqa: E402


def descendants(pid):
    """pid and every live process below it (found by parent pid, as not every kernel offers
    /proc/PID/task/TID/children)."""
    children = {}
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/stat") as f:
                # The command name may hold blanks; the parent pid follows its closing bracket.
                ppid = int(f.read().rsplit(")", 1)[1].split()[1])
        except (OSError, IndexError, ValueError):
            continue
        children.setdefault(ppid, []).append(int(entry))
    found = [pid]
    index = 0
    while index < len(found):
        found.extend(children.get(found[index], []))
        index += 1
    return found


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
            total = sum(status_kb(p, "VmRSS") for p in descendants(self.pid))
            self.peak_kb = max(self.peak_kb, total)
            self._stop.wait(0.02)

    def stop(self):
        self._stop.set()
        self._thread.join(5)


def one_run(session, program, page_url):
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
        # Let the page finish loading and painting before reading the high-water marks.
        time.sleep(2.0)
        hwm_kb = sum(status_kb(p, "VmHWM") for p in descendants(proc.pid))
        sampler.stop()
        windows = session.desktop.find_windows("Alderan" if program == "talvo-qv" else "bare view",
                                               pid=proc.pid)
        session.desktop.close(windows[0])
        proc.wait_exit(20)
        return startup, hwm_kb, sampler.peak_kb
    finally:
        sampler.stop()
        proc.stop()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--runs", type=int, default=7)
    options = parser.parse_args()

    results = {"talvo-qv": [], "bare view": []}
    with harness.Session() as session:
        page_url = f"{session.server.url}/ui/common/login.jsp?cp=1"
        # One untimed start of each warms the disk cache and the font cache.
        for program in results:
            one_run(session, program, page_url)
        # Interleaved, so drift in machine load hits both alike.
        for run in range(options.runs):
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
    print(f"ratio talvo-qv / bare view: start-up {ours[0] / floor[0]:.2f}, "
          f"VmHWM {ours[1] / floor[1]:.2f}, peak RSS {ours[2] / floor[2]:.2f}")


if __name__ == "__main__":
    main()
