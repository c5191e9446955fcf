"""The mail programs the interop test reads the output with. Each reader takes
a list of mailbox files and returns {mailbox: [fields of each message found]}
(fields_of()), or [None] * count for a reader that only counts."""
import base64
import json
import mailbox
import os
import re
import shlex
import shutil
import subprocess
import tempfile

from messages import FIELDS, fields_of, latin1, normal  # puts tests/cli on the path
from mboxcheck import FROM_LINE

HERE = os.path.dirname(os.path.abspath(__file__))


def read_python(boxes, _work):
    got = {}
    for path in boxes:
        if os.path.isdir(path):  # a maildir
            box = mailbox.Maildir(path, factory=None, create=False)
            got[path] = [fields_of(box.get_bytes(key)) for key in box.keys()]
            continue
        box = mailbox.mbox(path, create=False)
        got[path] = []
        for key in box.keys():
            if not re.match(FROM_LINE, box.get_message(key).get_from()):
                raise AssertionError(f"{path}: bad From_ line {box.get_message(key).get_from()}")
            got[path].append(fields_of(box.get_bytes(key)))
        box.close()
    return got


def read_dovecot(boxes, _work):
    """doveadm with a private configuration and no daemon. Dovecot rewrites
    what it reads and cannot reach every name by path, so it reads copies
    named m0, m1, ... (of a Maildir++ tree, the whole tree)."""
    with tempfile.TemporaryDirectory(prefix="marrowgate-dovecot-") as work:
        if boxes and os.path.isdir(boxes[0]):
            return read_dovecot_maildir(boxes, work)
        return read_dovecot_in(boxes, work)


def private_dovecot(work, location):
    """A configuration for doveadm over `location` in `work`, and its
    environment; as root, the mail is read as nobody (Dovecot never reads
    mail as root)."""
    uid, gid = os.getuid(), os.getgid()
    if uid == 0:
        uid = gid = 65534
        os.chmod(work, 0o755)
        for folder, dirs, files in os.walk(work):
            for name in [folder] + [os.path.join(folder, n) for n in dirs + files]:
                os.chown(name, uid, gid)
    config = os.path.join(work, "dovecot.conf")
    with open(config, "w") as f:
        f.write(f"mail_location = {location}\n"
                f"base_dir = {work}/run\nstate_dir = {work}/state\nlog_path = /dev/stderr\n"
                f"ssl = no\nmail_uid = {uid}\nmail_gid = {gid}\nfirst_valid_uid = {uid}\n"
                f"first_valid_gid = {gid}\n")
    return config, dict(os.environ, USER="marrowgate", HOME=work, TZ="UTC")


def read_dovecot_maildir(boxes, work):
    """The Maildir++ tree the maildirs are part of, served as Dovecot serves
    a user's Maildir: each maildir a mailbox named by its path."""
    root = os.path.dirname(boxes[0].rstrip("/"))
    mail = os.path.join(work, "Maildir")
    shutil.copytree(root, mail)
    config, env = private_dovecot(work, f"maildir:{mail}")
    names = {}
    for path in boxes:
        name = os.path.basename(path)[1:]  # ".Store.Inbox" is the mailbox Store.Inbox
        names[name] = path
    result = subprocess.run(
        ["doveadm", "-f", "json", "-c", config, "fetch",
         "mailbox hdr.subject hdr.from hdr.date hdr.message-id date.received", "mailbox", "*",
         "all"], capture_output=True, env=env)
    if result.returncode != 0 or b"Error" in result.stderr:
        raise AssertionError(f"doveadm: {result.stderr.decode(errors='replace')}")
    got = {path: [] for path in boxes}
    for row in json.loads(result.stdout or b"[]"):
        # doveadm shows mailbox names in UTF-8; the maildirs are named in
        # modified UTF-7, as Dovecot itself names them.
        path = names.get(encoded_utf7(row["mailbox"]))
        if path is None:
            raise AssertionError(f"doveadm: a mailbox not written: {row['mailbox']}")
        got[path].append(tuple(normal(latin1(row["hdr." + name])) for name in FIELDS))
    return got


