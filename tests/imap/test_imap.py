"""The imap target against a real server: the converter uploads a store into
a private Dovecot account, which is read back through IMAP (Python's
imaplib, a client that shares nothing with ours) and through doveadm.

    test_imap.py CONVERTER DATA [windows]

With "windows", CONVERTER is the Windows build run under wine, against the
same local server: paths are handed to it in their Windows form (Z:\...).
Exits 77 (skipped) when Dovecot's IMAP server is not installed."""
import base64
import collections
import imaplib
import os
import random
import re
import shutil
import signal
import ssl
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "cli"))
import dovecot  # noqa: E402
from mboxcheck import message_lines  # noqa: E402

CONVERTER = os.path.abspath(sys.argv[1])
DATA = sys.argv[2]
WINDOWS = sys.argv[3:4] == ["windows"]
SKIPPED = 77


def native(path):
    """A path as the converter under test takes it."""
    return "Z:" + path.replace("/", "\\") if WINDOWS else path


def bare(data):
    """A message file as the imap target uploads it: the lines the converter
    keeps, each ended by CR LF, nothing quoted, nothing added."""
    return b"".join(line + b"\r\n" for line in message_lines(data))


def expected_uploads(store, names=None):
    """{(folder levels from the store's name): Counter of message bytes}."""
    expected = collections.defaultdict(collections.Counter)
    top = os.path.dirname(store)
    for folder, _, files in os.walk(store):
        for name in files:
            path = os.path.join(folder, name)
            if name.strip(" ").lower().endswith(".eml") and os.path.isfile(path):
                with open(path, "rb") as f:
                    data = f.read()
                if data.strip():
                    levels = tuple(os.path.relpath(folder, top).split(os.sep))
                    expected[names(levels) if names else levels][bare(data)] += 1
    return expected


def message(subject, body=b"body", date=b"Mon, 5 Jul 2010 14:03:09 +0000"):
    return (b"From: ann@x.org\r\nDate: " + date + b"\r\nSubject: " + subject +
            b"\r\nMessage-ID: <" + subject.replace(b" ", b".") + b"@x.org>\r\n\r\n" + body +
            b"\r\n")


def encoded(name):
    """A mailbox name as an IMAP quoted string in modified UTF-7."""
    def shifted(match):
        text = match.group(0)
        if text == "&":
            return "&-"
        run = base64.b64encode(text.encode("utf-16-be")).decode().rstrip("=")
        return "&" + run.replace("/", ",") + "-"
    name = re.sub(r"&|[^\x20-\x7e]+", shifted, name)
    return '"' + name.replace("\\", "\\\\").replace('"', '\\"') + '"'


def decoded(name):
    """A mailbox name in modified UTF-7 (RFC 3501 5.1.3) as text."""
    def shifted(match):
        run = match.group(1)
        if not run:
            return "&"
        run = run.replace(",", "/")
        return base64.b64decode(run + "=" * (-len(run) % 4)).decode("utf-16-be")
    return re.sub(r"&([A-Za-z0-9+,]*)-", shifted, name)


class Account:
    """The account read back with imaplib: mailbox name -> Counter of bytes,
    and each message's internal date and flags."""

    def __init__(self, server):
        if server.tls:
            context = ssl.create_default_context(cafile=server.cert)
            self.imap = imaplib.IMAP4_SSL("localhost", server.imaps_port, ssl_context=context)
        else:
            self.imap = imaplib.IMAP4("localhost", server.imap_port)
        self.imap.login(dovecot.USER, dovecot.PASSWORD)

    def mailboxes(self):
        status, lines = self.imap.list('""', "*")
        names = []
        for line in lines:
            match = re.match(rb'\((.*?)\) "(.)" (.*)$', line)
            name = match.group(3)
            name = name[1:-1].decode() if name.startswith(b'"') else name.decode()
            names.append(decoded(name.replace('\\"', '"').replace("\\\\", "\\")))
        return names, match.group(2).decode()

    def messages(self, mailbox):
        """[(bytes, internal date, flags)] of a mailbox (its name as text)."""
        self.imap._encoding = "utf-8"
        self.imap.select(encoded(mailbox), readonly=True)
        status, data = self.imap.uid("FETCH", "1:*", "(BODY.PEEK[] INTERNALDATE FLAGS)")
        found = []
        for item in data:
            if isinstance(item, tuple):
                found.append((item[1], imaplib.Internaldate2tuple(item[0]),
                              imaplib.ParseFlags(item[0])))
        return found

    def contents(self):
        """{mailbox: Counter of message bytes}, mailboxes with messages only."""
        names, _ = self.mailboxes()
        got = {}
        for name in names:
            messages = self.messages(name)
            if messages:
                got[name] = collections.Counter(m[0] for m in messages)
        return got

    def close(self):
        self.imap.logout()


