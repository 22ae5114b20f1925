"""The release package: built with CPack from the current build tree, unpacked into a scratch
root, its layout, control fields, documentation and metadata checked (with Debian's own
lintian, appstreamcli and desktop-file-validate), and the unpacked client started against
the demo server under Xvfb.

Needs TALVO_BUILD_DIR (the build tree), TALVO_BIN (its bin folder, for the demo server) and
TALVO_CPACK (the cpack command).
"""

import glob
import gzip
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import unittest
import xml.etree.ElementTree as ET

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))

import harness  # noqa: E402

BUILD_DIR = os.environ.get("TALVO_BUILD_DIR", "")
CPACK = os.environ.get("TALVO_CPACK", "cpack")
EDITIONS = {"talvo-qv": "Alderan", "talvo-norvel": "Birsel", "talvo-mesk": "Cedrow"}
PICTURES = ["btnlogin1.gif", "btnlogin2.gif", "2_26.gif", "2_35.gif", "32_51.gif", "23_54.gif"]
ICON_SIZES = [16, 24, 32, 48, 64, 128, 256]
METAINFO_DIR = "usr/share/metainfo"
XML_LANG = "{http://www.w3.org/XML/1998/namespace}lang"


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


IM_SETTINGS = {"QT_IM_MODULE": "ibus", "XMODIFIERS": "@im=ibus", "GTK_IM_MODULE": "ibus"}


def descendants(pid):
    """Every process below pid, from /proc."""
    parents = {}
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            try:
                with open(f"/proc/{entry}/stat", encoding="ascii", errors="replace") as f:
                    stat = f.read()
            except OSError:
                continue
            # The command name in parentheses may hold blanks; the parent follows the state.
            parents[int(entry)] = int(stat[stat.rindex(")") + 2:].split()[1])
    found, frontier = [], [pid]
    while frontier:
        parent = frontier.pop()
        children = [p for p, pp in parents.items() if pp == parent]
        found += children
        frontier += children
    return found


