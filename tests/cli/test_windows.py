"""The Windows build of the converter, run under wine, against what Windows
does its own way: arguments in the ANSI code page, paths past 260 characters,
the read-only attribute, a mailbox or an output locked by another program,
names Windows resolves its own way (CON, a final dot or space), Ctrl+C.
Its mailboxes are read back on the Linux side with Python's mailbox module.

    test_windows.py CONVERTER HOLD_LOCK DATA CONVERTER_EXE LINUX_CONVERTER|"" [TEST]...

CONVERTER and HOLD_LOCK run the Windows programs (through wine); paths are
handed to them in Windows form (Z: is the Linux root under wine). With the
Linux build's converter, the two builds' mailboxes of the real-world corpus
must be the same bytes.

The Linux build's reliability and resume suites run here too, against the
Windows converter, but for the cases whose fault Windows does not have or
wine cannot make (each skipped with its reason)."""
import mailbox
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

import test_reliability
import test_resume
from mboxcheck import mailbox_bytes

CONVERTER, HOLD_LOCK, DATA, CONVERTER_EXE = sys.argv[1:5]
LINUX_CONVERTER = sys.argv[5] if len(sys.argv) > 5 and sys.argv[5] else None
NATIVE = os.name == "nt"
# Wine's own programs (attrib) run the way the converter is run.
WINE = [] if NATIVE else [os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..",
                                       "scripts", "wine-run")]
# Wine names files on Linux in the locale's encoding.
ENV = dict(os.environ, LANG="C.UTF-8", LC_ALL="C.UTF-8")


def windows(path):
    if NATIVE:
        return os.path.abspath(path)
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def message(subject):
    return (b"From: ann@x.org\r\nDate: Mon, 5 Jul 2010 14:03:09 +0000\r\nSubject: " + subject +
            b"\r\n\r\nbody\r\n")


