"""Soak: the client over a long session. Drives the demo application through title commands
and reloads, and checks that memory (proportional set size, per process kind) grows by at
most 15 % after warm-up and that neither open handles nor processes grow.

    TALVO_SOAK=1 python3 soak.py [TITLES NAVIGATIONS]   (defaults 2000 and 500)

Without TALVO_SOAK=1 it is skipped (status 77): it takes minutes."""

import os
import sys
import time

from harness import Session

START_TIMEOUT = 45


def processes(client_pid, scratch):
    """{pid: kind} of the client and its engine helpers (found by the private temp folder)."""
    mark = b"TMPDIR=" + scratch.encode()
    found = {client_pid: "browser"}
    for entry in os.listdir("/proc"):
        if not entry.isdigit() or int(entry) == client_pid:
            continue
        try:
            with open(f"/proc/{entry}/environ", "rb") as f:
                if mark not in f.read().split(b"\0"):
                    continue
            with open(f"/proc/{entry}/cmdline", "rb") as f:
                args = f.read().split(b"\0")
            with open(f"/proc/{entry}/stat") as f:
                parent = int(f.read().rsplit(")", 1)[1].split()[1])
        except OSError:
            continue
        if b"--type=renderer" in args or (b"--type=zygote" in args and parent != client_pid):
            found[int(entry)] = "renderer"
        elif any(a.startswith(b"--type=") for a in args):
            found[int(entry)] = "helper"
    return found


def pss_kib(pid):
    with open(f"/proc/{pid}/smaps_rollup") as f:
        for line in f:
            if line.startswith("Pss:"):
                return int(line.split()[1])
    return 0


def handle_targets(pid):
    targets = []
    for fd in os.listdir(f"/proc/{pid}/fd"):
        try:
            targets.append(os.readlink(f"/proc/{pid}/fd/{fd}"))
        except OSError:
            pass
    return targets


def measure(client_pid, scratch):
    kinds = {}
    for pid, kind in processes(client_pid, scratch).items():
        try:
            kinds[kind] = kinds.get(kind, 0) + pss_kib(pid)
        except OSError:
            pass
    # Sockets and pipes come and go with requests in flight: the fewest of a few looks.
    fds = []
    for _ in range(5):
        fds.append(len(os.listdir(f"/proc/{client_pid}/fd")))
        time.sleep(0.5)
    return kinds, min(fds), len(processes(client_pid, scratch))


def drive(s, qv, titles, navigations, start_at, phase):
    """titles title commands and navigations reloads, interleaved; phase tells the commands
    apart (upper case: the bridge reports commands in upper case)."""
    at = start_at
    per_nav = max(1, titles // max(1, navigations))
    sent = 0
    for n in range(navigations):
        batch = min(per_nav, titles - sent)
        for i in range(batch):
            s.server.push_title(f"VB:CHAT|{phase}-{sent + i + 1}")
        sent += batch
        if batch:
            at, _ = qv.diag(f"page command: CHAT|{phase}-{sent}", 60, at)
        s.desktop.key("F5")
        at, _ = qv.diag("browser key: reload", 10, at)
    rest = titles - sent
    while sent < titles:
        sent += 1
        s.server.push_title(f"VB:CHAT|{phase}-{sent}")
    if rest:
        at, _ = qv.diag(f"page command: CHAT|{phase}-{titles}", 120, at)
    return at


def main():
    if os.environ.get("TALVO_SOAK") != "1":
        print("soak skipped: set TALVO_SOAK=1 (it runs for minutes)")
        return 77
    titles = int(sys.argv[1]) if len(sys.argv) > 1 else 2000
    navigations = int(sys.argv[2]) if len(sys.argv) > 2 else 500
    with Session("--auto-sign-in") as s:
        qv = s.start("talvo-qv")
        qv.diag("main window shown", START_TIMEOUT)
        at, _ = qv.diag("page command: LOGINOK", 40)
        # Warm-up: a tenth of the work, then the baseline.
        started = time.monotonic()
        at = drive(s, qv, titles // 10, navigations // 10, at, "W")
        time.sleep(3)
        base, base_fds, base_procs = measure(qv.pid, s.scratch)
        at = drive(s, qv, titles, navigations, at, "R")
        time.sleep(3)
        end, end_fds, end_procs = measure(qv.pid, s.scratch)
        took = time.monotonic() - started
        ok = qv.running()
        total_base, total_end = sum(base.values()), sum(end.values())
        print(f"soak: {titles} title commands and {navigations} reloads after a warm-up of "
              f"{titles // 10} and {navigations // 10}, {took:.0f} s")
        for kind in sorted(set(base) | set(end)):
            print(f"  {kind:9} PSS {base.get(kind, 0) / 1024:7.1f} MiB -> {end.get(kind, 0) / 1024:7.1f} MiB")
        growth = (total_end - total_base) / total_base * 100 if total_base else 0
        print(f"  total     PSS {total_base / 1024:7.1f} MiB -> {total_end / 1024:7.1f} MiB ({growth:+.1f} %)")
        print(f"  browser process handles {base_fds} -> {end_fds}; processes {base_procs} -> {end_procs}")
        if end_fds > base_fds:
            print("  handles open at the end:", sorted(handle_targets(qv.pid)))
        failures = []
        if not ok:
            failures.append("the client ended")
        if growth > 15:
            failures.append(f"memory grew {growth:.1f} %")
        if end_fds > base_fds:
            failures.append(f"handles grew {base_fds} -> {end_fds}")
        if end_procs > base_procs:
            failures.append(f"processes grew {base_procs} -> {end_procs}")
        for f in failures:
            print("FAIL:", f)
        return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
