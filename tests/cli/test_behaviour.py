"""The converter's command line: output tree, exit codes, error lines,
--keep-going."""
import mailbox
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

CONVERTER = sys.argv[1]


def message(sender, body):
    return f"From: {sender}\r\nDate: Mon, 5 Jul 2010 14:03:09 +0000\r\n\r\n{body}\r\n".encode()


class CommandLine(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="marrowgate-cli-")
        self.store = os.path.join(self.tmp, "Store")
        self.out = os.path.join(self.tmp, "out")

    def tearDown(self):
        shutil.rmtree(self.tmp)

    def write(self, relative, data):
        path = os.path.join(self.store, relative)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
        return path

    def convert(self, *args):
        return subprocess.run([CONVERTER, *args], capture_output=True, text=True)

    def mailbox_of(self, *folders):
        name = folders[-1] if folders else "Store"
        return os.path.join(self.out, self.store.lstrip("/"), *folders, name + ".mbox")

    def senders(self, path):
        box = mailbox.mbox(path, create=False)
        try:
            return sorted(m["From"] for m in box)
        finally:
            box.close()

    def test_converts_a_store_into_a_mirrored_tree(self):
        self.write("Inbox/a.eml", message("a@x.org", "one"))
        self.write("Inbox/B.EML", message("b@x.org", "two"))
        self.write("Inbox/notes.txt", b"not mail")
        self.write("Sent Items/c.eml", message("c@x.org", "three"))
        self.write("Réunions & co/d.eml", message("d@x.org", "four"))
        result = self.convert("-o", self.out, self.store + "/")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stderr, "")  # no progress line without a terminal
        self.assertIn("Converted 4 messages into 3 mailboxes (3 created, 0 appended to)",
                      result.stdout)
        self.assertEqual(self.senders(self.mailbox_of("Inbox")), ["a@x.org", "b@x.org"])
        self.assertEqual(self.senders(self.mailbox_of("Sent Items")), ["c@x.org"])
        self.assertEqual(self.senders(self.mailbox_of("Réunions & co")), ["d@x.org"])

        # A second run appends; relative paths work.
        result = self.convert("--quiet", "-o", os.path.relpath(self.out), os.path.relpath(self.store))
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn("(0 created, 3 appended to)", result.stdout)
        self.assertEqual(len(self.senders(self.mailbox_of("Inbox"))), 4)

    def test_usage_errors_exit_with_2(self):
        os.makedirs(self.store)
        for args, needle in [([self.store], "output"), (["-o", self.out], "STORE"),
                             (["-o", self.out, os.path.join(self.tmp, "nowhere")], "nowhere"),
                             (["--bogus", "-o", self.out, self.store], "bogus")]:
            result = self.convert(*args)
            self.assertEqual(result.returncode, 2, args)
            self.assertEqual(len(result.stderr.splitlines()), 1, result.stderr)
            self.assertIn(needle, result.stderr)
        with open(os.path.join(self.tmp, "file"), "w"):
            pass
        result = self.convert("-o", os.path.join(self.tmp, "file"), self.store)
        self.assertEqual(result.returncode, 2)

    def test_help_and_version(self):
        result = self.convert("--version")
        self.assertEqual((result.returncode, result.stdout.strip()), (0, "4.03"))
        result = self.convert("--help")
        self.assertEqual(result.returncode, 0)
        self.assertIn("--keep-going", result.stdout)

    def test_a_failed_message_stops_the_run_unless_keep_going(self):
        # Files of the store folder come before those of its subfolders.
        os.makedirs(self.store)
        os.symlink(os.path.join(self.tmp, "gone.eml"), os.path.join(self.store, "broken.eml"))
        self.write("Inbox/a.eml", message("a@x.org", "one"))

        result = self.convert("-o", self.out, self.store)
        self.assertEqual(result.returncode, 1)
        self.assertEqual(len(result.stderr.splitlines()), 1, result.stderr)
        self.assertIn("broken.eml", result.stderr)
        self.assertIn("No such file", result.stderr)
        self.assertFalse(os.path.exists(self.mailbox_of("Inbox")))

        result = self.convert("--keep-going", "-o", self.out, self.store)
        self.assertEqual(result.returncode, 1)
        self.assertIn("broken.eml", result.stderr)
        self.assertIn("Converted 1 message into 1 mailbox", result.stdout)
        self.assertEqual(self.senders(self.mailbox_of("Inbox")), ["a@x.org"])


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