class WindowsFaults(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="marrowgate-windows-")
        self.store = os.path.join(self.tmp, "Store")
        self.out = os.path.join(self.tmp, "out")

    def tearDown(self):
        subprocess.run(["chmod", "-R", "u+rwx", self.tmp])
        shutil.rmtree(self.tmp)

    def write(self, relative, data):
        path = os.path.join(self.store, relative)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)

    def convert(self, *args):
        return subprocess.run([CONVERTER, *args], capture_output=True, env=ENV, timeout=120)

    def mailbox_of(self, folder):
        """The mailbox of the store folder `folder` (absolute, Linux form)."""
        relative = os.path.splitdrive(folder)[1].lstrip("/\\")
        return os.path.join(self.out, relative, os.path.basename(folder) + ".mbox")

    def inbox_with_an_earlier_record(self):
        """A store with one message in Inbox, whose mailbox holds one record already."""
        self.write("Inbox/a.eml", message(b"one"))
        box = self.mailbox_of(os.path.join(self.store, "Inbox"))
        os.makedirs(os.path.dirname(box))
        with open(box, "wb") as f:
            f.write(b"From x Mon Jul 05 14:03:09 2010\r\nSubject: old\r\n\r\nold\r\n\r\n")
        return box

    def convert_while_held(self, holding, said, *options):
        """A run of the store into the output while another program holds
        what `holding` (hold_lock's arguments) names."""
        holder = subprocess.Popen([HOLD_LOCK, *holding], stdin=subprocess.PIPE,
                                  stdout=subprocess.PIPE, env=ENV)
        try:
            self.assertEqual(holder.stdout.readline().strip(), said)
            return self.convert("-q", *options, "-o", windows(self.out), windows(self.store))
        finally:
            holder.stdin.close()
            holder.wait(timeout=60)
            holder.stdout.close()

    def subjects(self, path):
        box = mailbox.mbox(path, create=False)
        found = [re.search(rb"(?m)^Subject: ([^\r\n]*)", box.get_bytes(key)).group(1).decode()
                 for key in box.keys()]
        box.close()
        return found

    def test_folder_names_beyond_the_ansi_code_page(self):
        # "Réunions" is in the Western code page, the Greek name in none but
        # its own: both must reach the program whole.
        for name in ("Réunions 2010", "Συναντήσεις"):
            folder = os.path.join(self.store, name)
            self.write(os.path.join(name, "a.eml"), message(name.encode()))
            result = self.convert("-q", "-o", windows(self.out), windows(folder))
            self.assertEqual(result.returncode, 0, result.stderr.decode(errors="replace"))
            self.assertEqual(self.subjects(self.mailbox_of(folder)), [name])

    def test_paths_longer_than_260_characters(self):
        deep = os.path.join(*["Projects and other long folder names %d" % i for i in range(8)])
        self.write(os.path.join(deep, "a.eml"), message(b"deep"))
        folder = os.path.join(self.store, deep)
        self.assertGreater(len(windows(self.mailbox_of(folder))), 300)
        result = self.convert("-q", "-o", windows(self.out), windows(self.store))
        self.assertEqual(result.returncode, 0, result.stderr.decode(errors="replace"))
        self.assertEqual(self.subjects(self.mailbox_of(folder)), ["deep"])

    def test_a_read_only_mailbox_is_reported_and_left_alone(self):
        box = self.inbox_with_an_earlier_record()
        subprocess.run([*WINE, "attrib", "+r", windows(box)], env=ENV, check=True)
        before = open(box, "rb").read()
        result = self.convert("-q", "-o", windows(self.out), windows(self.store))
        self.assertEqual(result.returncode, 1)
        self.assertIn(b"Inbox.mbox", result.stderr)
        self.assertEqual(open(box, "rb").read(), before)

    def test_a_mailbox_another_program_locks_is_reported_and_left_alone(self):
        box = self.inbox_with_an_earlier_record()
        before = open(box, "rb").read()
        result = self.convert_while_held([windows(box)], b"locked")
        self.assertEqual(result.returncode, 1)
        self.assertIn(b"Inbox.mbox", result.stderr)
        self.assertEqual(open(box, "rb").read(), before)
        # Once the other program is done, the same run goes through.
        result = self.convert("-q", "-o", windows(self.out), windows(self.store))
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(self.subjects(box), ["old", "one"])

    def test_message_files_a_running_mail_program_keeps_open_are_reported(self):
        # Windows Live Mail, still running, shares its open files with no one.
        for name in ("a", "b", "c"):
            self.write(f"Inbox/{name}.eml", message(name.encode()))
        held = [windows(os.path.join(self.store, "Inbox", n + ".eml")) for n in ("a", "c")]
        result = self.convert_while_held(["--open", *held], b"held", "-k")
        self.assertEqual(result.returncode, 1)
        for path in held:
            self.assertIn(b"Cannot open message file " + path.encode() +
                          b": another program has it open", result.stderr)
        inbox = self.mailbox_of(os.path.join(self.store, "Inbox"))
        self.assertEqual(self.subjects(inbox), ["b"])
        # Once the program has closed them, the same run adds them once.
        result = self.convert("-q", "-o", windows(self.out), windows(self.store))
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(sorted(self.subjects(inbox)), ["a", "b", "c"])

    def test_a_held_output_is_refused_and_two_runs_at_once_convert_once(self):
        subjects = sorted(b"%d" % n for n in range(100))
        for subject in subjects:
            self.write(os.path.join("Inbox", subject.decode() + ".eml"), message(subject))
        os.makedirs(self.out)
        ledger = os.path.join(self.out, ".marrowgate-ledger")
        open(ledger, "wb").close()
        result = self.convert_while_held([windows(ledger)], b"locked")
        self.assertEqual(result.returncode, 1)
        self.assertIn(b"Another conversion is writing into", result.stderr)
        self.assertEqual(os.listdir(self.out), [".marrowgate-ledger"])
        for _ in range(3):
            command = [CONVERTER, "-q", "-o", windows(self.out), windows(self.store)]
            both = [subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                     env=ENV) for _ in range(2)]
            for run in both:
                _, stderr = run.communicate(timeout=120)
                self.assertIn(run.returncode, (0, 1), stderr)
                if run.returncode == 1:
                    self.assertIn(b"Another conversion is writing into", stderr)
        box = self.mailbox_of(os.path.join(self.store, "Inbox"))
        self.assertEqual(sorted(s.encode() for s in self.subjects(box)), subjects)

    def test_ctrl_c_ends_the_run_between_records(self):
        # Wine hands SIGINT to the program as Ctrl+C.
        for n in range(3):
            self.write("Inbox/big%d.eml" % n,
                       message(b"big %d" % n) + b"line of a big one\r\n" * 2_000_000)
        run = subprocess.Popen([CONVERTER, "-q", "-o", windows(self.out), windows(self.store)],
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=ENV)
        ledger = os.path.join(self.out, ".marrowgate-ledger")
        while run.poll() is None and not os.path.exists(ledger):
            time.sleep(0.01)
        run.send_signal(signal.SIGINT)
        _, stderr = run.communicate(timeout=120)
        self.assertEqual(run.returncode, 130, stderr)
        self.assertRegex(stderr, rb"Interrupted after \d of 3 messages")
        box = self.mailbox_of(os.path.join(self.store, "Inbox"))
        if os.path.exists(box):
            self.assertLess(len(self.subjects(box)), 3)
        result = self.convert("-q", "-o", windows(self.out), windows(self.store))
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(sorted(self.subjects(box)), ["big 0", "big 1", "big 2"])

    def test_names_ending_in_a_dot_or_a_space_convert_as_they_stand(self):
        # A store copied from another system may hold them, and Windows' own
        # resolution of a path would take "Inbox." for "Inbox" and "b.eml "
        # for "b.eml". The mailboxes are those of the Linux build.
        for name in ("Inbox.", "Sent ", "Inbox"):
            self.write(os.path.join(name, "a.eml"), message(name.encode()))
        self.write("Inbox/b.eml ", message(b"ends in a space"))
        result = self.convert("-q", "-o", windows(self.out), windows(self.store))
        self.assertEqual(result.returncode, 0, result.stderr)
        for name in ("Inbox.", "Sent "):
            self.assertEqual(self.subjects(self.mailbox_of(os.path.join(self.store, name))),
                             [name])
        inbox = self.mailbox_of(os.path.join(self.store, "Inbox"))
        self.assertEqual(sorted(self.subjects(inbox)), ["Inbox", "ends in a space"])
        if LINUX_CONVERTER:
            linux = os.path.join(self.tmp, "linux")
            subprocess.run([LINUX_CONVERTER, "-q", "-o", linux, self.store], check=True,
                           capture_output=True)
            self.assertEqual(mailbox_bytes(self.out), mailbox_bytes(linux))

    def test_device_names_are_refused(self):
        # Written as a folder, "CON" would be the console to other programs.
        for name in ("CON", "nul.old"):
            self.write(os.path.join(name, "a.eml"), message(name.encode()))
        self.write("Inbox/b.eml", message(b"plain"))
        result = self.convert("-q", "-k", "-o", windows(self.out), windows(self.store))
        self.assertEqual(result.returncode, 1)
        self.assertEqual(self.subjects(self.mailbox_of(os.path.join(self.store, "Inbox"))),
                         ["plain"])
        for name in ("CON", "nul.old"):
            self.assertIn(name.encode() + b": the system reserves this name", result.stderr)
        written = set()
        for _, folders, files in os.walk(self.out):
            written.update(folders + files)
        self.assertEqual(written & {"CON", "nul.old", "CON.mbox", "nul.old.mbox"}, set())