def encoded_utf7(name):
    """A name in IMAP's modified UTF-7 (RFC 3501 5.1.3)."""
    def shifted(match):
        if match.group(0) == "&":
            return "&-"
        run = base64.b64encode(match.group(0).encode("utf-16-be")).decode().rstrip("=")
        return "&" + run.replace("/", ",") + "-"
    return re.sub(r"&|[^\x20-\x7e]+", shifted, name)


def read_mutt(boxes, work):
    """mutt, on a pseudo-terminal, copies every message of each maildir into an
    MMDF file (whose separators no message line can be mistaken for), which
    Python then splits."""
    got = {}
    # Without a mail folder in its home, mutt first asks to make one.
    os.makedirs(os.path.join(work, "Mail"), exist_ok=True)
    for i, path in enumerate(boxes):
        if not any(os.listdir(os.path.join(path, part)) for part in ("cur", "new")):
            got[path] = []  # with nothing to tag, mutt would wait for a key
            continue
        copy = os.path.join(work, f"mutt{i}.mmdf")
        # The prompt offers a mailbox of its own: <kill-line> clears it.
        keys = f"<tag-pattern>~A<enter><tag-prefix><copy-message><kill-line>{copy}<enter><quit>"
        command = (f"mutt -n -F /dev/null -R -f {shlex.quote(path)} "
                   f"-e 'set confirmcreate=no confirmappend=no wait_key=no mbox_type=MMDF' "
                   f"-e {shlex.quote('push ' + chr(34) + keys + chr(34))}")
        subprocess.run(["script", "-qec", command, "/dev/null"], capture_output=True,
                       env=dict(os.environ, TERM="vt100", HOME=work), timeout=120, check=True)
        if not os.path.exists(copy):
            got[path] = []
            continue
        box = mailbox.MMDF(copy, create=False)
        got[path] = [fields_of(box.get_bytes(key)) for key in box.keys()]
        box.close()
    return got


def read_dovecot_in(boxes, work):
    mail = os.path.join(work, "mail")
    os.makedirs(mail)
    names = {}
    for i, path in enumerate(boxes):
        shutil.copyfile(path, os.path.join(mail, f"m{i}"))
        names[f"m{i}"] = path
    open(os.path.join(mail, "inbox"), "wb").close()
    uid, gid = os.getuid(), os.getgid()
    if uid == 0:  # Dovecot never reads mail as root
        uid = gid = 65534
        os.chmod(work, 0o755)
        for folder, dirs, files in os.walk(work):
            for name in [folder] + [os.path.join(folder, n) for n in dirs + files]:
                os.chown(name, uid, gid)
    config = os.path.join(work, "dovecot.conf")
    with open(config, "w") as f:
        f.write(f"mail_location = mbox:{mail}:INBOX={mail}/inbox\n"
                f"base_dir = {work}/run\nstate_dir = {work}/state\nlog_path = /dev/stderr\n"
                f"ssl = no\nmail_uid = {uid}\nmail_gid = {gid}\nfirst_valid_uid = {uid}\n"
                f"first_valid_gid = {gid}\n")
    env = dict(os.environ, USER="marrowgate", HOME=work, TZ="UTC")
    result = subprocess.run(
        ["doveadm", "-f", "json", "-c", config, "fetch",
         "mailbox hdr.subject hdr.from hdr.date hdr.message-id date.received",
         "mailbox", "m*", "all"], capture_output=True, env=env)
    if result.returncode != 0 or b"Error" in result.stderr:
        raise AssertionError(f"doveadm: {result.stderr.decode(errors='replace')}")
    got = {path: [] for path in boxes}
    received = {path: [] for path in boxes}
    for row in json.loads(result.stdout or b"[]"):
        got[names[row["mailbox"]]].append(
            tuple(normal(latin1(row["hdr." + name])) for name in FIELDS))
        received[names[row["mailbox"]]].append(row["date.received"])
    # Dovecot shows the From_ line's date as the date received.
    for path in boxes:
        box = mailbox.mbox(path, create=False)
        dates = [from_line_date(box.get_message(key).get_from()) for key in box.keys()]
        box.close()
        if len(dates) == len(received[path]):
            for want, shown in zip(dates, received[path]):
                if want != shown:
                    DATE_PROBLEMS.append(f"{path}: From_ date {want}, Dovecot shows {shown}")
    return got