class ImapCase(unittest.TestCase):
    SERVER = {}

    @classmethod
    def setUpClass(cls):
        cls.server = dovecot.Dovecot(**cls.SERVER)

    @classmethod
    def tearDownClass(cls):
        cls.server.close()

    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="marrowgate-imap-")
        self.store = os.path.join(self.tmp, "Store")
        os.makedirs(self.store)
        # Each test its own account folder, so the tests of a class do not meet.
        self.folder = self._testMethodName

    def tearDown(self):
        shutil.rmtree(self.tmp, ignore_errors=True)

    def write(self, relative, data):
        path = os.path.join(self.store, relative)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
        return path

    def upload(self, *args, store=None, url=None, password=dovecot.PASSWORD, timeout=300,
               background=False):
        # The ledger under the test's own state folder; under wine, which
        # keeps its own, in a folder named on the command line.
        env = dict(os.environ, MARROWGATE_IMAP_PASSWORD=password,
                   XDG_STATE_HOME=os.path.join(self.tmp, "state"))
        ledger = ["--ledger-folder", native(os.path.join(self.tmp, "ledger"))] if WINDOWS else []
        command = [CONVERTER, "--quiet", "--target", "imap", "--ca-file", native(self.server.cert),
                   "-o", url or self.server.url(folder=self.folder), *ledger, *args,
                   native(store or self.store)]
        if background:
            return subprocess.Popen(command, env=env, stdout=subprocess.PIPE,
                                    stderr=subprocess.PIPE)
        return subprocess.run(command, env=env, capture_output=True, timeout=timeout)

    def uploaded_any(self):
        listed = self.server.doveadm("-f", "tab", "fetch", "-u", dovecot.USER, "guid",
                                     "mailbox", self.folder + "*")
        return len(listed.splitlines()) > 1

    def contents(self):
        account = Account(self.server)
        try:
            return account.contents()
        finally:
            account.close()

    def expected(self, store=None, delimiter="."):
        """The mailboxes the store's folders become: under the test's folder,
        a delimiter in a name written "_"."""
        return {delimiter.join((self.folder,) + tuple(n.replace(delimiter, "_") for n in levels)):
                wanted for levels, wanted in expected_uploads(store or self.store).items()}

    def assert_exactly_once(self, store=None):
        """Every message of the store in its mailbox once, through IMAP and
        through doveadm, and nothing else."""
        expected = self.expected(store)
        got = {name: c for name, c in self.contents().items() if name.startswith(self.folder)}
        self.assertEqual(sorted(got), sorted(expected))
        for name, wanted in expected.items():
            # A NUL goes up as 0x80: IMAP carries none.
            kept = collections.Counter({m.replace(b"\0", b"\x80"): n for m, n in wanted.items()})
            self.assertEqual(got[name], kept, name)
        listed = self.server.doveadm("-f", "tab", "fetch", "-u", dovecot.USER, "mailbox guid",
                                     "mailbox", self.folder + "*").decode().splitlines()[1:]
        counts = collections.Counter(line.split("\t")[0] for line in listed)
        self.assertEqual(dict(counts), {name: sum(c.values()) for name, c in expected.items()})


