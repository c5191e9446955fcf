"""What a message file should look like once read back from a mailbox."""
import re

ENVELOPE = re.compile(rb"^From (?![ \t]*:)")
QUOTED_FROM = re.compile(rb"^>+From ")
FROM_LINE = re.compile(
    r"^\S+ (Sun|Mon|Tue|Wed|Thu|Fri|Sat) (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) "
    r"\d\d \d\d:\d\d:\d\d \d{4}\r?$")


def split_lines(data):
    """Lines of a file: CR LF, lone CR and lone LF each end one."""
    lines = re.split(rb"\r\n|\r|\n", data)
    if lines and lines[-1] == b"":
        lines.pop()
    return lines


def expected_record(source):
    """The record body the converter must write for a message file."""
    lines = split_lines(source)
    if lines and ENVELOPE.match(lines[0]):
        lines.pop(0)
    if lines:
        lines[0] = lines[0].lstrip(b" ")
    return b"".join(line + b"\r\n" for line in lines) + b"\r\n"


def unquoted(record):
    """A record as read back, with the ">From " quoting undone."""
    lines = record.split(b"\r\n")
    return b"\r\n".join(line[1:] if QUOTED_FROM.match(line) else line for line in lines)