DATE_PROBLEMS = []


def from_line_date(from_line):
    """The From_ line's date as Dovecot writes a date: 2010-07-05 14:03:09."""
    fields = from_line.split()[-5:]
    months = "Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec".split()
    return (f"{int(fields[4]):04d}-{months.index(fields[1]) + 1:02d}-{int(fields[2]):02d} "
            f"{fields[3]}")


def read_mailbox_perl(boxes, _work):
    result = subprocess.run(["perl", os.path.join(HERE, "mailbox_box.pl")] + boxes,
                            capture_output=True, check=True)
    got = {}
    for path, messages in zip(boxes, json.loads(result.stdout)):
        got[path] = [tuple(normal(latin1(m[name][0])) if m[name] else b"" for name in FIELDS)
                     for m in messages]
    return got


def read_formail(boxes, _work):
    split = "formail -c -X Subject: -X From: -X Date: -X Message-ID:; cat >/dev/null; printf '\\0'"
    got = {}
    for path in boxes:
        with open(path, "rb") as f:
            result = subprocess.run(["formail", "-s", "sh", "-c", split], stdin=f,
                                    capture_output=True, check=True)
        got[path] = []
        for text in result.stdout.split(b"\0")[:-1]:
            found = {}
            for line in text.split(b"\n"):
                name, _, value = line.partition(b":")
                found.setdefault(name.lower().decode(), value)
            got[path].append(tuple(normal(found.get(name, b"")) for name in FIELDS))
    return got


def read_mailutils(boxes, _work):
    """`messages` counts the messages of a mailbox and `frm` lists one line a
    message; both show decoded, shortened fields, so mailutils is held to the
    number of messages in each mailbox."""
    got = {}
    for path in boxes:
        if os.path.getsize(path) == 0:
            got[path] = []  # frm fails on an empty file
            continue
        counted = subprocess.run(["messages", path], capture_output=True, text=True)
        match = re.search(r": (\d+)$", counted.stdout.strip())
        if counted.returncode != 0 or not match:
            raise AssertionError(f"messages {path}: {counted.stdout}{counted.stderr}")
        # frm's status tells whether it listed anything unread: not looked at.
        listed = subprocess.run(["frm", path], capture_output=True)
        if listed.stderr:
            raise AssertionError(f"frm {path}: {listed.stderr.decode(errors='replace')}")
        count = int(match.group(1))
        # A Subject may take more than one line of frm's list.
        if listed.stdout.count(b"\n") < count:
            raise AssertionError(f"{path}: messages counts {count}, frm lists fewer")
        got[path] = [None] * count
    return got


def read_thunderbird(boxes, work):
    import thunderbird_reader
    return thunderbird_reader.read(boxes, work)


READERS = {
    "python": (None, read_python),
    "dovecot": ("doveadm", read_dovecot),
    "mailbox-perl": ("perl", read_mailbox_perl),
    "mailutils": ("messages", read_mailutils),
    "formail": ("formail", read_formail),
    "thunderbird": ("thunderbird", read_thunderbird),
    "mutt": ("mutt", read_mutt),
}


def installed(reader):
    program = READERS[reader][0]
    if program and not shutil.which(program):
        return False
    if reader == "mailbox-perl":
        return subprocess.run(["perl", "-MMail::Box::Manager", "-e", "1"],
                              capture_output=True).returncode == 0
    if reader == "mailutils":
        return shutil.which("frm") is not None
    if reader == "mutt":
        return shutil.which("script") is not None
    if reader == "thunderbird":
        return os.path.exists(os.path.join(HERE, "thunderbird_reader.py"))
    return True
