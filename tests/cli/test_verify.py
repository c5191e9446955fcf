"""--verify: after the run every message of the stores is checked against its
record in the output, found through the output's ledger."""
import os
import re
import shutil

from clitest import ConverterCase, main
from mboxcheck import read

MESSAGE = (b"From: ann@x.org\r\nSubject: %d\r\nDate: Mon, 5 Jul 2010 14:03:09 +0000\r\n\r\n"
           b"From the body, line %d.\r\n")


class Verify(ConverterCase):
    def setUp(self):
        super().setUp()
        for i, folder in enumerate(["Inbox", "Inbox", "Inbox/Sub", "Sent", "Sent"]):
            self.write(f"{folder}/{i}.eml", MESSAGE % (i, i))
        self.write("Sent/empty.eml", b"")

    def run_converter(self, *args):
        return self.convert("-o", self.out, self.store, *args, text=True)

    def table(self, stdout):
        """{folder: (messages, verified, problems)} from the table."""
        rows = {}
        for line in stdout.splitlines():
            match = re.match(r"\s+(.*?)\s+(\d+)\s+(\d+)\s+(\d+)$", line)
            if match:
                rows[os.path.basename(match.group(1).rstrip("/"))] = tuple(
                    int(n) for n in match.groups()[1:])
        return rows

    def test_a_good_output_passes_in_every_target(self):
        for target in ["entourage", "thunderbird", "apple-mail", "mboxrd"]:
            with self.subTest(target=target):
                shutil.rmtree(self.out, ignore_errors=True)
                result = self.run_converter("--target", target, "--verify")
                self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
                self.assertEqual(self.table(result.stdout),
                                 {"Inbox": (2, 2, 0), "Sub": (1, 1, 0), "Sent": (3, 3, 0)})
                # Verifying again, with nothing left to convert, still passes.
                again = self.run_converter("--target", target, "--verify")
                self.assertEqual(again.returncode, 0, again.stdout + again.stderr)

    def mailbox(self, name):
        for folder, _, files in os.walk(self.out):
            for file in files:
                if file == name:
                    return os.path.join(folder, file)
        raise AssertionError(name)

    def test_one_changed_byte_fails_naming_the_message(self):
        self.assertEqual(self.run_converter("--target", "mboxrd").returncode, 0)
        path = self.mailbox("Sent.mbox")
        data = read(path)
        at = data.index(b"line 4.")
        with open(path, "r+b") as f:
            f.seek(at)
            f.write(b"L")
        result = self.run_converter("--target", "mboxrd", "--verify")
        self.assertEqual(result.returncode, 1)
        self.assertEqual(self.table(result.stdout)["Sent"], (3, 2, 1))
        self.assertEqual(self.table(result.stdout)["Inbox"], (2, 2, 0))
        problems = [line for line in result.stderr.splitlines() if "4.eml" in line]
        self.assertEqual(len(problems), 1, result.stderr)
        self.assertIn("differs", problems[0])

    def test_wrong_from_line_and_a_changed_message(self):
        self.assertEqual(self.run_converter().returncode, 0)
        inbox = self.mailbox("Inbox.mbox")
        data = read(inbox)
        with open(inbox, "wb") as f:
            f.write(data.replace(b"From ann@x.org Mon Jul 05", b"From bob@x.org Mon Jul 05", 1))
        # Converted again as it changed: its first record stays, so it is in twice.
        with open(os.path.join(self.store, "Sent", "3.eml"), "ab") as f:
            f.write(b"more\r\n")
        result = self.run_converter("--verify")
        self.assertEqual(result.returncode, 1)
        self.assertRegex(result.stderr, r"Inbox/[01]\.eml: its From_ line is \"From bob@x\.org")
        self.assertRegex(result.stderr, r"Sent/3\.eml: converted 2 times")
        self.assertEqual(len(result.stderr.strip().splitlines()), 2, result.stderr)

    def test_a_message_missing_from_the_output(self):
        # Its mailbox cannot be written: the run fails for it, and so does the check.
        os.makedirs(os.path.join(self.out, "Store", "Inbox", "Sub", "Sub.mbox"))
        result = self.run_converter("--target", "mboxrd", "--keep-going", "--verify")
        self.assertEqual(result.returncode, 1)
        self.assertEqual(self.table(result.stdout)["Sub"], (1, 0, 1))
        self.assertRegex(result.stderr, r"Sub/2\.eml: not in the output")



if __name__ == "__main__":
    main()
