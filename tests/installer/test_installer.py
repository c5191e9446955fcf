"""The installer as a user meets it, under wine, in a wine prefix of its own:
installed silently, for the current user (the default) and for all users, it
puts the bundle's files, a Start menu entry and an uninstall entry in place;
the installed converter, with nothing but what was installed, turns the corpus
into the Linux build's mailboxes byte for byte; and the uninstaller leaves no
file and no registry key behind, what the window remembers for the user
included, once Windows has done at its next start what the uninstaller left
to it (deleting its own copy in Temp).

    test_installer.py SETUP BUNDLE WINE_RUN DATA LINUX_CONVERTER|""

SETUP is the installer, BUNDLE the folder whose files it must install.
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "cli"))
from mboxcheck import mailbox_bytes  # noqa: E402

SETUP, BUNDLE, WINE_RUN, DATA, LINUX_CONVERTER = sys.argv[1:6]
UNINSTALL_KEY = r"Software\Microsoft\Windows\CurrentVersion\Uninstall\Marrowgate"
SETTINGS_KEY = r"HKCU\Software\Marrowgate\Marrowgate"
# Where wine records the machine's network cards: it may write them at any of
# the prefix's starts (seen once after the second restart of a run, never in
# three restarts of an empty prefix), its own doing and not the installer's.
WINE_HARDWARE = (r"[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\NetworkCards",)


def files_below(top):
    """Every file below `top`, relative, with its bytes."""
    found = {}
    for folder, _, names in os.walk(top):
        for name in names:
            with open(os.path.join(folder, name), "rb") as f:
                found[os.path.relpath(os.path.join(folder, name), top)] = f.read()
    return found


class Installer(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.mkdtemp(prefix="marrowgate-installer-")
        cls.prefix = os.path.join(cls.tmp, "prefix")
        # No folder of DLLs on the path: the installed programs find theirs
        # beside them, or fail.
        cls.env = dict(os.environ, WINEPREFIX=cls.prefix, LANG="C.UTF-8", LC_ALL="C.UTF-8",
                       MARROWGATE_WINDOWS_DEPS=os.path.join(cls.tmp, "none"))
        cls.session = os.path.join(cls.tmp, "session")
        subprocess.run([WINE_RUN, "--hold", cls.session], env=cls.env, check=True, timeout=600)

    @classmethod
    def tearDownClass(cls):
        subprocess.run([WINE_RUN, "--release", cls.session], env=cls.env)
        # The prefix's server writes the registry out as it ends.
        subprocess.run(["wineserver", "-w"], env=cls.env, timeout=120)
        shutil.rmtree(cls.tmp)

    def wine(self, *args, check=True):
        result = subprocess.run([WINE_RUN, *args], env=self.env, capture_output=True, timeout=300)
        if check:
            self.assertEqual(result.returncode, 0, (args, result.stderr))
        return result

    def unix(self, path):
        """The Linux path of a Windows path in the prefix."""
        drive, rest = path[0].lower(), path[2:].replace("\\", "/").lstrip("/")
        return os.path.join(self.prefix, "dosdevices", drive + ":", rest)

    def folder(self, variable):
        return self.wine("cmd", "/c", "echo %" + variable + "%").stdout.decode().strip()

    def snapshot(self):
        """The prefix's files (but its registry files) and registry keys."""
        files = set()
        for folder, _, names in os.walk(os.path.join(self.prefix, "drive_c")):
            files.update(os.path.join(folder, name) for name in names)
        keys = set()
        for hive in ("HKCU", "HKLM"):
            export = os.path.join(self.tmp, hive + ".reg")
            self.wine("reg", "export", hive, export, "/y")
            with open(export, encoding="utf-16") as f:
                keys.update(line.strip() for line in f
                            if line.startswith("[") and not line.startswith(WINE_HARDWARE))
        return files, keys

    def uninstall_entry(self, hive):
        result = self.wine("reg", "query", hive + "\\" + UNINSTALL_KEY, check=False)
        if result.returncode != 0:
            return None
        values = {}
        for line in result.stdout.decode(errors="replace").splitlines():
            parts = line.split(None, 2)
            if len(parts) == 3 and parts[1].startswith("REG_"):
                values[parts[0]] = parts[2]
        return values

    def check_installed(self, install, hive, start_menu):
        installed = files_below(self.unix(install))
        size = sum(len(data) for data in installed.values()) // 1024
        self.assertIn("uninstall.exe", installed)
        del installed["uninstall.exe"]
        bundle = files_below(BUNDLE)
        self.assertEqual(sorted(installed), sorted(bundle))
        for name, data in bundle.items():
            self.assertTrue(installed[name] == data, name)
        self.assertIn("THIRD-PARTY-NOTICES.txt", installed)
        self.assertTrue(os.path.isfile(self.unix(start_menu + r"\Programs\Marrowgate.lnk")))
        entry = self.uninstall_entry(hive)
        self.assertIsNotNone(entry, hive)
        version = os.path.basename(SETUP).split("-")[1]
        self.assertEqual(entry["DisplayName"], "Marrowgate")
        self.assertEqual(entry["DisplayVersion"], version)
        self.assertEqual(entry["Publisher"], "Marrowgate Project")
        self.assertEqual(entry["DisplayIcon"].lower(), (install + r"\marrowgate.exe,0").lower())
        self.assertEqual(entry["UninstallString"].lower(), f'"{install}\\uninstall.exe"'.lower())
        self.assertAlmostEqual(int(entry["EstimatedSize"], 16), size, delta=size // 10 + 64)

    def check_conversion(self, install):
        if not LINUX_CONVERTER:
            self.skipTest("needs the Linux build's converter")
        store = os.path.join(self.tmp, "Store")
        if not os.path.isdir(store):
            shutil.copytree(os.path.join(DATA, "corpus", "Store"), store, symlinks=True)
        outputs = {}
        for build in ("linux", "windows"):
            out = os.path.join(self.tmp, "out-" + build)
            shutil.rmtree(out, ignore_errors=True)
            if build == "linux":
                result = subprocess.run([LINUX_CONVERTER, "-q", "-o", out, store],
                                        capture_output=True, timeout=300)
            else:
                result = self.wine(install + r"\marrowgate-convert.exe", "-q",
                                   "-o", "Z:" + out.replace("/", "\\"),
                                   "Z:" + store.replace("/", "\\"), check=False)
            self.assertEqual(result.returncode, 0, (build, result.stderr))
            outputs[build] = mailbox_bytes(out)
        self.assertTrue(outputs["linux"])
        self.assertEqual(outputs["windows"], outputs["linux"])

    def uninstall(self, install):
        # The uninstaller runs a copy of itself from Temp and returns at once.
        self.wine(install + r"\uninstall.exe", "/S")
        deadline = time.monotonic() + 120
        while os.path.exists(self.unix(install)) and time.monotonic() < deadline:
            time.sleep(0.2)
        self.assertFalse(os.path.exists(self.unix(install)))
        # What Windows does at its next start: the deletions left pending.
        self.wine("wineboot", "--restart")

    def test_install_convert_uninstall(self):
        before = self.snapshot()
        local, roaming = self.folder("LOCALAPPDATA"), self.folder("APPDATA")
        common = self.folder("ProgramData") + r"\Microsoft\Windows\Start Menu"
        modes = [("current user", [], local + r"\Programs\Marrowgate", "HKCU",
                  roaming + r"\Microsoft\Windows\Start Menu"),
                 ("all users", ["/AllUsers"], self.folder("ProgramFiles") + r"\Marrowgate",
                  "HKLM", common)]
        for mode, options, install, hive, start_menu in modes:
            with self.subTest(mode):
                self.wine(SETUP, "/S", *options)
                self.check_installed(install, hive, start_menu)
                if not options:
                    # Its own subtest: skipped without the Linux converter,
                    # it must not skip the uninstall below.
                    with self.subTest(mode + ": conversion"):
                        self.check_conversion(install)
                # What the window remembers for the user (its folders, its size).
                self.wine("reg", "add", SETTINGS_KEY + r"\folders", "/v", "output", "/d",
                          r"C:\Mail for the Mac", "/f")
                self.uninstall(install)
                self.assertIsNone(self.uninstall_entry(hive))
                files, keys = self.snapshot()
                self.assertEqual(sorted(files - before[0]), [])
                self.assertEqual(sorted(keys - before[1]), [])


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