def environment(pid):
    try:
        with open(f"/proc/{pid}/environ", "rb") as f:
            raw = f.read()
        with open(f"/proc/{pid}/comm", encoding="utf-8", errors="replace") as f:
            command = f.read().strip()
    except OSError:
        return None
    values = dict(item.decode("utf-8", "replace").partition("=")[::2]
                  for item in raw.split(b"\0") if item)
    values["_cmd"] = command
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
        ddebs = glob.glob(os.path.join(out, "*.ddeb"))
        assert len(ddebs) == 1, ddebs
        cls.ddeb = ddebs[0]
        cls.root = os.path.join(cls.scratch, "root")
        run(["dpkg", "-x", cls.deb, cls.root], timeout=60)
        cls.debug_root = os.path.join(cls.scratch, "debug-root")
        run(["dpkg", "-x", cls.ddeb, cls.debug_root], timeout=60)
        cls.version = run(["dpkg-deb", "-f", cls.deb, "Version"], 30).strip()
        unpacked = run(["du", "-sk", "--apparent-size", cls.root], 30).split()[0]
        print(f"FIGURE Installed-Size field: {run(['dpkg-deb', '-f', cls.deb, 'Installed-Size'], 30).strip()}"
              f" KiB; unpacked: {unpacked} KiB; .deb {os.path.getsize(cls.deb) // 1024} KiB,"
              f" .ddeb {os.path.getsize(cls.ddeb) // 1024} KiB", flush=True)

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
        recommended = [r.strip().split()[0] for r in recommends.split(",")]
        self.assertIn("fonts-noto-cjk", recommended)
        self.assertIn("fcitx5-frontend-qt6", recommended)
        description = run(["dpkg-deb", "-f", self.deb, "Description"], 30).splitlines()
        self.assertTrue(description[0].strip())
        self.assertGreaterEqual(len([l for l in description[1:] if l.strip(" .")]), 3, description)
        self.assertEqual(run(["dpkg-deb", "-f", self.deb, "Package"], 30).strip(), "talvo")
        # As dpkg counts it: files in KiB rounded up, 1 for every other entry; links to the
        # program are not copies of it.
        expected = 0
        for line in run(["dpkg-deb", "-c", self.deb], 30).splitlines():
            mode, _owner, size = line.split()[:3]
            expected += -(-int(size) // 1024) if mode.startswith("-") else 1
        self.assertEqual(int(run(["dpkg-deb", "-f", self.deb, "Installed-Size"], 30)), expected)

    def test_only_the_client_is_shipped_with_debian_modes(self):
        listing = run(["dpkg-deb", "-c", self.deb], 30)
        self.assertNotIn("demo-server", listing)
        executables = {"./usr/lib/talvo/talvo"}
        for line in listing.splitlines():
            mode, owner, _size, _day, _time, path = line.split()[:6]
            with self.subTest(path):
                self.assertTrue(path.startswith(("./usr/bin/", "./usr/lib/talvo/",
                                                 "./usr/share/applications/",
                                                 "./usr/share/icons/hicolor/",
                                                 "./usr/share/doc/talvo/",
                                                 "./usr/share/man/man1/",
                                                 "./usr/share/metainfo/",
                                                 "./usr/share/lintian/overrides/"))
                                or path.endswith("/"), path)
                self.assertEqual(owner, "root/root")
                if mode.startswith("d"):
                    self.assertEqual(mode, "drwxr-xr-x")
                elif mode.startswith("l"):
                    self.assertEqual(mode, "lrwxrwxrwx")
                else:
                    self.assertEqual(mode, "-rwxr-xr-x" if path in executables else "-rw-r--r--")

    def test_lintian_finds_no_errors_or_warnings(self):
        if not shutil.which("lintian"):
            self.skipTest("lintian is not installed (scripts/install-deps installs it)")
        started = time.monotonic()
        done = subprocess.run(["lintian", "--display-info", "--display-experimental", "--pedantic",
                               "--tag-display-limit", "0", self.deb, self.ddeb],
                              capture_output=True, timeout=300, stdin=subprocess.DEVNULL)
        print(f"FIGURE lintian: {time.monotonic() - started:.3f} s", flush=True)
        said = done.stdout.decode("utf-8", "replace")
        tags = [l for l in said.splitlines() if re.match(r"^[EWIPXO]: ", l)]
        if tags:
            print("lintian says:\n  " + "\n  ".join(tags), flush=True)
        self.assertEqual([t for t in tags if t[0] in "EW"], [], said)
        # Exit status 2 would be lintian itself failing, not a finding.
        self.assertIn(done.returncode, (0, 1), done.stderr.decode(errors="replace"))

    def test_stripped_program_with_symbols_in_dbgsym(self):
        exe = self.path("usr/lib/talvo/talvo")
        sections = run(["readelf", "-S", "-W", exe], 30)
        self.assertNotIn(".debug_info", sections)
        self.assertNotIn(".symtab", sections)
        self.assertIn(".gnu_debuglink", sections)
        build_id = re.search(r"Build ID: ([0-9a-f]+)", run(["readelf", "-n", exe], 30)).group(1)
        debug = os.path.join(self.debug_root, "usr/lib/debug/.build-id",
                             build_id[:2], build_id[2:] + ".debug")
        self.assertTrue(os.path.isfile(debug), f"no symbols for build id {build_id}")
        self.assertIn(".debug_info", run(["readelf", "-S", "-W", debug], 30))
        self.assertEqual(run(["dpkg-deb", "-f", self.ddeb, "Package"], 30).strip(), "talvo-dbgsym")
        self.assertEqual(run(["dpkg-deb", "-f", self.ddeb, "Depends"], 30).strip(),
                         f"talvo (= {self.version})")

    def test_one_version_everywhere(self):
        with gzip.open(self.path("usr/share/doc/talvo/changelog.gz"), "rt", encoding="utf-8") as f:
            changelog = f.read()
        top = re.match(r"^talvo \(([^)]+)\) ([a-z-]+); urgency=\w+\n", changelog)
        self.assertTrue(top, changelog[:200])
        self.assertEqual(top.group(1), self.version)
        # A package is made for the release it was built on, and says so.
        with open("/etc/os-release", encoding="utf-8") as f:
            system = dict(re.findall(r'^(\w+)="?([^"\n]*)"?$', f.read(), re.M))
        self.assertTrue(self.version.endswith(f"~deb{system['VERSION_ID']}"), self.version)
        self.assertEqual(top.group(2), system["VERSION_CODENAME"])
        self.assertIn(f"First release for Debian {system['VERSION_ID']}:", changelog)
        signed = re.search(r"^ -- (.+ <[^>]+>)  (\w{3}, \d{2} \w{3} \d{4} [\d:]{8} [+-]\d{4})$",
                           changelog, re.M)
        self.assertTrue(signed, changelog)
        release_day = time.strftime("%Y-%m-%d", time.strptime(signed.group(2)[5:16], "%d %b %Y"))
        # No name or time inside the gzip headers, so rebuilding gives the same bytes.
        for path in ("usr/share/doc/talvo/changelog.gz", "usr/share/man/man1/talvo.1.gz"):
            with open(self.path(path), "rb") as f:
                head = f.read(10)
            self.assertEqual(head[3] & 0x08, 0, f"{path} carries a file name")
            self.assertEqual(head[4:8], b"\0\0\0\0", f"{path} carries a time stamp")
        program = run([self.path("usr/lib/talvo/talvo"), "--version"], 30)
        self.assertEqual(program.strip(), f"talvo {self.version}")
        with gzip.open(self.path("usr/share/man/man1/talvo.1.gz"), "rt", encoding="utf-8") as f:
            self.assertIn(f'"talvo {self.version}"', f.read())
        release = self.metainfo().find("releases/release")
        self.assertEqual((release.get("version"), release.get("date")), (self.version, release_day))

    def test_copyright_is_machine_readable(self):
        with open(self.path("usr/share/doc/talvo/copyright"), encoding="utf-8") as f:
            paragraphs = [p for p in f.read().split("\n\n") if p.strip()]
        self.assertTrue(paragraphs[0].startswith(
            "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"))
        files = [p for p in paragraphs if p.startswith("Files: ")]
        self.assertTrue(files and files[0].startswith("Files: *\n"), paragraphs)
        license_name = re.search(r"^License: (\S+)$", files[0], re.M).group(1)
        # A licence without a standard name needs its own paragraph with the text.
        self.assertTrue(any(p.startswith(f"License: {license_name}\n ") for p in paragraphs))

    def test_manual_page_covers_every_option(self):
        for command in EDITIONS:
            with self.subTest(command):
                self.assertEqual(resolve_inside(self.root, f"usr/share/man/man1/{command}.1.gz"),
                                 "/usr/share/man/man1/talvo.1.gz")
        text = self.manual_text()
        for section in ("NAME", "SYNOPSIS", "OPTIONS", "ENVIRONMENT", "FILES", "EXIT STATUS"):
            self.assertRegex(text, rf"(?m)^{section}$")
        # Every option the program itself lists, so the page cannot fall behind.
        usage = run([self.path("usr/lib/talvo/talvo"), "--help"], 30)
        options = set(re.findall(r"(?<![\w-])(--[a-z][a-z-]+)", usage))
        self.assertGreaterEqual(options, {"--server", "--leave-url", "--timeouts", "--help",
                                          "--version"})
        for option in options:
            self.assertRegex(text, rf"(?m)^\s+(-\w, )?{re.escape(option)}\b", option)
        for name in ("http_proxy", "https_proxy", "no_proxy", "QT_LOGGING_RULES", "talvo.windows",
                     "QT_IM_MODULE", "XMODIFIERS"):
            self.assertIn(name, text)

    def manual_text(self):
        """talvo(1) as man shows it, with no groff warnings on the way."""
        # GROFF_NO_SGR: overstrike for bold and underline, not colour sequences (groff 1.23).
        env = dict(os.environ, MANWIDTH="200", LC_ALL="C.UTF-8", MAN_KEEP_FORMATTING="0",
                   GROFF_NO_SGR="1")
        done = subprocess.run(["man", "--warnings", "-E", "UTF-8", "-l",
                               self.path("usr/share/man/man1/talvo.1.gz")], env=env,
                              capture_output=True, timeout=60, stdin=subprocess.DEVNULL)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(done.stderr.decode(errors="replace").strip(), "", "groff warnings")
        return re.sub(r".\x08", "", done.stdout.decode("utf-8", "replace"))

    def metainfo(self):
        found = glob.glob(self.path(METAINFO_DIR, "*.metainfo.xml"))
        self.assertEqual(len(found), 1, found)
        return ET.parse(found[0]).getroot()

    def test_software_centre_metadata(self):
        found = glob.glob(self.path(METAINFO_DIR, "*.metainfo.xml"))
        self.assertEqual(len(found), 1, found)
        component = self.metainfo()
        cid = component.findtext("id")
        self.assertEqual(os.path.basename(found[0]), f"{cid}.metainfo.xml")
        self.assertEqual(component.get("type"), "desktop-application")

        def localized(tag, lang):
            for element in component.findall(tag):
                if element.get(XML_LANG) == lang:
                    return element.text or ""
            return ""
        self.assertIn("Zentarro", localized("name", None))
        self.assertIn("客户营销管理软件", localized("name", "zh-CN"))
        self.assertTrue(localized("summary", None))
        self.assertRegex(localized("summary", "zh-CN"), r"[\u4e00-\u9fff]")
        launchables = sorted(l.text for l in component.findall("launchable"))
        self.assertEqual(launchables, sorted(f"{c}.desktop" for c in EDITIONS))
        images = component.findall("screenshots/screenshot/image")
        self.assertTrue(images and images[0].text.startswith(("https://", "http://")))
        # The size written into the metadata is that of the picture kept in the tree.
        shot = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "packaging",
                            "screenshots", os.path.basename(images[0].text))
        self.assertEqual(png_size(shot), (int(images[0].get("width")), int(images[0].get("height"))))
        if not shutil.which("appstreamcli"):
            self.skipTest("appstreamcli is not installed (scripts/install-deps installs it)")
        # Without the network: the build machine reaches no web host, and the product's hosts
        # are reserved names until the real ones are known.
        done = subprocess.run(["appstreamcli", "validate", "--pedantic", "--no-net", "--explain",
                               found[0]], capture_output=True, timeout=60, stdin=subprocess.DEVNULL)
        said = done.stdout.decode("utf-8", "replace") + done.stderr.decode("utf-8", "replace")
        print("appstreamcli says:\n" + said, flush=True)
        self.assertEqual(done.returncode, 0, said)
        self.assertEqual(re.findall(r"(?m)^[EW]: .*", said), [], said)

    def test_installed_client_reaches_the_login_page(self):
        xvfb = server = client = None
        runtime = tempfile.mkdtemp(prefix="talvo-package-run-")
        try:
            xvfb = harness.Xvfb()
            server = harness.DemoServer()
            env = harness.client_env(xvfb.display, runtime)
            # The user's input method reaches the browser's processes untouched.
            env.update(IM_SETTINGS)
            data_home = os.path.join(runtime, "data")
            env.update(XDG_DATA_HOME=data_home, XDG_CACHE_HOME=os.path.join(runtime, "cache"))
            started = time.monotonic()
            client = harness.Process([self.path("usr/bin/talvo-qv"), "--server", server.address],
                                     env=env, name="installed talvo-qv")
            server.wait_request(lambda t: t.split("?", 1)[0] == "/ui/common/login.jsp", 90,
                                "the login page request")
            # The manual page names the profile folder the client reports using.
            storage = [l.split("storage=", 1)[1].split(" cache=")[0]
                       for l in client.output.lines() if "browser profile: storage=" in l]
            if storage:
                relative = os.path.relpath(storage[0], data_home)
                self.assertFalse(relative.startswith(".."), storage[0])
                self.assertIn(f"~/.local/share}}/{relative}/", self.manual_text())
            helpers = descendants(client.pid)
            self.assertTrue(helpers, "the browser started no helper processes")
            for pid in helpers:
                seen = environment(pid)
                if seen is None:
                    continue  # ended meanwhile
                with self.subTest(pid=pid, command=seen.get("_cmd")):
                    for name, value in IM_SETTINGS.items():
                        self.assertEqual(seen.get(name), value, name)
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
