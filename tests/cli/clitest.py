"""The converter run as a user runs it, on a store in a fresh temporary folder:
the base of the command-line suites."""
import collections
import os
import subprocess
import sys
import tempfile
import unittest

from mboxcheck import expected_mailboxes, mailbox_for, records, written_files

CONVERTER = os.path.abspath(sys.argv[1])
DATA = sys.argv[2]
ROOT = os.geteuid() == 0


def message(subject, body=b"body"):
    return (b"From: ann@x.org\r\nDate: Mon, 5 Jul 2010 14:03:09 +0000\r\nSubject: " + subject +
            b"\r\n\r\n" + body + b"\r\n")


def main():
    unittest.main(argv=sys.argv[:1], verbosity=2)


class ConverterCase(unittest.TestCase):
    """A store folder and an output folder in a temporary folder of their own."""

    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="marrowgate-cli-")
        os.chmod(self.tmp, 0o755)  # for runs as an unprivileged user
        self.store = os.path.join(self.tmp, "Store")
        self.out = os.path.join(self.tmp, "out")
        os.makedirs(self.store)

    def tearDown(self):
        subprocess.run(["chmod", "-R", "u+rwx", self.tmp])
        subprocess.run(["rm", "-rf", self.tmp])

    def write(self, relative, data, store=None):
        path = os.path.join(os.fsencode(store or self.store), os.fsencode(relative))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
        return path

    def box(self, folder):
        """The mailbox of the store's `folder` (relative, bytes)."""
        return mailbox_for(self.out, os.path.join(os.fsencode(self.store), folder))

    def generate_store(self, count):
        """`count` messages in a tree like a real store's, from the benchmark's generator."""
        generator = os.path.join(os.path.dirname(__file__), "..", "..", "bench",
                                 "generate_store.py")
        subprocess.run([sys.executable, generator, self.store, str(count)], check=True)

    def convert(self, *args, unprivileged=False, **kwargs):
        """Runs the converter, quiet; as an unprivileged user when asked and root."""
        command = [CONVERTER, "--quiet", *args]
        if unprivileged and ROOT:
            command = ["setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"] + command
        result = subprocess.run(command, capture_output=True, timeout=300, **kwargs)
        self.assertGreaterEqual(result.returncode, 0, result.stderr)  # not killed by a signal
        self.assertNotIn("Sanitizer", os.fsdecode(result.stderr))
        return result

    def assert_failed(self, result, *needles, lines=1):
        """The run failed with `lines` lines on stderr, which hold each needle."""
        self.assertEqual(result.returncode, 1, result.stderr)
        self.assertEqual(len(result.stderr.splitlines()), lines, result.stderr)
        for needle in needles:
            self.assertIn(needle, result.stderr)

    def assert_exactly_once(self, *stores):
        """Every message of the stores is in its mailbox once, and nothing else is written."""
        expected = collections.defaultdict(collections.Counter)
        for store in stores or (self.store,):
            for path, wanted in expected_mailboxes(store, self.out).items():
                expected[path] += wanted
        self.assertEqual(written_files(self.out), sorted(expected))
        for path, wanted in expected.items():
            self.assertEqual(records(path), wanted, path)
