"""What a message file should look like once read back from a mailbox."""
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


def expected_record(source, line_end=b"\r\n"):
    """The record body the converter must write for a message file: it starts
    at the first line with more than blanks, less those blanks, after an
    envelope line there; a message without an empty line gets one."""
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
    if lines and b"" not in lines:
        lines.append(b"")
    return b"".join(line + line_end for line in lines) + line_end


def unquoted(record):
    """A record as read back, with the ">From " quoting undone."""
    lines = record.split(b"\r\n")
    return b"\r\n".join(line[1:] if QUOTED_FROM.match(line) else line for line in lines)
