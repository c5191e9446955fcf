"""Each output target on a small tree: where the mailboxes go, their line
ends, and the X-Marrowgate- fields that only the thunderbird target adds, only
to messages that do not start with two header fields."""
import mailbox
import os
import shutil

from clitest import ConverterCase, main
from mboxcheck import LEDGER, read

PLAIN = b"From: ann@x.org\r\nSubject: %s\r\nDate: Mon, 5 Jul 2010 14:03:09 +0000\r\n\r\nbody\r\n"
# Messages Thunderbird would merge into the one before: a single field, and
# a first line that is no field.
ONE_FIELD = b"From: <joe@example.net>\r\n\r\nFrom now on, one field only.\r\n"
NO_FIELD = b"HELO example.com\r\nMAIL FROM: <x@y>\r\n\r\nbody\n"

TREE = {
    "top.eml": PLAIN % b"top",
    "Inbox/b.eml": PLAIN % b"b",
    "Inbox/c.eml": ONE_FIELD,
    "Inbox/Sub/d.eml": PLAIN % b"d",
    "R\u00e9unions 2010/e.eml": NO_FIELD,
    "Archive/2009/f.eml": PLAIN % b"f",  # a folder with no mail of its own
}

LAYOUT = {
    "entourage": None,  # the whole source path; covered by the round trip test
    "thunderbird": {"Store": ["top"], "Store.sbd/Inbox": ["b", "c"],
                    "Store.sbd/Inbox.sbd/Sub": ["d"],
                    "Store.sbd/R\u00e9unions 2010": ["e"],
                    "Store.sbd/Archive": [], "Store.sbd/Archive.sbd/2009": ["f"]},
    "apple-mail": {"Store.mbox/mbox": ["top"], "Store.mbox/Inbox.mbox/mbox": ["b", "c"],
                   "Store.mbox/Inbox.mbox/Sub.mbox/mbox": ["d"],
                   "Store.mbox/R\u00e9unions 2010.mbox/mbox": ["e"],
                   "Store.mbox/Archive.mbox/2009.mbox/mbox": ["f"]},
    "mboxrd": {"Store/Store.mbox": ["top"], "Store/Inbox/Inbox.mbox": ["b", "c"],
               "Store/Inbox/Sub/Sub.mbox": ["d"],
               "Store/R\u00e9unions 2010/R\u00e9unions 2010.mbox": ["e"],
               "Store/Archive/2009/2009.mbox": ["f"]},
}
SOURCE = {"top": "top.eml", "b": "Inbox/b.eml", "c": "Inbox/c.eml", "d": "Inbox/Sub/d.eml",
          "e": "R\u00e9unions 2010/e.eml", "f": "Archive/2009/f.eml"}


class Targets(ConverterCase):
    def setUp(self):
        super().setUp()
        for name, data in TREE.items():
            self.write(name, data)

    def convert_to(self, target):
        out = os.path.join(self.tmp, f"out-{target}")
        shutil.rmtree(out, ignore_errors=True)
        target_args = ["--target", target] if target else []
        return out, self.convert("-o", out, self.store, *target_args, text=True)

    def files(self, out):
        """The mailboxes written: every file but the ledger."""
        found = {}
        for folder, _, names in os.walk(out):
            for name in names:
                if name == os.fsdecode(LEDGER):
                    continue
                path = os.path.join(folder, name)
                found[os.path.relpath(path, out)] = read(path)
        return found

    def test_layout_line_ends_and_added_fields(self):
        for target, layout in LAYOUT.items():
            if layout is None:
                continue
            with self.subTest(target=target):
                out, result = self.convert_to(target)
                self.assertEqual(result.returncode, 0, result.stderr)
                files = self.files(out)
                self.assertEqual(sorted(files), sorted(layout))
                for name, data in files.items():
                    self.assertNotIn(b"\r", data, name)
                    box = mailbox.mbox(os.path.join(out, name), create=False)
                    records = [box.get_bytes(key) for key in box.keys()]
                    # A folder's files come in the order the file system lists them.
                    self.assertEqual(sorted(records),
                                     sorted(self.record(target, key) for key in layout[name]))
                marked = "2 messages did not start with two header fields"
                self.assertEqual(marked in result.stdout, target == "thunderbird")
                self.assertIn("To import into " + target, result.stdout)

    def record(self, target, key):
        source = TREE[SOURCE[key]].replace(b"\r\n", b"\n")
        source = source.replace(b"\nFrom now", b"\n>From now")
        if target == "thunderbird" and key == "c":
            source = b"X-Marrowgate-Source: c.eml\n" + source
        elif target == "thunderbird" and key == "e":
            source = (b"X-Marrowgate-Source: e.eml\nX-Marrowgate-Folder: R\xc3\xa9unions 2010\n"
                      + source)
        return source

    def test_entourage_stays_the_default(self):
        out, result = self.convert_to(None)
        default = self.files(out)
        out, named = self.convert_to("entourage")
        self.assertEqual(self.files(out), default)
        self.assertEqual(result.stdout.split("\n")[1:], named.stdout.split("\n")[1:])
        self.assertNotIn("To import", result.stdout)
        for data in default.values():
            self.assertNotIn(b"X-Marrowgate", data)
            self.assertEqual(data.count(b"\n"), data.count(b"\r\n"))

    def test_unknown_target(self):
        _, result = self.convert_to("outlook")
        self.assertEqual(result.returncode, 2)
        self.assertIn("--target", result.stderr)


if __name__ == "__main__":
    main()
