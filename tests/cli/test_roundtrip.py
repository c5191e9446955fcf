"""Converts the real-world corpus and reads every mailbox back with Python's
mailbox module: each message file must come back whole, in its folder's
mailbox, and nothing else may."""
import os
import re
import shutil
import subprocess
import tempfile
import unittest

from clitest import CONVERTER, DATA, main
from mboxcheck import FROM_LINE, LEDGER, expected_mailboxes, records, written_files


def tree(root):
    """Every file below root with its bytes, the ledger without its "run" and "end" lines."""
    files = {}
    for folder, _, names in os.walk(root):
        for name in names:
            path = os.path.join(folder, name)
            with open(path, "rb") as f:
                data = f.read()
            if name == os.fsdecode(LEDGER):
                data = b"".join(l for l in data.splitlines(True)
                               if not l.startswith((b"run\t", b"end\t")))
            files[os.path.relpath(path, root)] = data
    return files


class CorpusRoundTrip(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.mkdtemp(prefix="marrowgate-corpus-")
        cls.store = os.path.join(cls.tmp, "Store")
        shutil.copytree(os.path.join(DATA, "corpus", "Store"), cls.store, symlinks=True)
        cls.out = os.path.join(cls.tmp, "out")
        cls.result = subprocess.run([CONVERTER, "-o", cls.out, cls.store], capture_output=True)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.tmp)

    def test_every_message_comes_back_whole(self):
        self.assertEqual(self.result.returncode, 0, self.result.stderr)
        self.assertEqual(self.result.stderr, b"")
        expected = expected_mailboxes(self.store, self.out)
        self.assertEqual(sum(sum(c.values()) for c in expected.values()), 189)
        self.assertIn(b"Empty, nothing to convert: 2 files.", self.result.stdout)

        self.assertEqual(written_files(self.out), sorted(expected))
        self.assertTrue(os.path.isfile(os.path.join(os.fsencode(self.out), LEDGER)))
        for path, wanted in expected.items():
            got = records(path, from_line=lambda line: self.assertRegex(line, FROM_LINE))
            self.assertEqual(got, wanted, path)

    def test_one_thread_writes_the_same_bytes(self):
        # Without reading ahead on a second thread, every file of the output
        # is the same but for the second each run began.
        alone = os.path.join(self.tmp, "alone")
        result = subprocess.run([CONVERTER, "--no-read-ahead", "-o", alone, self.store],
                                capture_output=True)
        def untimed(out):
            return re.sub(rb" in [\d.]+ s\.", b"", out)
        self.assertEqual((result.returncode, untimed(result.stdout), result.stderr),
                         (self.result.returncode, untimed(self.result.stdout), self.result.stderr))
        self.assertEqual(tree(alone), tree(self.out))

    def test_decoys_are_left_alone(self):
        mirrored = os.path.join(self.out, self.store.lstrip("/"))
        with open(os.path.join(mirrored, "Folders", "Projects", "2010", "2010.mbox"), "rb") as f:
            self.assertNotIn(b"notes.eml.txt", f.read())
        self.assertFalse(os.path.exists(os.path.join(mirrored, "Folders", "Scans")))
        for path in written_files(self.out):
            self.assertTrue(path.endswith(b".mbox"), path)


if __name__ == "__main__":
    main()