class Manifest(unittest.TestCase):
    def test_the_manifest_names_the_architecture_of_the_program(self):
        # Windows loads no Common Controls of another architecture than the
        # program's, and a 64-bit program that asks for x86 ones fails to start.
        with open(CONVERTER_EXE, "rb") as f:
            program = f.read()
        header = int.from_bytes(program[0x3C:0x40], "little")
        self.assertEqual(program[header:header + 6], b"PE\0\0\x64\x86")  # AMD64
        self.assertEqual(program.count(b'processorArchitecture="amd64"'), 2)
        self.assertNotIn(b'processorArchitecture="x86"', program)
        self.assertIn(b"<longPathAware", program)


@unittest.skipIf(NATIVE or not LINUX_CONVERTER, "needs the Linux build's converter")
class SameMailboxesAsLinux(unittest.TestCase):
    def test_the_corpus_gives_the_same_bytes(self):
        with tempfile.TemporaryDirectory(prefix="marrowgate-same-") as tmp:
            store = os.path.join(tmp, "Store")
            shutil.copytree(os.path.join(DATA, "corpus", "Store"), store, symlinks=True)
            outputs = {}
            for build, command in (("linux", [LINUX_CONVERTER, "-q", "-o",
                                              os.path.join(tmp, "linux"), store]),
                                   ("windows", [CONVERTER, "-q", "-o",
                                                windows(os.path.join(tmp, "windows")),
                                                windows(store)])):
                result = subprocess.run(command, capture_output=True, env=ENV, timeout=300)
                self.assertEqual(result.returncode, 0, (build, result.stderr))
                outputs[build] = mailbox_bytes(os.path.join(tmp, build))
            self.assertEqual(sorted(outputs["windows"]), sorted(outputs["linux"]))
            for name, data in outputs["linux"].items():
                self.assertEqual(outputs["windows"][name], data, name)


