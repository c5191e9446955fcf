"""The maildir target: every message of the store a file in the maildir of
its folder, whole, with its date as its time; a run killed anywhere and run
again leaves each message there exactly once."""
import base64
import collections
import os
import random
import re
import signal
import subprocess
import time

from clitest import CONVERTER, ConverterCase, main, message
from mboxcheck import message_lines


def utf7(name):
    """A name in IMAP's modified UTF-7, as Maildir++ names keep it."""
    def shifted(match):
        if match.group(0) == "&":
            return "&-"
        run = base64.b64encode(match.group(0).encode("utf-16-be")).decode().rstrip("=")
        return "&" + run.replace("/", ",") + "-"
    return re.sub(r"&|[^\x20-\x7e]+", shifted, name)


def maildir_name(store, folder):
    """The maildir of a store folder: its path from the store's parent, "."
    between the levels, a "." in a name written "_"."""
    relative = os.fsdecode(os.path.relpath(folder, os.path.dirname(store)))
    return "." + ".".join(utf7(name).replace(".", "_") for name in relative.split(os.sep))


class Maildir(ConverterCase):
    def expected(self):
        """{maildir: Counter of message bytes, LF line ends}."""
        expected = collections.defaultdict(collections.Counter)
        for folder, _, files in os.walk(self.store):
            for name in files:
                path = os.path.join(folder, name)
                if not name.strip(" ").lower().endswith(".eml") or not os.path.isfile(path):
                    continue
                with open(path, "rb") as f:
                    data = f.read()
                if data.strip():
                    wanted = b"".join(line + b"\n" for line in message_lines(data))
                    expected[maildir_name(self.store, folder)][wanted] += 1
        return expected

    def found(self):
        """{maildir: Counter of message bytes} of every message file, and
        whether any file is left in a tmp/."""
        found = collections.defaultdict(collections.Counter)
        left_in_tmp = False
        for name in os.listdir(self.out):
            for part in ("cur", "new", "tmp"):
                folder = os.path.join(self.out, name, part)
                for file in os.listdir(folder) if os.path.isdir(folder) else []:
                    if part == "tmp":
                        left_in_tmp = True
                        continue
                    with open(os.path.join(folder, file), "rb") as f:
                        found[name][f.read()] += 1
        return dict(found), left_in_tmp

    def assert_exactly_once(self):
        found, _ = self.found()
        self.assertEqual(found, dict(self.expected()))

    def test_messages_names_dates_and_flags(self):
        self.write("Inbox/a.eml", b"From x@y Mon Jul  5 14:03:09 2010\r\n" +
                   message(b"a", b"From here\r\n"))
        self.write("Sent Items/b.eml", message(b"b"))
        result = self.convert("-t", "maildir", "--seen", "-o", self.out, self.store)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assert_exactly_once()
        for name in ("cur", "new", "tmp"):
            self.assertTrue(os.path.isdir(os.path.join(self.out, name)))
        cur = os.path.join(self.out, ".Store.Inbox", "cur")
        [file] = os.listdir(cur)
        self.assertTrue(file.endswith(":2,S"), file)
        self.assertIn(f",S={os.path.getsize(os.path.join(cur, file))}:", file)
        self.assertEqual(time.gmtime(os.path.getmtime(os.path.join(cur, file)))[:6],
                         (2010, 7, 5, 14, 3, 9))
        self.assertTrue(os.path.exists(os.path.join(self.out, ".Store", "maildirfolder")))
        again = self.convert("-t", "maildir", "-o", self.out, self.store)
        self.assertIn(b"Already converted: 2 messages", again.stdout)
        self.assert_exactly_once()

    def test_killed_again_and_again_then_finished(self):
        self.generate_store(400)
        rng = random.Random(8)
        for _ in range(8):
            process = subprocess.Popen([CONVERTER, "-q", "-t", "maildir", "-o", self.out,
                                        self.store], stdout=subprocess.DEVNULL,
                                       stderr=subprocess.DEVNULL)
            time.sleep(rng.uniform(0.05, 0.6))
            process.send_signal(signal.SIGKILL)
            process.wait()
        result = self.convert("-t", "maildir", "--verify", "-o", self.out, self.store)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn(b"400 of 400 messages verified; 0 problems.", result.stdout)
        self.assert_exactly_once()
        _, left_in_tmp = self.found()
        self.assertFalse(left_in_tmp, "a killed run's files in tmp/ are removed")

    def test_the_ledger_knows_and_verify_checks(self):
        """A second run takes what the ledger knows without looking; without
        the ledger it finds every message by its content; --verify-only names
        a message missing and one doubled."""
        self.write("Inbox/a.eml", message(b"a"))
        self.write("Inbox/b.eml", message(b"b"))
        self.write("Sent Items/c.eml", message(b"c"))
        first = self.convert("-t", "maildir", "--verify", "-o", self.out, self.store)
        self.assertEqual(first.returncode, 0, first.stderr)
        self.assertIn(b"3 of 3 messages verified; 0 problems.", first.stdout)
        self.assertIn(b"read message by message", first.stdout)
        with open(os.path.join(self.out, ".marrowgate-ledger"), "rb") as f:
            ledger = f.read()
        self.assertEqual(ledger.count(b"\nrecord\t.Store.Inbox\t"), 2, ledger)
        os.remove(os.path.join(self.out, ".marrowgate-ledger"))
        again = self.convert("-t", "maildir", "-o", self.out, self.store)
        self.assertIn(b"Already converted: 3 messages", again.stdout)
        self.assert_exactly_once()
        cur = os.path.join(self.out, ".Store.Inbox", "cur")

        def content(name):
            with open(os.path.join(cur, name), "rb") as f:
                return f.read()
        a, b = sorted(os.listdir(cur), key=content)
        os.remove(os.path.join(cur, a))
        with open(os.path.join(cur, b), "rb") as f, \
                open(os.path.join(cur, "copy:2,"), "wb") as copy:
            copy.write(f.read())
        checked = self.convert("--verify-only", "-o", self.out, self.store)
        self.assertEqual(checked.returncode, 1)
        self.assertIn(b"1 of 3 messages verified; 2 problems.", checked.stdout)
        self.assertIn(b"a.eml: not in the output", checked.stderr)
        self.assertIn(b"b.eml: doubled", checked.stderr)

    def test_refused_options(self):
        self.write("Inbox/a.eml", message(b"a"))
        for args, reason in ((["-o", self.out, "--ledger-folder", self.tmp], b"is for --target imap"),
                             (["-o", "imaps://ann@localhost/"], b"needs --target imap")):
            result = self.convert("-t", "maildir", *args, self.store)
            self.assertEqual(result.returncode, 2, args)
            self.assertIn(reason, result.stderr)
        result = self.convert("-t", "imap", "-o", self.out, self.store)
        self.assertEqual(result.returncode, 2)
        self.assertIn(b"needs an account", result.stderr)


if __name__ == "__main__":
    main()
