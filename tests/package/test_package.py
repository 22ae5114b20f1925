"""The release package: built with CPack from the current build tree, unpacked into a scratch
root, its layout and control fields checked, and the unpacked client started against the
demo server under Xvfb.

Needs TALVO_BUILD_DIR (the build tree), TALVO_BIN (its bin folder, for the demo server) and
TALVO_CPACK (the cpack command).
"""

import glob
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))

import harness  # noqa: E402

BUILD_DIR = os.environ.get("TALVO_BUILD_DIR", "")
CPACK = os.environ.get("TALVO_CPACK", "cpack")
EDITIONS = {"talvo-qv": "Alderan", "talvo-norvel": "Birsel", "talvo-mesk": "Cedrow"}
PICTURES = ["btnlogin1.gif", "btnlogin2.gif", "2_26.gif", "2_35.gif", "32_51.gif", "23_54.gif"]
ICON_SIZES = [16, 24, 32, 48, 64, 128, 256]


def run(args, timeout, cwd=None):
    done = subprocess.run(args, cwd=cwd, capture_output=True, timeout=timeout,
                          stdin=subprocess.DEVNULL)
    if done.returncode != 0:
        raise AssertionError(f"{' '.join(args)} failed ({done.returncode}):\n"
                             + done.stdout.decode(errors="replace")[-3000:]
                             + done.stderr.decode(errors="replace")[-3000:])
    return done.stdout.decode("utf-8", "replace")


def resolve_inside(root, path):
    """Follows symbolic links the way the installed system would, with root as "/";
    returns the final path relative to root."""
    parts = [p for p in path.strip("/").split("/") if p]
    done = []
    hops = 0
    while parts:
        part = parts.pop(0)
        if part == "..":
            if done:
                done.pop()
            continue
        if part == ".":
            continue
        candidate = os.path.join(root, *done, part)
        if os.path.islink(candidate):
            hops += 1
            if hops > 40:
                raise AssertionError(f"link loop at {path}")
            target = os.readlink(candidate)
            if target.startswith("/"):
                done = []
            parts = [p for p in target.split("/") if p] + parts
            continue
        done.append(part)
    return "/" + "/".join(done)


def desktop_entry(path):
    values = {}
    with open(path, encoding="utf-8") as f:
        lines = [l.rstrip("\n") for l in f]
    assert lines and lines[0] == "[Desktop Entry]", f"{path}: no [Desktop Entry] group first"
    for line in lines[1:]:
        if not line or line.startswith("#"):
            continue
        if line.startswith("["):
            break
        key, sep, value = line.partition("=")
        assert sep, f"{path}: malformed line {line!r}"
        values[key.strip()] = value.strip()
    return values


def png_size(path):
    with open(path, "rb") as f:
        head = f.read(24)
    assert head[:8] == b"\x89PNG\r\n\x1a\n", f"{path} is not a PNG"
    return struct.unpack(">II", head[16:24])


