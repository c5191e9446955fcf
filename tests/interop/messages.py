"""A message's header fields as the interop readers are held to them: Python's
email package parses them from the message file after the converter's
documented changes at its top."""
import collections
import email.parser
import email.policy
import os
import re
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "cli"))
from mboxcheck import message_lines  # noqa: E402

FIELDS = ["subject", "from", "date", "message-id"]
NO_FIELDS = (frozenset([b""]),) * 4
FIELD_OR_FOLD = re.compile(rb"[\x21-\x39\x3b-\x7e]+[ \t]*:|[ \t]")


def header_block(data):
    return re.split(rb"\r?\n\r?\n|\r\r", data, 1)[0]


def has_non_field_line(data):
    lines = LINE_END.split(header_block(message_as_converted(data)))
    return any(line and not FIELD_OR_FOLD.match(line) for line in lines)


LINE_END = re.compile(rb"\r\n|\r|\n")


def message_as_converted(data):
    """The message as the converter keeps it (message_lines()), with LF line ends."""
    return b"".join(line + b"\n" for line in message_lines(data))


def normal(value):
    """A field value as the readers are compared on it: without white space
    (they unfold and space structured fields differently), and without 8-bit
    bytes or "?" (they keep, drop or replace bytes that are not ASCII)."""
    return re.sub(rb"[\s?\x80-\xff]+", b"", value).lower()


def fields_of(data, every=False):
    """(Subject, From, Date, Message-ID) of a message as Python parses it, as
    bytes made normal(). With `every`, each is the set of all the message's
    values of that field, since readers differ in which of several they show."""
    message = email.parser.BytesParser(policy=email.policy.compat32).parsebytes(
        data, headersonly=True)
    found = collections.defaultdict(list)
    for name, value in message.raw_items():
        found[name.lower()].append(normal(value.encode("ascii", "surrogateescape")))
    if every:
        # Dovecot gives all values of a field joined.
        return tuple(frozenset(found[name] + [b"".join(found[name])]) for name in FIELDS)
    return tuple(found[name][0] if found[name] else b"" for name in FIELDS)


def latin1(text):
    return text.encode("latin-1", "replace")

