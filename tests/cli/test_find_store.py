"""--find-store: the store folder found for the user, or exit status 1.

    test_find_store.py CONVERTER [WINE_RUN]

With WINE_RUN, CONVERTER is the Windows build run under wine: the store root
is set in the registry of wine's prefix (`reg add`) and the usual folder made
in its user profile, both taken away again. Without, the Linux build looks
in LOCALAPPDATA only, which the test sets."""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

CONVERTER = sys.argv[1]
WINE_RUN = sys.argv[2] if len(sys.argv) > 2 else None
SETTINGS = r"HKCU\Software\Microsoft\Windows Live Mail"


def windows(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class FindStore(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="marrowgate-find-store-")
        self.env = dict(os.environ)
        self.env.pop("LOCALAPPDATA", None)
        self.made = []  # folders made, to take away in the reverse order

    def tearDown(self):
        for folder in reversed(self.made):
            shutil.rmtree(folder, ignore_errors=True)
        if WINE_RUN:
            self.wine("reg", "delete", SETTINGS, "/f", check=False)
        shutil.rmtree(self.tmp)

    def wine(self, *args, check=True):
        return subprocess.run([WINE_RUN, *args], env=self.env, capture_output=True, check=check,
                              timeout=120)

    def find(self):
        result = subprocess.run([CONVERTER, "--find-store"], env=self.env, capture_output=True,
                                timeout=120)
        # What wine itself says on the way (seen once: "wine client error:8c:
        # sendmsg: Socket operation on non-socket", the program's answer
        # whole) is not the program's.
        result.stderr = b"".join(line for line in result.stderr.splitlines(keepends=True)
                                 if not line.startswith(b"wine"))
        if result.returncode == 0:
            self.assertEqual(result.stderr, b"")
            return result.stdout.decode().rstrip("\r\n")
        self.assertEqual(result.returncode, 1)
        self.assertEqual(result.stdout, b"")
        self.assertEqual(result.stderr.count(b"\n"), 1, result.stderr)
        self.assertIn(b"found no Windows Live Mail", result.stderr)
        return None

    def local_app_data(self):
        """LOCALAPPDATA as the converter sees it, and where that is here."""
        if not WINE_RUN:
            self.env["LOCALAPPDATA"] = os.path.join(self.tmp, "Local")
            os.makedirs(self.env["LOCALAPPDATA"], exist_ok=True)
            return self.env["LOCALAPPDATA"], self.env["LOCALAPPDATA"]
        # Wine sets it from the prefix's profile, whatever the environment says.
        shown = self.wine("cmd", "/c", "echo %LOCALAPPDATA%").stdout.decode().strip()
        prefix = self.env.get("WINEPREFIX") or os.path.join(
            os.environ.get("MARROWGATE_CACHE", "/var/cache/marrowgate"), "wine")
        here = os.path.join(prefix, "dosdevices", shown[0].lower() + ":",
                            *shown[3:].split("\\"))
        return shown, here

    def make_usual_folder(self, program):
        """Makes the program's usual folder; returns it as the converter names it."""
        shown, here = self.local_app_data()
        folder = here
        for name in ("Microsoft", program):
            folder = os.path.join(folder, name)
            if not os.path.isdir(folder):
                os.mkdir(folder)
                self.made.append(folder)
        self.assertIn(folder, self.made)  # nothing the prefix had is touched
        return ("\\" if WINE_RUN else "/").join([shown, "Microsoft", program])

    def test_the_usual_folders_windows_live_mail_first(self):
        if WINE_RUN:
            self.wine("reg", "delete", SETTINGS, "/f", check=False)
        self.assertIsNone(self.find())
        windows_mail = self.make_usual_folder("Windows Mail")
        self.assertEqual(self.find(), windows_mail)
        live_mail = self.make_usual_folder("Windows Live Mail")
        self.assertEqual(self.find(), live_mail)

    @unittest.skipUnless(WINE_RUN, "only Windows keeps the settings in a registry")
    def test_the_store_root_in_the_settings_comes_first(self):
        live_mail = self.make_usual_folder("Windows Live Mail")
        # Its environment variables are put in: wine hands the test's own on.
        self.env["MARROWGATE_TEST_MAIL"] = windows(self.tmp)
        self.wine("reg", "add", SETTINGS, "/v", "Store Root", "/t", "REG_EXPAND_SZ",
                  "/d", r"%MARROWGATE_TEST_MAIL%\Mail Elsewhere", "/f")
        # Not a folder (yet): passed over.
        self.assertEqual(self.find(), live_mail)
        os.makedirs(os.path.join(self.tmp, "Mail Elsewhere"))
        self.assertEqual(self.find(), windows(self.tmp) + r"\Mail Elsewhere")


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