class Uploads(ImapCase):
    """The corpus into an account, its folders, dates, flags and names."""

    def test_corpus_exactly_once_and_again(self):
        shutil.rmtree(self.store)
        shutil.copytree(os.path.join(DATA, "corpus", "Store"), self.store)
        result = self.upload()
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn(b"Converted 189 messages", result.stdout)
        self.assert_exactly_once()
        again = self.upload()
        self.assertEqual(again.returncode, 0, again.stderr)
        self.assertIn(b"Converted 0 messages", again.stdout)
        self.assertIn(b"Already converted: 189 messages", again.stdout)
        self.assert_exactly_once()
        # The names as the user wrote them: doveadm decodes modified UTF-7.
        listed = self.server.doveadm("mailbox", "list", "-u", dovecot.USER).decode()
        self.assertIn(f"{self.folder}.Store.Folders.Réunions 2010", listed)
        self.assertIn(f"{self.folder}.Store.Folders.Bounces & Complaints", listed)
        subscribed = self.server.doveadm("mailbox", "list", "-s", "-u", dovecot.USER).decode()
        self.assertIn(f"{self.folder}.Store.Inbox", subscribed)

    def test_date_flags_and_bytes(self):
        self.write("Inbox/a.eml", b"\r\n  From x@y Mon Jul  5 14:03:09 2010\n" +
                   message(b"one", b"From here\n>From there\n"))
        self.write("Inbox/b.eml", message(b"two", date=b"Tue, 6 Jul 2010 01:03:09 +1100"))
        result = self.upload("--seen")
        self.assertEqual(result.returncode, 0, result.stderr)
        account = Account(self.server)
        messages = account.messages(f"{self.folder}.Store.Inbox")
        account.close()
        by_subject = {re.search(rb"Subject: (\w+)", m[0]).group(1): m for m in messages}
        body, date, flags = by_subject[b"one"]
        self.assertTrue(body.startswith(b"From: ann@x.org\r\n"))
        self.assertIn(b"\r\nFrom here\r\n>From there\r\n", body)
        self.assertEqual(time.strftime("%Y-%m-%d %H:%M:%S", date), "2010-07-05 14:03:09")
        self.assertIn(b"\\Seen", flags)
        self.assertEqual(time.strftime("%Y-%m-%d %H:%M:%S", by_subject[b"two"][1]),
                         "2010-07-05 14:03:09")

    def test_special_folders(self):
        for folder in ("Inbox", "Sent Items", "Deleted Items", "Drafts", "Junk E-mail",
                       "Inbox/Sub", "Other"):
            self.write(folder + "/m.eml", message(folder.encode()))
        result = self.upload("--special-folders")
        self.assertEqual(result.returncode, 0, result.stderr)
        got = self.contents()
        for mailbox, subject in (("INBOX", b"Inbox"), ("Sent", b"Sent Items"),
                                 ("Trash", b"Deleted Items"), ("Drafts", b"Drafts"),
                                 ("Junk", b"Junk E-mail"), ("INBOX.Sub", b"Inbox/Sub"),
                                 (f"{self.folder}.Store.Other", b"Other")):
            self.assertEqual(len(got.get(mailbox, [])), 1, mailbox)
            self.assertIn(b"Subject: " + subject, next(iter(got[mailbox])))

    def test_listed_twice_and_identical_files(self):
        self.write("Inbox/a.eml", message(b"same"))
        self.write("Inbox/b.eml", message(b"same"))
        result = self.upload(store=self.store)
        self.assertEqual(result.returncode, 0, result.stderr)
        # The store named twice: each file is still one message.
        env = dict(os.environ, MARROWGATE_IMAP_PASSWORD=dovecot.PASSWORD)
        twice = subprocess.run([CONVERTER, "-q", "-t", "imap", "--ca-file",
                                native(self.server.cert), "-o",
                                self.server.url(folder=self.folder), native(self.store),
                                native(self.store)], env=env, capture_output=True)
        self.assertEqual(twice.returncode, 0, twice.stderr)
        # Two files from the first run, and each of them named again.
        self.assertIn(b"Already converted: 4 messages", twice.stdout)
        self.assert_exactly_once()


