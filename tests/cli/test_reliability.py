"""The converter in everyday use, and against bad input, odd names and trees, hostile output
folders, a full disk and a kill at any moment. Whatever happens: no crash, no
hang, no source file changed, nothing written outside the output folder, and
every mailbox holds whole records only (but the one being written when the
process was killed)."""
import hashlib
import mailbox
import os
import random
import resource
import shutil
import signal
import socket
import subprocess
import threading
import time

from clitest import CONVERTER, ROOT, ConverterCase, main, message
from mboxcheck import (expected_mailboxes, expected_record, mailbox_for, read, records,
                       written_files)


def snapshot(top, skip=None):
    """Every entry below `top` (bytes paths): its kind, size, time and content hash."""
    entries = {}
    for folder, folders, files in os.walk(os.fsencode(top)):
        if skip is not None:
            folders[:] = [f for f in folders if os.path.join(folder, f) != os.fsencode(skip)]
        for name in folders + files:
            path = os.path.join(folder, name)
            info = os.lstat(path)
            entry = (info.st_mode, info.st_size, info.st_mtime_ns)
            if os.path.islink(path):
                entry += (os.readlink(path),)
            elif os.path.isfile(path):
                entry += (hashlib.sha256(read(path)).hexdigest(),)
            entries[path] = entry
    return entries