class ReleasePackage(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        if not os.path.exists(os.path.join(BUILD_DIR, "CPackConfig.cmake")):
            raise unittest.SkipTest(f"no CPack configuration in {BUILD_DIR or '(unset)'}")
        cls.scratch = tempfile.mkdtemp(prefix="talvo-package-")
        out = os.path.join(cls.scratch, "out")
        started = time.monotonic()
        run([CPACK, "-G", "DEB", "--config", os.path.join(BUILD_DIR, "CPackConfig.cmake"),
             "-B", out], timeout=300, cwd=BUILD_DIR)
        print(f"FIGURE cpack -G DEB: {time.monotonic() - started:.3f} s", flush=True)
        debs = glob.glob(os.path.join(out, "*.deb"))
        assert len(debs) == 1, debs
        cls.deb = debs[0]
        cls.root = os.path.join(cls.scratch, "root")
        run(["dpkg", "-x", cls.deb, cls.root], timeout=60)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.scratch, ignore_errors=True)

    def path(self, *parts):
        return os.path.join(self.root, *parts)

    def test_program_folder(self):
        exe = self.path("usr/lib/talvo/talvo")
        self.assertTrue(os.path.isfile(exe) and not os.path.islink(exe))
        self.assertTrue(os.access(exe, os.X_OK))
        with open(exe, "rb") as f:
            self.assertEqual(f.read(4), b"\x7fELF")
        # The hover pictures are read from images/login/ beside the executable.
        found = sorted(os.listdir(self.path("usr/lib/talvo/images/login")))
        self.assertEqual(found, sorted(PICTURES))
        for name in PICTURES:
            with open(self.path("usr/lib/talvo/images/login", name), "rb") as f:
                self.assertIn(f.read(6), (b"GIF87a", b"GIF89a"), name)

    def test_commands_resolve_into_program_folder(self):
        for command in ["talvo", *EDITIONS]:
            with self.subTest(command):
                on_path = "usr/bin/" + command
                self.assertTrue(os.path.islink(self.path(on_path)), f"/{on_path} is not a link")
                # Relative, so the package works wherever the root is mounted.
                self.assertFalse(os.readlink(self.path(on_path)).startswith("/"))
                beside = "usr/lib/talvo/" + command
                # The edition is read from the name started under, so the command points at
                # its namesake in the program folder, and only that one at the executable.
                self.assertEqual(os.path.normpath(os.path.join(
                    "/usr/bin", os.readlink(self.path(on_path)))), "/" + beside)
                self.assertEqual(resolve_inside(self.root, on_path), "/usr/lib/talvo/talvo")

    def test_desktop_entries_and_icons(self):
        entries = sorted(os.listdir(self.path("usr/share/applications")))
        self.assertEqual(entries, sorted(f"{c}.desktop" for c in EDITIONS))
        for command, caption in EDITIONS.items():
            with self.subTest(command):
                values = desktop_entry(self.path("usr/share/applications", f"{command}.desktop"))
                self.assertEqual(values.get("Type"), "Application")
                self.assertEqual(values.get("Exec", "").split()[0], command)
                self.assertEqual(values.get("Icon"), "talvo")
                self.assertIn(caption, values.get("Name", ""))
                self.assertTrue(os.path.exists(self.path("usr/bin", command)))
        if shutil.which("desktop-file-validate"):
            for entry in entries:
                # Quiet means valid, with no warnings or hints either.
                said = run(["desktop-file-validate",
                            self.path("usr/share/applications", entry)], 30)
                self.assertEqual(said.strip(), "", said)
        for size in ICON_SIZES:
            with self.subTest(icon=size):
                icon = self.path(f"usr/share/icons/hicolor/{size}x{size}/apps/talvo.png")
                self.assertEqual(png_size(icon), (size, size))

    def test_control_fields(self):
        depends = run(["dpkg-deb", "-f", self.deb, "Depends"], 30)
        recommends = run(["dpkg-deb", "-f", self.deb, "Recommends"], 30)
        names = {re.split(r"[\s(]", d.strip())[0] for d in depends.split(",") if d.strip()}
        # The browser engine: its libraries and its separate helper process.
        self.assertIn("libqt6webenginewidgets6", names, depends)
        self.assertIn("libqt6webenginecore6", names, depends)
        self.assertIn("libqt6webenginecore6-bin", names, depends)
        self.assertIn("fonts-noto-cjk", [r.strip().split()[0] for r in recommends.split(",")])
        self.assertEqual(run(["dpkg-deb", "-f", self.deb, "Package"], 30).strip(), "talvo")

    def test_only_the_client_is_shipped(self):
        files = run(["dpkg-deb", "-c", self.deb], 30)
        self.assertNotIn("demo-server", files)
        paths = [line.split()[5] for line in files.splitlines() if line.split()]
        for p in paths:
            self.assertTrue(p.startswith(("./usr/bin", "./usr/lib/talvo", "./usr/share/applications",
                                          "./usr/share/icons/hicolor"))
                            or p in ("./", "./usr/", "./usr/lib/", "./usr/share/",
                                     "./usr/share/icons/"), p)

    def test_installed_client_reaches_the_login_page(self):
        xvfb = server = client = None
        runtime = tempfile.mkdtemp(prefix="talvo-package-run-")
        try:
            xvfb = harness.Xvfb()
            server = harness.DemoServer()
            env = harness.client_env(xvfb.display, runtime)
            started = time.monotonic()
            client = harness.Process([self.path("usr/bin/talvo-qv"), "--server", server.address],
                                     env=env, name="installed talvo-qv")
            server.wait_request(lambda t: t.split("?", 1)[0] == "/ui/common/login.jsp", 90,
                                "the login page request")
            print(f"FIGURE installed client to login page request: "
                  f"{time.monotonic() - started:.3f} s", flush=True)
            self.assertIn(f"/ui/common/login.jsp?cp=1", server.requests())
            self.assertTrue(client.running())
            # It runs from the unpacked program folder, not from the build tree.
            exe = os.readlink(f"/proc/{client.pid}/exe")
            self.assertEqual(exe, self.path("usr/lib/talvo/talvo"))
        finally:
            if client:
                client.stop()
            if server:
                server.stop()
            if xvfb:
                xvfb.stop()
            shutil.rmtree(runtime, ignore_errors=True)


if __name__ == "__main__":
    unittest.main()