class Refusals(ImapCase):
    """What the server or the network refuses, said plainly; nothing uploaded."""

    def test_wrong_password(self):
        self.write("Inbox/a.eml", message(b"a"))
        result = self.upload(password="wrong")
        self.assertEqual(result.returncode, 1)
        self.assertIn(b"refused the user name or password", result.stderr)
        self.assertEqual(len(result.stderr.splitlines()), 1, result.stderr)

    def test_no_password_and_not_on_a_terminal(self):
        self.write("Inbox/a.eml", message(b"a"))
        env = {k: v for k, v in os.environ.items() if k != "MARROWGATE_IMAP_PASSWORD"}
        result = subprocess.run([CONVERTER, "-t", "imap", "-o", self.server.url(),
                                 native(self.store)], env=env, capture_output=True,
                                stdin=subprocess.DEVNULL,
                                start_new_session=True)  # no terminal to ask on
        self.assertEqual(result.returncode, 2)
        self.assertIn(b"no password for ann@localhost", result.stderr)

    def test_password_file_and_token_command(self):
        self.write("Inbox/a.eml", message(b"a"))
        secret = os.path.join(self.tmp, "secret")
        with open(secret, "w") as f:
            f.write(dovecot.PASSWORD + "\n")
        result = self.upload("--password-file", native(secret), password="wrong")
        self.assertEqual(result.returncode, 0, result.stderr)
        failed = self.upload("--oauth-command", "exit 3")
        self.assertEqual(failed.returncode, 2)
        self.assertIn(b"The token command failed (exit status 3)", failed.stderr)

    @unittest.skipIf(WINDOWS, "wine's certificate chain check takes a root it does not know; "
                              "a name that does not fit is refused under wine too")
    def test_untrusted_certificate(self):
        self.write("Inbox/a.eml", message(b"a"))
        env = dict(os.environ, MARROWGATE_IMAP_PASSWORD=dovecot.PASSWORD)
        # Without --ca-file the system's store does not know the test's certificate.
        result = subprocess.run([CONVERTER, "-q", "-t", "imap", "-o", self.server.url(),
                                 native(self.store)], env=env, capture_output=True)
        self.assertEqual(result.returncode, 1)
        self.assertIn(b"certificate cannot be trusted", result.stderr)

    def test_bad_urls(self):
        for url, reason in (("imaps://localhost/", b"names no user"),
                            ("imaps://ann:pw@localhost/", b"a password does not go into")):
            result = self.upload(url=url)
            self.assertEqual(result.returncode, 2, url)
            self.assertIn(reason, result.stderr)
        result = subprocess.run([CONVERTER, "-o", self.server.url(), native(self.store)],
                                capture_output=True)
        self.assertEqual(result.returncode, 2)
        self.assertIn(b"needs --target imap", result.stderr)


class CertificateForAnotherName(ImapCase):
    SERVER = {"certificate_for": "mail.example.org"}

    def test_name_mismatch(self):
        self.write("Inbox/a.eml", message(b"a"))
        result = self.upload()
        self.assertEqual(result.returncode, 1)
        self.assertIn(b"certificate cannot be trusted", result.stderr)
        self.assertIn(b"localhost", result.stderr)


class StartTls(ImapCase):
    def test_imap_url_uses_starttls(self):
        self.write("Inbox/a.eml", message(b"a"))
        result = self.upload(url=self.server.url(tls=False, folder=self.folder))
        self.assertEqual(result.returncode, 0, result.stderr)


class WithoutTls(ImapCase):
    SERVER = {"starttls": False}

    def test_plain_text_only_when_asked(self):
        self.write("Inbox/a.eml", message(b"a"))
        url = self.server.url(tls=False, folder=self.folder)
        refused = self.upload(url=url)
        self.assertEqual(refused.returncode, 1)
        self.assertIn(b"offers no STARTTLS", refused.stderr)
        allowed = self.upload("--insecure-plaintext", url=url)
        self.assertEqual(allowed.returncode, 0, allowed.stderr)