def linux_paths(text):
    """The converter's report with the paths it names in the Linux form
    (under wine, Windows names /tmp/x "Z:\\tmp\\x"), as the Linux suites
    expect them."""
    return text.replace(b"Z:\\", b"/").replace(b"\\", b"/")


def windows_run(suite, skipped):
    """`suite` run against the Windows converter, with the cases `skipped`
    names left out for the reason given."""
    class Run(suite):
        def convert(self, *args, **kwargs):
            result = super().convert(*args, **kwargs)
            result.stdout, result.stderr = linux_paths(result.stdout), linux_paths(result.stderr)
            return result

    for name, reason in skipped.items():
        getattr(suite, name)  # a case renamed in the suite must be looked at again
        setattr(Run, name, unittest.skip(reason)(lambda self: None))
    Run.__name__ = Run.__qualname__ = suite.__name__ + "OnWindows"
    return Run


NO_LINKS = "wine shows a Linux link as what it leads to; Windows links are reparse points"
AS_ANOTHER_USER = "runs as another user (setpriv), whose wine would refuse our prefix"

ReliabilityOnWindows = windows_run(test_reliability.Reliability, {
    "test_bad_files_and_odd_names":
        "names Windows cannot hold (line ends, bytes not UTF-8), FIFOs, sockets and links; "
        "its own odd names are test_names_ending_in_a_dot_or_a_space_convert_as_they_stand "
        "and test_device_names_are_refused",
    "test_read_only_mailbox_and_unreadable_folder":
        "POSIX modes; the read-only attribute is in "
        "test_a_read_only_mailbox_is_reported_and_left_alone",
    "test_folders_vanishing_during_runs": AS_ANOTHER_USER,
    "test_folders_that_cannot_be_made_name_the_folder_and_the_cause": AS_ANOTHER_USER,
    "test_a_full_disk_loses_no_record":
        "a file size limit stands for the full disk: Windows has none, and under wine "
        "it stops wine's own server too",
    "test_links_planted_below_the_output_are_never_followed": NO_LINKS,
    "test_a_failed_message_stops_the_run_unless_keep_going": NO_LINKS,
    "test_deep_and_wide_trees":
        "100,000 files take wine many minutes; deep paths are "
        "test_paths_longer_than_260_characters",
    "test_paths_longer_than_the_system_takes":
        "the limit met under wine is Linux's, and wine's reason for it varies; Windows' own "
        "is far beyond test_paths_longer_than_260_characters",
    "test_store_paths_are_resolved_by_the_system":
        "Windows resolves \"..\" by name, before any link",
})

ResumeOnWindows = windows_run(test_resume.Resume, {
    "test_one_writer_per_output":
        "holds the output with a BSD lock, which Windows programs do not see; "
        "test_a_held_output_is_refused_and_two_runs_at_once_convert_once",
    "test_the_ledger_after_failures_merges_and_empty_files": NO_LINKS,
    "test_interrupted_runs_end_between_records":
        "SIGTERM and SIGHUP have no Windows counterpart: wine ends the program on the spot",
})


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1] + sys.argv[6:], verbosity=2)
