"""Exactly once without trusting the ledger: the ledger deleted, cut, damaged
or planted; sources touched and moved; a mailbox cut short by another
program; targets switched; a full stdout. After each, every message is in
its mailbox once, and --verify-only (which writes nothing) names what is
doubled, cut or missing."""
import collections
import os
import shutil
import subprocess

from clitest import CONVERTER, ConverterCase, main, message
from mboxcheck import LEDGER, read, records


class BreakIt(ConverterCase):
    def setUp(self):
        super().setUp()
        for n in range(30):
            self.write(b"F%d/m%d.eml" % (n % 3, n), message(b"%d" % n, b"body %d" % n))
        # Identical files are each a message of their own.
        for n in range(3):
            self.write(b"Same/s%d.eml" % n, message(b"same"))
        self.ledger = os.path.join(os.fsencode(self.out), LEDGER)

    def run_ok(self, *args, store=None):
        result = self.convert("-o", self.out, store or self.store, *args)
        self.assertEqual(result.returncode, 0, result.stderr)
        return result

    def verify(self, store=None, *args):
        return self.convert("--verify-only", "-o", self.out, store or self.store, *args)

    def assert_once_and_verified(self, store=None):
        self.assert_exactly_once(store or self.store)
        result = self.verify(store)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertIn(b"33 of 33 messages verified; 0 problems.", result.stdout)

    def test_a_lost_or_damaged_ledger_doubles_nothing(self):
        self.run_ok()
        whole = read(self.ledger)
        for damage in ("deleted", "cut", "line lost", "garbled"):
            with self.subTest(damage=damage):
                if damage == "deleted":
                    os.unlink(self.ledger)
                elif damage == "cut":
                    with open(self.ledger, "wb") as f:
                        f.write(whole[:len(whole) * 2 // 5])
                elif damage == "line lost":
                    lines = whole.splitlines(keepends=True)
                    with open(self.ledger, "wb") as f:
                        f.write(b"".join(l for i, l in enumerate(lines) if i != 5))
                else:
                    with open(self.ledger, "wb") as f:
                        f.write(whole.replace(b"record\t", b"recorD\t", 4))
                result = self.run_ok()
                if damage != "cut":
                    # A ledger cut before a mailbox's "closed" line shows it
                    # left open by a killed run: its tail is taken back and
                    # converted again, in the same place.
                    self.assertIn(b"Converted 0 messages", result.stdout)
                self.assert_once_and_verified()
                with open(self.ledger, "wb") as f:
                    f.write(whole)

    def test_verify_names_doubled_cut_and_foreign_records(self):
        self.run_ok()
        box = self.box(b"F1")
        data = read(box)
        first = data[:data.index(b"From ", 1)]
        with open(box, "ab") as f:
            f.write(first)  # doubled
        other = self.box(b"F2")
        with open(other, "ab") as f:
            f.write(b"From x@y.org Mon Jul 05 14:03:09 2010\r\nSubject: mine\r\n\r\nhi\r\n\r\n")
        before = {p: read(p) for p in (box, other, self.ledger)}
        result = self.verify()
        self.assertEqual(result.returncode, 1)
        self.assertIn(b"doubled", result.stderr)
        self.assertEqual(len(result.stderr.splitlines()), 1, result.stderr)
        self.assertIn(b"Other mail, kept: 1 record in " + other, result.stdout)
        self.assertEqual({p: read(p) for p in before}, before, "--verify-only wrote")

    def test_touched_and_moved_sources_are_found_by_content(self):
        self.run_ok("--target", "mboxrd")
        moved = os.path.join(self.tmp, "mounted", "Store")
        os.makedirs(os.path.dirname(moved))
        shutil.move(self.store, moved)
        for folder, _, files in os.walk(moved):
            for name in files:
                os.utime(os.path.join(folder, name), (1e9, 1e9))
        result = self.run_ok("--target", "mboxrd", store=moved)
        self.assertIn(b"Converted 0 messages", result.stdout)
        self.assertIn(b"by their content", result.stdout)
        for folder in ("F0", "F1", "F2", "Same"):
            box = os.path.join(self.out, "Store", folder, folder + ".mbox")
            self.assertEqual(sum(records_lf(box).values()), 3 if folder == "Same" else 10)
        verified = self.verify(moved)
        self.assertEqual(verified.returncode, 0, verified.stderr)

    def test_a_message_dated_by_its_file_stays_verified_when_touched(self):
        # Without a Date: of its own, its From_ line carries the file's time.
        # Touched and converted again, the ledger holds the new time and the
        # mailbox the first run's date: still the same message, once.
        self.write(b"NoDate/n.eml", b"From: ann@x.org\r\nSubject: n\r\n\r\nbody\r\n")
        self.run_ok()
        for folder, _, files in os.walk(self.store):
            for name in files:
                os.utime(os.path.join(folder, name), (2e9, 2e9))
        self.assertIn(b"Converted 0 messages", self.run_ok().stdout)
        verified = self.verify()
        self.assertEqual(verified.returncode, 0, verified.stdout + verified.stderr)
        self.assertIn(b"34 of 34 messages verified; 0 problems.", verified.stdout)

    def test_a_mailbox_cut_short_is_cut_back_to_its_last_whole_record(self):
        self.run_ok()
        box = self.box(b"F0")
        os.truncate(box, os.path.getsize(box) // 2 + 7)
        result = self.verify()
        self.assertEqual(result.returncode, 1)
        result = self.run_ok()
        self.assertIn(b"Cut back " + box, result.stderr)
        self.assert_once_and_verified()
        # Mail added after a clean run is never cut, even without its end.
        with open(box, "ab") as f:
            f.write(b"From z@y.org Mon Jul 05 14:03:09 2010\r\nSubject: theirs\r\n\r\nno end")
        self.write(b"F0/new.eml", message(b"new"))
        self.run_ok()
        self.assertIn(b"no end", read(box))

    def test_targets_do_not_mix(self):
        store = os.path.join(self.tmp, "Root")  # a store whose mirror is its own name
        self.write(b"Inbox/a.eml", message(b"a"), store=store)
        out = os.path.join(self.tmp, "o")
        subprocess.run(["cp", "-r", store, "/"], check=True)
        try:
            first = self.convert("-o", out, "/Root")
            self.assertEqual(first.returncode, 0, first.stderr)
            second = self.convert("-o", out, "/Root", "--target", "mboxrd")
            self.assertEqual(second.returncode, 1)
            self.assertIn(b"written for the entourage target", second.stderr)
            self.assertIn(b"mboxrd", second.stderr)
            self.assertEqual(len(second.stderr.splitlines()), 1, second.stderr)
        finally:
            shutil.rmtree("/Root")

    def test_a_planted_ledger_is_refused_and_left_alone(self):
        os.makedirs(self.out)
        elsewhere = os.path.join(self.tmp, "notes.txt")
        with open(elsewhere, "wb") as f:
            f.write(b"marrowgate-ledger 2\n")
        os.link(elsewhere, self.ledger)
        result = self.convert("-o", self.out, self.store)
        self.assert_failed(result, b"2 hard links", self.ledger)
        self.assertEqual(read(elsewhere), b"marrowgate-ledger 2\n")
        os.unlink(self.ledger)
        with open(self.ledger, "wb") as f:
            f.write(b"hello\n")
        result = self.convert("-o", self.out, self.store)
        self.assert_failed(result, b"\"hello\"")
        self.assertEqual(os.listdir(self.out), [os.fsdecode(LEDGER)])

    def test_reports_lost_on_a_full_stdout_fail_the_run(self):
        with open("/dev/full", "wb") as full:
            result = subprocess.run([CONVERTER, "--quiet", "-o", self.out, self.store],
                                    stdout=full, stderr=subprocess.PIPE, timeout=300)
        self.assertEqual(result.returncode, 1)
        self.assertIn(b"cannot write to standard output", result.stderr)

    def test_names_with_control_characters_cannot_forge_lines(self):
        self.write(b"Evil\nok  1  1  0\x1b[2J/e.eml", message(b"evil"))
        result = self.convert("-o", self.out, self.store, "--verify")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn(b"Evil\\x0aok", result.stdout)
        self.assertNotIn(b"\x1b", result.stdout)

    def test_a_store_given_twice_says_so(self):
        result = self.run_ok(self.store)
        self.assertIn(b"Listed twice (a store given twice, or inside another): 33 messages, "
                      b"converted once.", result.stdout)

    def test_output_folders_inside_the_store_are_passed_over(self):
        # The output inside the store, a message put into it, and another
        # conversion's output beside it: neither is walked as the store's.
        self.out = os.path.join(self.store, "Converted")
        self.ledger = os.path.join(os.fsencode(self.out), LEDGER)
        self.write(b"Converted/planted.eml", message(b"planted"))
        result = self.run_ok()
        self.assertIn(b"Converted 33 messages", result.stdout)
        self.assertIn(b"Passed over, an output folder inside the store: " +
                      os.fsencode(self.out), result.stdout)
        other = os.path.join(self.store, "Older")
        self.assertEqual(self.convert("-o", other, os.path.join(self.store, "F0")).returncode, 0)
        self.write(b"Older/F0/extra.eml", message(b"extra"))
        result = self.run_ok()
        self.assertIn(b"Converted 0 messages", result.stdout)
        self.assertIn(os.fsencode(other), result.stdout)
        self.assertFalse(os.path.exists(os.path.join(self.out, self.store.lstrip("/"),
                                                     "Converted")))
        result = self.verify()
        self.assertIn(b"33 of 33 messages verified; 0 problems.", result.stdout)


def records_lf(path):
    """The records of an mboxrd mailbox, by content."""
    data = read(path)
    return collections.Counter(data.split(b"\nFrom ")) if data else {}


if __name__ == "__main__":
    main()