class Limits(ImapCase):
    """A message the server refuses is that message's failure; the rest go."""
    SERVER = {"quota": 60 * 1024, "max_message": 20 * 1024}

    def test_too_large_and_quota(self):
        self.write("Inbox/small.eml", message(b"small"))
        self.write("Inbox/large.eml", message(b"large", b"x" * 30000))
        result = self.upload("--keep-going")
        self.assertEqual(result.returncode, 1)
        self.assertIn(b"large.eml", result.stderr)
        self.assertIn(b"the server refused the message", result.stderr)
        self.assertEqual(len(result.stderr.splitlines()), 1, result.stderr)
        for i in range(8):
            self.write(f"Sent Items/{i}.eml", message(b"filler %d" % i, b"y" * 15000))
        full = self.upload("--keep-going")
        self.assertEqual(full.returncode, 1)
        refused = full.stderr.splitlines()
        self.assertTrue(all(b"the server refused the message" in line for line in refused))
        self.assertIn(b"Quota", full.stderr)
        # What did not fit is named; what did is there, once.
        got = self.contents()
        stored = sum(len(c) for c in got.values())
        self.assertIn(b"Converted %d messages" % (stored - 1), full.stdout)
        self.assertEqual(stored - 1 + len(refused), 9)  # the large one again, and 8
        self.assertGreater(len(refused), 1)


class WithoutUidplus(ImapCase):
    """No UIDs from uploads and no LITERAL+: the go-ahead is awaited for each."""
    SERVER = {"capabilities": dovecot.PLAIN_CAPABILITIES}

    def test_upload_and_resume(self):
        for i in range(20):
            self.write(f"Inbox/{i}.eml", message(b"m%d" % i, b"z" * (i * 100)))
        result = self.upload()
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assert_exactly_once()
        self.write("Inbox/new.eml", message(b"new"))
        again = self.upload()
        self.assertIn(b"Converted 1 message ", again.stdout)
        self.assert_exactly_once()


def generate(store, count):
    generator = os.path.join(HERE, "..", "..", "bench", "generate_store.py")
    subprocess.run([sys.executable, generator, store, str(count)], check=True,
                   capture_output=True)


class Interruptions(ImapCase):
    """Cut off, killed, restarted: every message there exactly once."""

    def test_connection_cut_in_a_message(self):
        for i in range(10):
            self.write(f"Inbox/{i}.eml", message(b"m%d" % i, b"w" * 50000))
        proxy = dovecot.CuttingProxy(self.server.imaps_port, cut_after=120000)
        try:
            result = self.upload(url=self.server.url(port=proxy.port, folder=self.folder))
        finally:
            proxy.close()
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(proxy.cuts, 1)
        self.assertGreater(proxy.connections, 1)
        self.assert_exactly_once()

    def test_server_killed_and_restarted(self):
        shutil.rmtree(self.store)
        generate(self.store, 400)
        run = self.upload(background=True)
        # Killed once the upload is under way (a first login refused would
        # rightly end the run).
        deadline = time.monotonic() + 120
        while time.monotonic() < deadline and not self.uploaded_any():
            time.sleep(0.1)
        self.server.kill()
        time.sleep(1.5)  # the converter waits and tries again meanwhile
        self.server.start()
        out, err = run.communicate(timeout=300)
        self.assertEqual(run.returncode, 0, err)
        self.assert_exactly_once()

    @unittest.skipIf(WINDOWS, "a killed wine process leaves wineserver to tidy up after it; "
                              "the Linux build runs this")
    def test_killed_ten_times_and_resumed(self):
        shutil.rmtree(self.store)
        generate(self.store, 400)
        chance = random.Random(22)
        for _ in range(10):
            run = self.upload(background=True)
            time.sleep(chance.uniform(0.2, 1.2))
            run.send_signal(signal.SIGKILL)
            run.communicate()
        result = self.upload("--verify")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn(b"400 of 400 messages verified; 0 problems.", result.stdout)
        self.assert_exactly_once()


