"""What a message file should look like once read back from a mailbox, and
the mailboxes of an output folder read back."""
import collections
import mailbox
import os
import re

QUOTED_FROM = re.compile(rb"^>+From ")
# Readers take From_ years 1970 to 2099 only.
FROM_LINE = re.compile(
    r"^\S+ (Sun|Mon|Tue|Wed|Thu|Fri|Sat) (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) "
    r"\d\d \d\d:\d\d:\d\d (19[7-9]\d|20\d\d)\r?$")

DATE_WORDS = [  # kind, pattern, how many times it may occur
    ("day", re.compile(rb"(Sun|Mon|Tue|Wed|Thu|Fri|Sat),?"), 1),
    ("month", re.compile(rb"Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec"), 1),
    ("mday", re.compile(rb"\d{1,2}"), 1),
    ("year", re.compile(rb"\d{4}"), 1),
    ("time", re.compile(rb"\d{1,2}:\d\d(:\d\d)?"), 1),
    ("zone", re.compile(rb"[+-]\d{4}|[A-Z]{1,5}"), 2),
]


def is_envelope(line):
    """An mbox tool's envelope line: "From ", a sender, then nothing or a date
    with a time (month, day of the month, time and four-digit year, each once,
    in any order; a day name and time zones allowed)."""
    if len(line) > 1000 or not line.startswith(b"From "):
        return False
    words = [w for w in re.split(rb"[ \t]+", line[5:]) if w]
    if not words or words[0].startswith(b":"):
        return False
    if len(words) == 1:
        return True
    seen = {}
    for word in words[1:]:
        kind = next(((k, n) for k, pattern, n in DATE_WORDS if pattern.fullmatch(word)), None)
        if kind is None:
            return False
        seen[kind[0]] = seen.get(kind[0], 0) + 1
        if seen[kind[0]] > kind[1]:
            return False
    return all(seen.get(k) == 1 for k in ("month", "mday", "year", "time"))


def split_lines(data):
    """Lines of a file: CR LF, lone CR and lone LF each end one."""
    lines = re.split(rb"\r\n|\r|\n", data)
    if lines and lines[-1] == b"":
        lines.pop()
    return lines


def message_lines(source):
    """The lines of a message file the converter keeps: from the first line
    with more than blanks, less those blanks, after an envelope line there."""
    lines = split_lines(source)

    def drop_top():
        while lines and not lines[0].strip(b" \t"):
            lines.pop(0)
        if lines:
            lines[0] = lines[0].lstrip(b" \t")

    drop_top()
    if lines and is_envelope(lines[0]):
        lines.pop(0)
        drop_top()
    return lines


def expected_record(source, line_end=b"\r\n"):
    """The record body the converter must write for a message file: its
    message_lines(), and an empty line for a message without one."""
    lines = message_lines(source)
    if lines and b"" not in lines:
        lines.append(b"")
    return b"".join(line + line_end for line in lines) + line_end


def unquoted(record):
    """A record as read back, with the ">From " quoting undone."""
    lines = record.split(b"\r\n")
    return b"\r\n".join(line[1:] if QUOTED_FROM.match(line) else line for line in lines)


LEDGER = b".marrowgate-ledger"


def read(path):
    with open(path, "rb") as f:
        return f.read()


def mailbox_for(out, folder):
    """The mailbox the messages of `folder` (absolute, bytes) go to."""
    return os.path.join(os.fsencode(out), folder.lstrip(b"/"), os.path.basename(folder) + b".mbox")


def expected_mailboxes(store, out):
    """For each mailbox, the records the regular .eml files of the store give."""
    expected = collections.defaultdict(collections.Counter)
    for folder, _, files in os.walk(os.fsencode(store)):
        for name in files:
            path = os.path.join(folder, name)
            if name.strip(b" ").lower().endswith(b".eml") and os.path.isfile(path):
                data = read(path)
                if data.strip():  # white space only is no message
                    expected[mailbox_for(out, folder)][expected_record(data)] += 1
    return expected


def records(path, from_line=None):
    """The records of a mailbox as a reader gets them, quoting undone, or None
    when the file is not whole records only. `from_line`, when given, is
    called with each record's From_ line."""
    data = read(path)
    if not data.startswith(b"From ") or not data.endswith(b"\r\n\r\n"):
        return None
    box = mailbox.mbox(os.fsdecode(path), create=False)
    try:
        found = collections.Counter()
        for key in box.keys():
            if from_line:
                from_line(box.get_message(key).get_from())
            found[unquoted(box.get_bytes(key))] += 1
        return found
    finally:
        box.close()


def written_files(out):
    """The mailboxes (and anything else) below `out`, the ledger left out."""
    found, top = [], os.fsencode(out)
    for folder, _, files in os.walk(top):
        found += [os.path.join(folder, f) for f in files if f != LEDGER or folder != top]
    return sorted(found)


def mailbox_bytes(out):
    """Every mailbox below `out`, by its path relative to `out`, with its
    bytes; the ledger, which names the sources as each system does, left out."""
    found = {}
    for folder, _, names in os.walk(out):
        for name in [n for n in names if n.endswith(".mbox")]:
            with open(os.path.join(folder, name), "rb") as f:
                found[os.path.relpath(os.path.join(folder, name), out)] = f.read()
    return found
