"""Converts the real-world corpus and reads every mailbox back with Python's
mailbox module: each message file must come back whole, in its folder's
mailbox, and nothing else may."""
import collections
import mailbox
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

from mboxcheck import FROM_LINE, expected_record, unquoted

CONVERTER, DATA = sys.argv[1], sys.argv[2]
DECOYS = {"Read me.txt", "raw_email.emlx", "logo.gif", "eml", "notes.eml.txt", "test.pdf",
          "test.jpg"}


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

    def expected_by_mailbox(self):
        expected = collections.defaultdict(collections.Counter)
        for folder, _, files in os.walk(self.store):
            for name in files:
                if name.strip(" ").lower().endswith(".eml"):
                    with open(os.path.join(folder, name), "rb") as f:
                        data = f.read()
                    if not data.strip():
                        continue  # white space only: not a message
                    record = expected_record(data)
                    mirrored = os.path.join(self.out, folder.lstrip("/"))
                    mbox = os.path.join(mirrored, os.path.basename(folder) + ".mbox")
                    expected[mbox][record] += 1
        return expected

    def test_every_message_comes_back_whole(self):
        self.assertEqual(self.result.returncode, 0, self.result.stderr)
        self.assertEqual(self.result.stderr, b"")
        expected = self.expected_by_mailbox()
        self.assertEqual(sum(sum(c.values()) for c in expected.values()), 189)
        self.assertIn(b"Empty, nothing to convert: 2 files.", self.result.stdout)

        written = []
        for folder, _, files in os.walk(self.out):
            written += [os.path.join(folder, f) for f in files]
        self.assertEqual(sorted(written),
                         sorted([*expected, os.path.join(self.out, ".marrowgate-ledger")]))

        for path, records in expected.items():
            box = mailbox.mbox(path, create=False)
            got = collections.Counter()
            for key in box.keys():
                from_line = box.get_message(key).get_from()
                self.assertRegex(from_line, FROM_LINE)
                got[unquoted(box.get_bytes(key))] += 1
            box.close()
            self.assertEqual(got, records, path)

    def test_decoys_are_left_alone(self):
        for folder, _, files in os.walk(self.out):
            for name in files:
                if folder != self.out:  # the ledger is at the top
                    self.assertTrue(name.endswith(".mbox"), name)
        with open(os.path.join(self.out, self.store.lstrip("/"), "Folders", "Projects", "2010",
                               "2010.mbox"), "rb") as f:
            self.assertNotIn(b"notes.eml.txt", f.read())
        self.assertFalse(os.path.exists(os.path.join(self.out, self.store.lstrip("/"),
                                                     "Folders", "Scans")))


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
