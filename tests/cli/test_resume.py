"""Exactly once, however runs end: killed, interrupted, run twice, two at once,
a store given twice, a mailbox someone else writes to. The mailboxes are read
back with Python's mailbox module; the ledger is read as its documentation
describes it."""
import collections
import fcntl
import os
import random
import resource
import shutil
import signal
import subprocess
import time

from clitest import CONVERTER, ConverterCase, main, message
from mboxcheck import LEDGER, expected_mailboxes, expected_record, read, records, written_files

INTERRUPTED = (rb"^Interrupted after (\d+) of (\d+) messages; "
               rb"run the same command again to continue$")


def ledger_lines(out):
    """The ledger's lines, split into fields, unescaped."""
    def unescape(field):
        return field.replace(b"\\t", b"\t").replace(b"\\n", b"\n").replace(
            b"\\r", b"\r").replace(b"\\\\", b"\\")
    data = read(os.path.join(os.fsencode(out), LEDGER))
    return [[unescape(f) for f in line.split(b"\t")] for line in data.split(b"\n")[:-1]]


class Resume(ConverterCase):
    def generated_store(self, count, big):
        self.generate_store(count)
        for n in range(big):
            self.write(b"Storage Folders/Inbox/big%d.eml" % n,
                       message(b"big %d" % n, (b"line %d of a big one\r\n" % n) * 250_000))

    def run_and_stop(self, how, moment):
        """Starts a run and sends `how` once it has begun to write, `moment`
        seconds later; returns the finished process's result."""
        ledger = os.path.join(self.out, os.fsdecode(LEDGER))

        def ledger_size():
            return os.path.getsize(ledger) if os.path.exists(ledger) else 0

        before = ledger_size()
        process = subprocess.Popen([CONVERTER, "--quiet", "-o", self.out, self.store],
                                   stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        while process.poll() is None and ledger_size() == before:
            time.sleep(0.001)  # until the run has written its first line
        time.sleep(moment)
        process.send_signal(how)
        stdout, stderr = process.communicate()
        return process.returncode, stdout, stderr

    def test_killed_again_and_again_then_finished(self):
        self.generated_store(500, big=4)
        start = time.perf_counter()
        self.assertEqual(self.convert("-o", self.out, self.store).returncode, 0)
        whole_run = time.perf_counter() - start
        shutil.rmtree(self.out)
        rng = random.Random(11)
        for _ in range(12):
            self.run_and_stop(signal.SIGKILL, rng.uniform(0, whole_run))
        result = self.convert("-o", self.out, self.store)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assert_exactly_once()
        # Once finished, a run more changes nothing.
        again = self.convert("-o", self.out, self.store)
        self.assertIn(b"Converted 0 messages", again.stdout)
        self.assert_exactly_once()

    def test_interrupted_runs_end_between_records(self):
        self.generated_store(300, big=3)
        self.write(b"Huge/huge.eml", message(b"huge", b"h" * 60_000_000))
        start = time.perf_counter()
        self.assertEqual(self.convert("-o", self.out, self.store).returncode, 0)
        whole_run = time.perf_counter() - start
        shutil.rmtree(self.out)
        expected = expected_mailboxes(self.store, self.out)
        rng = random.Random(12)
        stopped = 0
        for how in [signal.SIGINT] * 6 + [signal.SIGTERM, signal.SIGHUP]:
            code, _, stderr = self.run_and_stop(how, rng.uniform(0, whole_run * 0.7))
            if code == 0:
                continue  # it was done before the signal came
            stopped += 1
            self.assertEqual(code, 128 + how, stderr)
            self.assertRegex(stderr.splitlines()[-1], INTERRUPTED)
            for path in written_files(self.out):
                got = records(path)
                self.assertIsNotNone(got, path)
                self.assertFalse(got - expected[path], path)
        self.assertGreater(stopped, 0)
        result = self.convert("-o", self.out, self.store)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assert_exactly_once()

    def test_one_writer_per_output(self):
        self.generated_store(200, big=2)
        # Another run holds the output: refused at once, with one line, and nothing written.
        os.makedirs(self.out)
        with open(os.path.join(self.out, os.fsdecode(LEDGER)), "ab") as held:
            fcntl.flock(held, fcntl.LOCK_EX)
            result = self.convert("-o", self.out, self.store)
            self.assert_failed(result,
                               b"Another conversion is writing into " + os.fsencode(self.out))
            self.assertEqual(written_files(self.out), [])
        # Two real runs at once, many times: each is refused or converts, and
        # whatever order they come in, every message is there once.
        for _ in range(4):
            both = [subprocess.Popen([CONVERTER, "--quiet", "-o", self.out, self.store],
                                     stdout=subprocess.PIPE, stderr=subprocess.PIPE)
                    for _ in range(2)]
            outputs = [p.communicate() for p in both]
            codes = [p.returncode for p in both]
            for (_, stderr), code in zip(outputs, codes):
                self.assertIn(code, (0, 1), stderr)
                if code == 1:
                    self.assertIn(b"Another conversion is writing into", stderr)
            self.assertIn(0, codes)
        self.assert_exactly_once()

    def test_a_mailbox_someone_holds_is_not_written(self):
        self.write(b"Inbox/a.eml", message(b"a"))
        box = self.box(b"Inbox")
        os.makedirs(os.path.dirname(box))
        with open(box, "ab") as held:
            fcntl.lockf(held, fcntl.LOCK_EX)
            result = self.convert("-o", self.out, self.store)
        self.assert_failed(result, b"another program holds it")
        self.assertEqual(os.path.getsize(box), 0)
        self.assertEqual(self.convert("-o", self.out, self.store).returncode, 0)
        self.assert_exactly_once()

    def test_runs_twice_changed_sources_and_converting_again(self):
        for n in range(5):
            self.write(b"Inbox/%d.eml" % n, message(b"%d" % n))
        self.write(b"Inbox/Sub/s.eml", message(b"sub"))
        # The same store twice, and a parent with its child: each message once.
        result = self.convert("-o", self.out, self.store, self.store,
                              os.path.join(self.store, "Inbox", "Sub"))
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn(b"Converted 6 messages", result.stdout)
        self.assertIn(b"Already converted: 7 messages, skipped.", result.stdout)
        self.assert_exactly_once()

        result = self.convert("-o", self.out, self.store)
        self.assertIn(b"Converted 0 messages", result.stdout)
        self.assertIn(b"Already converted: 6 messages, skipped.", result.stdout)
        self.assert_exactly_once()

        # A message changed since: converted again and named; the earlier
        # record stays, as nothing in a mailbox is ever cut.
        changed = self.write(b"Inbox/3.eml", message(b"3", b"body, edited"))
        result = self.convert("-o", self.out, self.store)
        self.assertIn(b"Converted 1 message ", result.stdout)
        self.assertIn(b"Changed since converted, converted again: " + changed, result.stdout)
        inbox = self.box(b"Inbox")
        self.assertEqual(records(inbox)[expected_record(message(b"3", b"body, edited"))], 1)
        self.assertEqual(records(inbox)[expected_record(message(b"3"))], 1)

        # On purpose: every message once more.
        result = self.convert("--reconvert", "-o", self.out, self.store)
        self.assertIn(b"Converted 6 messages", result.stdout)
        self.assertEqual(sum(records(inbox).values()), 2 * 5 + 1)

    def test_foreign_mailbox_bytes_are_never_changed(self):
        self.write(b"Inbox/a.eml", message(b"a"))
        box = self.box(b"Inbox")
        os.makedirs(os.path.dirname(box))
        foreign = b"From x@y.org Mon Jul 05 14:03:09 2010\nSubject: foreign\n\ntext, no line end"
        with open(box, "wb") as f:
            f.write(foreign)
        self.assertEqual(self.convert("-o", self.out, self.store).returncode, 0)
        data = read(box)
        self.assertTrue(data.startswith(foreign))
        got = records(box)
        self.assertEqual(got[expected_record(message(b"a"))], 1, got)
        self.assertEqual(len(got), 2)

        # A mail program adds to the mailbox after a clean run; a later run
        # (killed, then finished) keeps its bytes and appends after them.
        delivered = b"From z@y.org Mon Jul 05 14:03:09 2010\r\nSubject: delivered\r\n\r\nhi\r\n\r\n"
        with open(box, "ab") as f:
            f.write(delivered)
        self.write(b"Inbox/big.eml", message(b"big", b"b" * 30_000_000))
        self.write(b"Inbox/c.eml", message(b"c"))
        self.run_and_stop(signal.SIGKILL, 0.05)
        self.assertEqual(self.convert("-o", self.out, self.store).returncode, 0)
        self.assertTrue(read(box).startswith(data + delivered))
        got = records(box)
        for subject in (b"a", b"c"):
            self.assertEqual(got[expected_record(message(subject))], 1)
        self.assertEqual(got[expected_record(message(b"big", b"b" * 30_000_000))], 1)

    def leave_open(self):
        """The ledger as a kill leaves it, or as one cut short leaves it: no
        "closed" line."""
        ledger = os.path.join(os.fsencode(self.out), LEDGER)
        lines = read(ledger).splitlines(keepends=True)
        with open(ledger, "wb") as f:
            f.write(b"".join(line for line in lines if not line.startswith(b"closed")))

    def test_a_tail_left_open_is_cut_only_when_proved_ours(self):
        self.write(b"Inbox/a.eml", message(b"a"))
        self.assertEqual(self.convert("-o", self.out, self.store).returncode, 0)
        box = self.box(b"Inbox")
        whole = read(box)
        # The record a killed run was writing, cut short: the record written
        # in its place proves it, and it goes.
        self.write(b"Inbox/b.eml", message(b"b", b"b" * 5000))
        elsewhere = os.path.join(self.tmp, "elsewhere")
        self.assertEqual(self.convert("-o", elsewhere, self.store).returncode, 0)
        b_record = read(self.box(b"Inbox").replace(os.fsencode(self.out),
                                                   os.fsencode(elsewhere)))[len(whole):]
        self.leave_open()
        with open(box, "ab") as f:
            f.write(b_record[:3000])
        result = self.convert("-o", self.out, self.store)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertNotIn(b"Kept", result.stderr)
        self.assertEqual(read(box), whole + b_record)

        # The ledger lost its "closed" line and another program's mail, cut
        # short, follows: kept, even when nothing is converted, and named
        # once a record follows it.
        self.leave_open()
        foreign = b"From ann@x.org Mon Jul 05 14:03:09 2010\r\nSubject: cut sh"
        with open(box, "ab") as f:
            f.write(foreign)
        result = self.convert("-o", self.out, self.store)
        self.assertIn(b"Converted 0 messages", result.stdout)
        self.assertEqual(read(box), whole + b_record + foreign)
        self.write(b"Inbox/c.eml", message(b"c"))
        result = self.convert("-o", self.out, self.store)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertRegex(result.stderr, rb"Kept .*Inbox.mbox: bytes \d+ to \d+, a record cut short")
        self.assertTrue(read(box).startswith(whole + b_record + foreign))
        self.assertEqual(records(box)[expected_record(message(b"c"))], 1)
        # Closed now: what a mail program adds is never cut.
        delivered = b"From z@y.org Mon Jul 05 14:03:09 2010\r\nSubject: delivered\r\n\r\nhi\r\n\r\n"
        with open(box, "ab") as f:
            f.write(delivered)
        before = read(box)
        self.write(b"Inbox/d.eml", message(b"d"))
        self.assertEqual(self.convert("-o", self.out, self.store).returncode, 0)
        self.assertTrue(read(box).startswith(before))
        self.assertEqual(records(box)[expected_record(message(b"d"))], 1)

    def killed_inside_a_large_message(self):
        """A small message and two large ones converted, then the state that
        runs killed one after another leave, none of them getting its record
        lines into the ledger: the records before the second large one known
        only by their content, and that one cut short. Returns the mailbox,
        what it held whole and where the cut record begins."""
        bigs = [message(b"big %d" % n, (b"line %d of a big one\r\n" % n) * 250_000)
                for n in range(2)]
        self.write(b"Inbox/a.eml", message(b"a"))
        for n, big in enumerate(bigs):
            self.write(b"Inbox/big%d.eml" % n, big)
        self.assertEqual(self.convert("-o", self.out, self.store).returncode, 0)
        box = self.box(b"Inbox")
        whole = read(box)
        big1 = whole.rindex(b"\nFrom ", 0, whole.index(b"\r\nSubject: big 1")) + 1
        ledger = os.path.join(os.fsencode(self.out), LEDGER)
        lines = read(ledger).splitlines(keepends=True)
        opened = next(n for n, line in enumerate(lines) if line.startswith(b"open"))
        with open(ledger, "wb") as f:
            f.write(b"".join(lines[:opened + 1]))
        os.truncate(box, big1 + 2_000_000)
        return box, whole, big1

    def test_a_run_killed_past_a_torn_record_leaves_no_copy_behind(self):
        # The run after must write nothing it finds in the mailbox already,
        # not even the start of a large message, or a kill leaves a second
        # torn record behind the first, which then looks whole.
        box, whole, big1 = self.killed_inside_a_large_message()
        ledger = os.path.join(os.fsencode(self.out), LEDGER)

        # Killed by the file size limit once a million bytes more are written.
        limit = big1 + 3_000_000
        killed = subprocess.run(
            [CONVERTER, "--quiet", "-o", self.out, self.store], capture_output=True,
            preexec_fn=lambda: resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit)))
        self.assertEqual(killed.returncode, -signal.SIGXFSZ, killed.stderr)
        result = self.convert("-o", self.out, self.store)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertNotIn(b"Kept", result.stderr)
        self.assertEqual(read(box), whole)

        # What such a kill left before: the copy cut short, then the line
        # ends and records of the run after it, none of it in the ledger.
        # The check names it.
        os.unlink(ledger)
        with open(box, "wb") as f:
            f.write(whole[:big1] + whole[big1:big1 + 2_000_000] + b"\r\n\r\n" + whole[big1:])
        check = self.convert("--verify-only", "-o", self.out, self.store)
        self.assertEqual(check.returncode, 1, check.stdout)
        self.assertIn(b"a record cut short at byte %d (2000004 bytes, the start of the record of "
                      % big1 + self.store.encode() + b"/Inbox/big1.eml)", check.stderr)

    def test_a_torn_record_is_proved_by_any_message_of_its_folder(self):
        # A message added to the store before the run is finished (or one that
        # failed then) comes first: the record cut short is still proved to
        # be the start of another message of the folder, and cut back.
        box, whole, big1 = self.killed_inside_a_large_message()
        added = message(b"added since")
        self.write(b"Inbox/big0a.eml", added)
        result = self.convert("-o", self.out, self.store)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertNotIn(b"Kept", result.stderr)
        from_line = whole[:whole.index(b"\n") + 1]  # every message here has the same
        self.assertEqual(read(box), whole[:big1] + from_line + expected_record(added) + whole[big1:])
        check = self.convert("--verify-only", "-o", self.out, self.store)
        self.assertEqual(check.returncode, 0, check.stderr)

    def test_the_ledger_after_failures_merges_and_empty_files(self):
        self.write(b"Inbox/a.eml", message(b"a"))
        self.write(b"Inbox/b.eml", message(b"b"))
        self.write(b"Inbox/empty.eml", b" \r\n\r\n")
        os.symlink(os.path.join(self.tmp, "gone.eml"), os.path.join(self.store, "Inbox", "bad.eml"))
        result = self.convert("--keep-going", "-o", self.out, self.store)
        self.assert_failed(result, b"bad.eml")
        self.assertIn(b"Empty, nothing to convert: " + os.fsencode(self.store) + b"/Inbox/empty.eml",
                      result.stdout)
        self.assertIn(b"Empty, nothing to convert: 1 file.", result.stdout)

        other = os.path.join(self.tmp, "Other")
        self.write(b"Inbox/c.eml", message(b"c"), store=other)
        self.write(b"Inbox/a.eml", message(b"a from another store"), store=other)
        self.assertEqual(self.convert("-o", self.out, other).returncode, 0)
        self.assert_exactly_once(self.store, other)

        lines = ledger_lines(self.out)
        self.assertEqual(lines[0], [b"marrowgate-ledger 2"])
        standing = [line for line in lines if line[0] == b"record"]
        sources = sorted(os.path.basename(line[4]) for line in standing)
        self.assertEqual(sources, [b"a.eml", b"a.eml", b"b.eml", b"c.eml"])
        for line in standing:
            mailbox, (begin, end) = line[1], map(int, line[2].split(b"-"))
            self.assertRegex(line[3], rb"^[0-9a-f]{32}$")  # the content's hash
            with open(os.path.join(os.fsencode(self.out), mailbox), "rb") as f:
                f.seek(begin)
                record = f.read(end - begin)
            source = read(line[4])
            self.assertEqual(int(line[5]), len(source))
            self.assertTrue(record.startswith(b"From "), record)  # its From_ line, no lead
            self.assertTrue(record.endswith(expected_record(source)), record)
        # Every mailbox opened was closed cleanly.
        opened = collections.Counter(line[1] for line in lines if line[0] == b"open")
        closed = collections.Counter(line[1] for line in lines if line[0] == b"closed")
        self.assertEqual(opened, closed)


if __name__ == "__main__":
    main()