class Reliability(ConverterCase):
    def test_bad_files_and_odd_names(self):
        rng = random.Random(5)
        files = {
            b"Inbox/empty.eml": b"",
            b"Inbox/binary.eml": bytes(rng.randrange(256) for _ in range(5000)),
            b"Inbox/nul.eml": b"From: a@x.org\r\n\r\n\0\0body\0\r\n",
            b"Inbox/long header line.eml": b"Subject: " + b"x" * 200_000 + b"\r\n\r\nbody",
            b"Inbox/no header.eml": b"just text\nwithout a header block\n",
            b"Inbox/invalid utf-8.eml": b"From: \xff\xfe@x.org\r\nSubject: \xc3(\r\n\r\n\x80\r\n",
            b"Inbox/folder.eml/inner.eml": message(b"in a folder named .eml"),
            b"Names/\xff\xfe latin-1 \xe9.eml": message(b"non-UTF-8 name"),
            b"Names/new\nline.eml": message(b"newline"),
            b"Names/ spaces .eml ": message(b"spaces"),
            b"Names/back\\slash.eml": message(b"backslash"),
            b"Odd \xff\nfolder \\ /m.eml": message(b"odd folder"),
        }
        for relative, data in files.items():
            self.write(relative, data)
        store = os.fsencode(self.store)
        inbox = os.path.join(store, b"Inbox")
        os.symlink(b"nowhere.eml", os.path.join(inbox, b"dangling.eml"))
        os.symlink(b"b.eml", os.path.join(inbox, b"loop-a.eml"))
        os.symlink(b"loop-a.eml", os.path.join(inbox, b"b.eml"))
        os.symlink(b"..", os.path.join(inbox, b"up"))
        os.symlink(b"empty.eml", os.path.join(inbox, b"link.eml"))
        os.mkfifo(os.path.join(inbox, b"fifo.eml"))
        os.symlink(b"fifo.eml", os.path.join(inbox, b"link-to-fifo.eml"))
        os.symlink(b"/dev/zero", os.path.join(inbox, b"zero.eml"))
        listening = socket.socket(socket.AF_UNIX)
        listening.bind(os.path.join(inbox, b"socket.eml"))
        before = snapshot(self.tmp)

        result = self.convert("--keep-going", "-o", self.out, self.store)
        listening.close()
        self.assert_failed(result, lines=3)
        failures = result.stderr.splitlines()
        for name, reason in [(b"dangling.eml", b"No such file"),
                             (b"loop-a.eml", b"Too many levels of symbolic links"),
                             (b"/b.eml", b"Too many levels of symbolic links")]:
            line = [f for f in failures if name + b" into" in f]
            self.assertEqual(len(line), 1, failures)
            self.assertIn(reason, line[0])
        # The empty file and the link to it are no messages.
        self.assertIn(b"Converted 11 messages", result.stdout)
        self.assertIn(b"Empty, nothing to convert: 2 files", result.stdout)
        self.assert_exactly_once()
        after = snapshot(self.tmp, skip=self.out)
        self.assertEqual(after, before, "a source file or a file outside the output changed")

    def test_deep_and_wide_trees(self):
        deep = os.path.join(self.store, *["d"] * 200)
        os.makedirs(deep)
        self.write(deep.encode() + b"/deep.eml", message(b"deep"))
        # 100,000 messages in one folder.
        wide = os.path.join(self.store, "Wide")
        os.makedirs(wide)
        data = message(b"one of many")
        for n in range(100_000):
            with open(os.path.join(wide, f"{n}.eml"), "wb") as f:
                f.write(data)
        result = self.convert("-o", self.out, self.store)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn(b"Converted 100001 messages", result.stdout)
        self.assertEqual(read(mailbox_for(self.out, os.fsencode(wide))),
                         (b"From ann@x.org Mon Jul 05 14:03:09 2010\r\n" +
                          expected_record(data)) * 100_000)
        self.assertEqual(records(mailbox_for(self.out, os.fsencode(deep))),
                         {expected_record(message(b"deep")): 1})

    def test_paths_longer_than_the_system_takes(self):
        # A mirrored folder too long to make: a clear error, nothing written.
        folder = os.path.join(self.store, *["f" * 200] * 15)
        self.write(folder.encode() + b"/m.eml", message(b"long"))
        out = os.path.join(self.tmp, *["o" * 200] * 8)
        result = self.convert("-o", out, self.store)
        self.assert_failed(result, b"m.eml", b"File name too long")
        self.assertEqual(written_files(out), [])

    def test_hostile_output_folders(self):
        self.write(b"Inbox/a.eml", message(b"a"))
        self.write(b"Sent/b.eml", message(b"b"))
        sent_box = self.box(b"Sent")
        os.makedirs(sent_box)  # a folder where the mailbox should be
        result = self.convert("--keep-going", "-o", self.out, self.store)
        self.assert_failed(result, b"b.eml", b"Is a directory")
        self.assertEqual(len(written_files(self.out)), 1)
        shutil.rmtree(self.out)

        # The output inside the store, given as relative paths with "..": the
        # mailboxes written are never taken for messages.
        for run in (1, 2):
            result = self.convert("-o", "Store/../Store/out", "Store/Inbox/../", cwd=self.tmp)
            self.assertEqual(result.returncode, 0, result.stderr)
            self.assertIn(b"Converted %d messages" % (2 if run == 1 else 0), result.stdout)
        inner = os.path.join(self.store, "out")
        boxes = written_files(inner)
        self.assertEqual(len(boxes), 2)
        self.assertTrue(all(b.endswith(b".mbox") for b in boxes), boxes)
        self.assertEqual(sum(records(b)[expected_record(message(b"a"))] for b in boxes), 1)

    def test_read_only_mailbox_and_unreadable_folder(self):
        self.write(b"Inbox/a.eml", message(b"a"))
        if ROOT:
            shutil.chown(self.tmp, "nobody")
        inbox_box = self.box(b"Inbox")
        self.assertEqual(self.convert("-o", self.out, self.store, unprivileged=True).returncode, 0)
        os.chmod(inbox_box, 0o444)
        earlier = read(inbox_box)
        self.write(b"Inbox/b.eml", message(b"b"))
        result = self.convert("-o", self.out, self.store, unprivileged=True)
        self.assert_failed(result, b"Permission denied")
        self.assertEqual(read(inbox_box), earlier)

        locked = os.path.join(self.store, "Locked")
        self.write(b"Locked/x.eml", message(b"x"))
        os.chmod(locked, 0)
        result = self.convert("-o", self.out + "2", self.store, unprivileged=True)
        self.assert_failed(result, b"Cannot list the folder " + os.fsencode(locked),
                           b"Permission denied")
        self.assertFalse(os.path.exists(self.out + "2"))

    def test_folders_vanishing_during_runs(self):
        # Folders renamed away and back, and made unreadable, while runs go on:
        # each run converts, or stops with a line naming the folder or file.
        for n in range(300):
            self.write(b"F%d/S%d/m%d.eml" % (n % 20, n % 3, n), message(b"%d" % n))
        if ROOT:
            shutil.chown(self.tmp, "nobody")
        stop = threading.Event()

        def churn():
            rng = random.Random(3)
            while not stop.is_set():
                folder = os.path.join(self.store, "F%d" % rng.randrange(20))
                os.rename(folder, folder + "-away")
                os.rename(folder + "-away", folder)
                os.chmod(folder, 0)
                os.chmod(folder, 0o755)

        thread = threading.Thread(target=churn)
        thread.start()
        try:
            for _ in range(20):
                shutil.rmtree(self.out, ignore_errors=True)
                result = self.convert("-o", self.out, self.store, unprivileged=True)
                self.assertIn(result.returncode, (0, 1), result.stderr)
                for line in result.stderr.splitlines():
                    self.assertRegex(line, rb"^marrowgate-convert: (Cannot list the folder /|"
                                           rb"Could not convert (/|\d+ message file))")
                for path in written_files(self.out):
                    self.assertIsNotNone(records(path), path)
        finally:
            stop.set()
            thread.join()

    def test_a_full_disk_loses_no_record(self):
        self.write(b"Box/small.eml", message(b"small"))
        self.assertEqual(self.convert("-o", self.out, self.store).returncode, 0)
        box = self.box(b"Box")
        big = self.write(b"Box/big.eml", message(b"big", b"y" * 100_000))
        self.write(b"Other/c.eml", message(b"c"))

        def file_size_limit():
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
            resource.setrlimit(resource.RLIMIT_FSIZE, (50_000, resource.RLIM_INFINITY))

        for args, converted in [(["--keep-going"], 1), ([], None)]:
            before = read(box)
            result = self.convert(*args, "-o", self.out, self.store, preexec_fn=file_size_limit)
            self.assert_failed(result, big, b"File too large")
            got = records(box)
            self.assertIsNotNone(got, "a partial record was left")
            self.assertNotIn(expected_record(message(b"big", b"y" * 100_000)), got)
            if converted:
                self.assertIn(b"Converted %d message" % converted, result.stdout)
                self.assertEqual(records(self.box(b"Other")),
                                 {expected_record(message(b"c")): 1})
            else:
                self.assertTrue(read(box).startswith(before))

    def test_killed_runs_leave_whole_records(self):
        self.generate_store(600)
        self.write(b"Inbox/big.eml", message(b"big", b"z" * 3_000_000))
        before = snapshot(self.store)
        expected = expected_mailboxes(self.store, self.out)

        start = time.perf_counter()
        self.assertEqual(self.convert("-o", self.out, self.store).returncode, 0)
        whole_run = time.perf_counter() - start
        rng = random.Random(9)
        for attempt in range(30):
            shutil.rmtree(self.out, ignore_errors=True)
            process = subprocess.Popen([CONVERTER, "--quiet", "-o", self.out, self.store],
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            time.sleep(rng.uniform(0, whole_run))
            process.kill()
            process.wait()
            # Whole records of the folder's own messages, but in one mailbox.
            partial = [path for path in written_files(self.out)
                       if records(path) is None or records(path) - expected[path]]
            self.assertLessEqual(len(partial), 1, (attempt, partial))
        self.assertEqual(snapshot(self.store), before)

    # --- never outside the output, never a wrong read ------------------------

    def mirrored(self, folder):
        return os.path.dirname(self.box(folder))

    def test_links_planted_below_the_output_are_never_followed(self):
        for folder in (b"Inbox", b"Sent", b"Hard", b"Good"):
            self.write(folder + b"/m.eml", message(folder))
        home = os.path.join(os.fsencode(self.tmp), b"home")
        os.makedirs(os.path.join(home, b"elsewhere"))
        with open(os.path.join(home, b".bashrc"), "wb") as f:
            f.write(b"# the user's own\n")
        for folder in (b"Inbox", b"Hard"):
            os.makedirs(self.mirrored(folder))
        inbox_box = self.box(b"Inbox")
        os.symlink(os.path.join(home, b".bashrc"), inbox_box)
        os.symlink(os.path.join(home, b"elsewhere"), self.mirrored(b"Sent"))
        hard_box = self.box(b"Hard")
        os.link(os.path.join(home, b".bashrc"), hard_box)
        before = snapshot(home)

        result = self.convert("--keep-going", "-o", self.out, self.store)
        self.assert_failed(result, inbox_box + b": it is a symbolic link",
                           self.mirrored(b"Sent") + b": it is a symbolic link",
                           hard_box + b": it has 2 hard links", lines=3)
        self.assertEqual(snapshot(home), before, "a file outside the output changed")
        self.assertIn(b"Converted 1 message", result.stdout)
        self.assertEqual(self.subjects("Good"), ["Good"])

        # An output root that is itself a link is the user's choice: followed.
        real = os.path.join(self.tmp, "real-out")
        os.makedirs(real)
        os.symlink(real, os.path.join(self.tmp, "named-out"))
        result = self.convert("-o", os.path.join(self.tmp, "named-out"),
                              os.path.join(self.store, "Good"))
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(len(written_files(real)), 1)

    def test_store_paths_are_resolved_by_the_system(self):
        # here/link/../Mail is the Mail beside the link's target, not here/Mail.
        for relative, subject in [("real/Mail/a.eml", b"real"), ("here/Mail/b.eml", b"here")]:
            path = os.path.join(self.tmp, relative)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as f:
                f.write(message(subject))
        os.makedirs(os.path.join(self.tmp, "real", "deep"))
        os.symlink(os.path.join(self.tmp, "real", "deep"), os.path.join(self.tmp, "here", "link"))
        result = self.convert("-o", self.out, "here/link/../Mail", cwd=self.tmp)
        self.assertEqual(result.returncode, 0, result.stderr)
        boxes = written_files(self.out)
        self.assertEqual(boxes, [mailbox_for(self.out, os.fsencode(self.tmp) + b"/real/Mail")])
        self.assertEqual(records(boxes[0]), {expected_record(message(b"real")): 1})

    def test_a_message_that_is_the_mailbox_being_written(self):
        self.write(b"Inbox/a.eml", message(b"a"))
        self.assertEqual(self.convert("-o", self.out, self.store).returncode, 0)
        box = self.box(b"Inbox")
        os.symlink(box, os.path.join(os.fsencode(self.store), b"Inbox", b"self.eml"))
        before = read(box)
        result = self.convert("-o", self.out, self.store)
        self.assert_failed(result, b"self.eml: it is the mailbox file being written")
        after = read(box)
        self.assertTrue(after.startswith(before))
        self.assertIsNotNone(records(box))

    def test_a_file_changed_while_it_is_read_is_taken_back(self):
        # Large sparse messages, grown or cut and regrown by another program
        # while the run reads them: never read past their size at open, and
        # never recorded as converted.
        self.write(b"Other/c.eml", message(b"c"))
        size = 200_000_000
        for name, change in [(b"grown", "grow"), (b"cut", "cut")]:
            path = self.write(name + b"/big.eml", message(name))
            os.truncate(path, size)
            stop = threading.Event()

            def meddle():
                with open(path, "r+b") as f:
                    while not stop.is_set():
                        if change == "grow":
                            f.seek(0, os.SEEK_END)
                            f.write(b"more\r\n")
                            f.flush()
                        else:
                            f.truncate(size // 2)
                            f.truncate(size)
                        time.sleep(0.002)

            thread = threading.Thread(target=meddle)
            thread.start()
            try:
                out = os.path.join(self.tmp, "out-" + change)
                result = self.convert("--keep-going", "-o", out,
                                      os.path.join(self.store, name.decode()),
                                      os.path.join(self.store, "Other"))
            finally:
                stop.set()
                thread.join()
            self.assert_failed(result, path + b": it changed while it was being read")
            self.assertIn(b"Converted 1 message", result.stdout)
            self.assertFalse(os.path.exists(mailbox_for(out, os.path.dirname(path))))
            os.unlink(path)

    def test_folders_that_cannot_be_made_name_the_folder_and_the_cause(self):
        for folder in (b"Locked/Inbox", b"Fine"):
            self.write(folder + b"/m.eml", message(folder))
        locked = self.mirrored(b"Locked")
        os.makedirs(locked)
        if ROOT:
            subprocess.run(["chown", "-R", "nobody", self.out], check=True)
        os.chmod(locked, 0o555)
        result = self.convert("--keep-going", "-o", self.out, self.store, unprivileged=True)
        self.assert_failed(result, b"Cannot create folder " + self.mirrored(b"Locked/Inbox") +
                           b": Permission denied")
        self.assertEqual(self.subjects("Fine"), ["Fine"])

    # --- everyday use -------------------------------------------------------

    def subjects(self, folder):
        box = mailbox.mbox(os.fsdecode(self.box(folder.encode())), create=False)
        try:
            return sorted(m["Subject"] for m in box)
        finally:
            box.close()

    def test_converts_a_store_into_a_mirrored_tree(self):
        self.write(b"Inbox/a.eml", message(b"one"))
        self.write(b"Inbox/B.EML", message(b"two"))
        self.write(b"Inbox/notes.txt", b"not mail")
        self.write(b"Sent Items/c.eml", message(b"three"))
        self.write("Réunions & co/d.eml".encode(), message(b"four"))
        result = self.convert("-o", self.out, self.store + "/")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn(b"Converted 4 messages into 3 mailboxes (3 created, 0 appended to)",
                      result.stdout)
        self.assertEqual(self.subjects("Inbox"), ["one", "two"])
        self.assertEqual(self.subjects("Sent Items"), ["three"])
        self.assertEqual(self.subjects("Réunions & co"), ["four"])

    def test_usage_help_and_version(self):
        with open(os.path.join(self.tmp, "file"), "w"):
            pass
        for args, needle in [([self.store], b"output"), (["-o", self.out], b"STORE"),
                             (["-o", self.out, os.path.join(self.tmp, "nowhere")], b"nowhere"),
                             (["--bogus", "-o", self.out, self.store], b"bogus"),
                             (["-o", os.path.join(self.tmp, "file"), self.store], b"file"),
                             (["-o", os.path.join(self.tmp, "file", "out"), self.store],
                              b"not a folder"),
                             (["-o", "", self.store], b"-o: the folder name is empty"),
                             (["-o", self.out, os.path.join(self.tmp, "file")], b"not a folder"),
                             (["-o", self.out, ""], b"STORE: the folder name is empty")]:
            result = self.convert(*args)
            self.assertEqual(result.returncode, 2, args)
            self.assertEqual(len(result.stderr.splitlines()), 1, result.stderr)
            self.assertIn(needle, result.stderr)
            self.assertFalse(os.path.exists(self.out))
        result = self.convert("--version")
        self.assertEqual((result.returncode, result.stdout.strip()), (0, b"4.03"))

    def test_a_failed_message_stops_the_run_unless_keep_going(self):
        # Files of the store folder come before those of its subfolders.
        os.symlink(os.path.join(self.tmp, "gone.eml"), os.path.join(self.store, "broken.eml"))
        self.write(b"Inbox/a.eml", message(b"one"))
        result = self.convert("-o", self.out, self.store)
        self.assert_failed(result, b"broken.eml", b"No such file")
        self.assertFalse(os.path.exists(self.box(b"Inbox")))
        result = self.convert("--keep-going", "-o", self.out, self.store)
        self.assertEqual(result.returncode, 1)
        self.assertIn(b"Converted 1 message into 1 mailbox", result.stdout)
        self.assertEqual(self.subjects("Inbox"), ["one"])


if __name__ == "__main__":
    main()