class Ledger(ImapCase):
    """The upload's ledger: where it is, its lock, and the check that reads
    the account whatever the ledger says."""

    def ledger_path(self):
        return os.path.join(self.tmp, "state", "marrowgate", "imap",
                            f"ann@localhost%3A{self.server.imaps_port}", ".marrowgate-ledger")

    @unittest.skipIf(WINDOWS, "the Windows build keeps it under %LOCALAPPDATA%")
    def test_where_it_is_and_one_upload_at_a_time(self):
        import fcntl
        self.write("Inbox/a.eml", message(b"a"))
        result = self.upload()
        self.assertEqual(result.returncode, 0, result.stderr)
        with open(self.ledger_path(), "rb") as f:
            ledger = f.read()
        self.assertIn(f"record\tann@localhost:{self.server.imaps_port}/"
                      f"{self.folder}.Store.Inbox\t".encode(), ledger)
        self.assertIn(b"\nbegun\t", ledger)
        with open(self.ledger_path(), "rb") as held:
            fcntl.flock(held, fcntl.LOCK_EX)
            refused = self.upload()
        self.assertEqual(refused.returncode, 1)
        self.assertIn(f"Another upload into ann@localhost:{self.server.imaps_port} is "
                      "running".encode(), refused.stderr)
        # Without its ledger, a run finds every message on the server.
        shutil.rmtree(os.path.dirname(self.ledger_path()))
        self.write("Inbox/b.eml", message(b"b"))
        again = self.upload()
        self.assertEqual(again.returncode, 0, again.stderr)
        self.assertIn(b"Converted 1 message ", again.stdout)
        self.assertIn(b"Already converted: 1 message", again.stdout)
        self.assert_exactly_once()

    def test_verify_only_names_missing_and_doubled(self):
        for name in ("a", "b", "c"):
            self.write(f"Inbox/{name}.eml", message(name.encode()))
        self.assertEqual(self.upload("--verify").returncode, 0)
        mailbox = f"{self.folder}.Store.Inbox"
        account = Account(self.server)
        try:
            account.imap.select(encoded(mailbox))
            by_subject = {}
            for body, _, _ in account.messages(mailbox):
                by_subject[re.search(rb"Subject: (\w+)", body).group(1)] = body
            account.imap.select(encoded(mailbox))
            status, found = account.imap.search(None, "HEADER", "Subject", "a")
            account.imap.store(found[0].split()[0], "+FLAGS", "\\Deleted")
            account.imap.expunge()
            account.imap.append(encoded(mailbox), None, None, by_subject[b"b"])
            account.imap.append(encoded(mailbox), None, None, message(b"someone else's"))
        finally:
            account.close()
        checked = self.upload("--verify-only")
        self.assertEqual(checked.returncode, 1, checked.stderr)
        self.assertIn(b"1 of 3 messages verified; 2 problems.", checked.stdout)
        self.assertIn(b"Other mail, kept: 1 message in", checked.stdout)
        self.assertIn(b"a.eml: not in the output", checked.stderr)
        self.assertIn(b"b.eml: doubled", checked.stderr)


class SentWithoutAnswer(ImapCase):
    """A run killed after the server stored a batch and before its answer
    came: the next run finds those messages, by the ledger's word that they
    went out, instead of sending them again."""
    SERVER = {"starttls": False}

    @unittest.skipIf(WINDOWS, "a killed wine process leaves wineserver to tidy up after it; "
                              "the Linux build runs this")
    def test_killed_before_the_answer(self):
        for i in range(20):
            self.write(f"Inbox/{i}.eml", message(b"m%d" % i, b"v" * (i * 50)))
        proxy = dovecot.KillingProxy(self.server.imap_port)
        try:
            url = self.server.url(tls=False, port=proxy.port, folder=self.folder)
            run = self.upload("--insecure-plaintext", url=url, background=True)
            proxy.victim = run
            run.communicate(timeout=120)
        finally:
            proxy.close()
        self.assertEqual(proxy.kills, 1)
        self.assertEqual(len(self.contents().get(f"{self.folder}.Store.Inbox", [])), 20)
        url = self.server.url(tls=False, folder=self.folder)
        again = self.upload("--insecure-plaintext", url=url)
        self.assertEqual(again.returncode, 0, again.stderr)
        self.assertIn(b"Converted 0 messages", again.stdout)
        self.assertIn(b"Already converted: 20 messages", again.stdout)
        self.assert_exactly_once()


if __name__ == "__main__":
    if not dovecot.installed():
        print("Dovecot's IMAP server is not installed: skipped")
        sys.exit(SKIPPED)
    unittest.main(argv=sys.argv[:1], verbosity=2)
