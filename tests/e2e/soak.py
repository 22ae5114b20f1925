"""Soak: the client over a long session. Drives the demo application through title commands
and reloads, and checks that memory (proportional set size, per process kind) grows by at
most 15 % after warm-up and that neither open handles nor processes grow. Handles are
looked at after the warm-up, half-way and at the end.

    TALVO_SOAK=1 python3 soak.py [TITLES NAVIGATIONS]   (defaults 2000 and 500)

Without TALVO_SOAK=1 it is skipped (status 77): it takes minutes."""

import os
import re
import sys
import time
from collections import Counter

from harness import Session, engine_processes

START_TIMEOUT = 45


def processes(client_pid, scratch):
    """{pid: kind} of the client and its engine processes."""
    return {client_pid: "browser", **engine_processes(client_pid, scratch)}


def pss_kib(pid):
    with open(f"/proc/{pid}/smaps_rollup") as f:
        for line in f:
            if line.startswith("Pss:"):
                return int(line.split()[1])
    return 0


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


def measure(client_pid, scratch):
    kinds = {}
    for pid, kind in processes(client_pid, scratch).items():
        try:
            kinds[kind] = kinds.get(kind, 0) + pss_kib(pid)
        except OSError:
            pass
    return kinds, handle_range(client_pid, scratch), len(processes(client_pid, scratch))


def grown_handles(earlier, end):
    """Kinds held at the end beyond the most seen at any earlier look. A kind opened once
    and kept (a database's journal, say) shows by the middle look and passes; a leak goes
    on growing and fails, unless it is slower than one handle over half the run."""
    most = Counter()
    for _, seen in earlier:
        most |= seen
    fewest_at_end = end[0]
    return {kind: (most[kind], count) for kind, count in fewest_at_end.items() if count > most[kind]}


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
        base, base_handles, base_procs = measure(qv.pid, s.scratch)
        at = drive(s, qv, titles // 2, navigations // 2, at, "R")
        time.sleep(3)
        _, middle_handles, _ = measure(qv.pid, s.scratch)
        at = drive(s, qv, titles - titles // 2, navigations - navigations // 2, at, "S")
        time.sleep(3)
        end, end_handles, end_procs = measure(qv.pid, s.scratch)
        took = time.monotonic() - started
        ok = qv.running()
        total_base, total_end = sum(base.values()), sum(end.values())
        print(f"soak: {titles} title commands and {navigations} reloads after a warm-up of "
              f"{titles // 10} and {navigations // 10}, {took:.0f} s")
        for kind in sorted(set(base) | set(end)):
            print(f"  {kind:9} PSS {base.get(kind, 0) / 1024:7.1f} MiB -> {end.get(kind, 0) / 1024:7.1f} MiB")
        growth = (total_end - total_base) / total_base * 100 if total_base else 0
        print(f"  total     PSS {total_base / 1024:7.1f} MiB -> {total_end / 1024:7.1f} MiB ({growth:+.1f} %)")
        counts = [f"{sum(fewest.values())}-{sum(most.values())}"
                  for fewest, most in (base_handles, middle_handles, end_handles)]
        print(f"  browser process handles (fewest-most) {' -> '.join(counts)}; "
              f"processes {base_procs} -> {end_procs}")
        grown = grown_handles([base_handles, middle_handles], end_handles)
        failures = []
        if not ok:
            failures.append("the client ended")
        if growth > 15:
            failures.append(f"memory grew {growth:.1f} %")
        for kind, (before, after) in sorted(grown.items()):
            failures.append(f"handles to {kind} grew {before} -> {after}")
        if end_procs > base_procs:
            failures.append(f"processes grew {base_procs} -> {end_procs}")
        for f in failures:
            print("FAIL:", f)
        return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
