"""A message's header fields as the interop readers are held to them: Python's
email package parses them from the message file after the converter's
documented changes at its top."""
import collections
import email.parser
import email.policy
import re

FIELDS = ["subject", "from", "date", "message-id"]
NO_FIELDS = (frozenset([b""]),) * 4
BLANK_LINE = re.compile(rb"[ \t]*(?:\r\n|\r|\n)")
FIELD_OR_FOLD = re.compile(rb"[\x21-\x39\x3b-\x7e]+[ \t]*:|[ \t]")


def header_block(data):
    return re.split(rb"\r?\n\r?\n|\r\r", data, 1)[0]


def has_non_field_line(data):
    lines = LINE_END.split(header_block(message_as_converted(data)))
    return any(line and not FIELD_OR_FOLD.match(line) for line in lines)


# Differences accepted, each with its reason: (readers, what the message file
# shows, reason). PENDING marks the ones today's converter has and work under

LINE_END = re.compile(rb"\r\n|\r|\n")
# An mbox envelope line at the top: "From " and one token, alone or with a
# date that has a time.
ENVELOPE = re.compile(rb"From \S+(?: .*\d:\d\d.*)?")


def message_as_converted(data):
    """The message's bytes with the documented changes at its top: blank lines
    before the first header line and the first line's leading spaces go, and so
    does an mbox envelope line."""
    while True:
        match = BLANK_LINE.match(data)
        if not match:
            break
        data = data[match.end():]
    data = data.lstrip(b" ")
    first = LINE_END.split(data, 1)
    if ENVELOPE.fullmatch(first[0]):
        data = first[1] if len(first) > 1 else b""
    return data


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

