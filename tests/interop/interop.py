"""Converts the test corpus and a generated store into every output target and
reads each output back with real mail software:

    interop.py CONVERTER DATA READER

READER is one of python, dovecot, mailbox-perl, mailutils, formail,
thunderbird, mutt. Every reader must find every message in the right mailbox with
the Subject, From, Date and Message-ID that Python's email package parses
from the message file. Exits 77 (skipped) when the reader is not installed.
"""
import collections
import os
import re
import shutil
import subprocess
import sys
import tempfile

from messages import (NO_FIELDS, fields_of, has_non_field_line, header_block,
                      message_as_converted)
from readers import DATE_PROBLEMS, READERS, encoded_utf7, installed

HERE = os.path.dirname(os.path.abspath(__file__))

SKIPPED = 77
TARGETS = ["entourage", "thunderbird", "apple-mail", "mboxrd", "maildir"]
GENERATED_MESSAGES = 300

# Readers that cannot read a target at all, and why. These are not failures of
# the converter: the target exists for readers that the default one fails.
NOT_FOR = {
    ("mailutils", "entourage"): "GNU mailutils refuses CR LF mailboxes (\"Requested item not "
                                "found\"); the LF targets are for it",
    ("formail", "entourage"): "formail -s takes a CR LF mailbox for one message; the LF "
                              "targets are for it",
    ("thunderbird", "entourage"): "Thunderbird reads its own tree (the thunderbird target)",
    ("thunderbird", "apple-mail"): "Thunderbird reads its own tree (the thunderbird target)",
    ("thunderbird", "mboxrd"): "Thunderbird reads its own tree (the thunderbird target)",
    ("thunderbird", "maildir"): "Thunderbird reads its own tree (the thunderbird target)",
    ("mailbox-perl", "maildir"): "read as mbox files here; Python, Dovecot and mutt read the "
                                 "maildirs",
    ("mailutils", "maildir"): "read as mbox files here; Python, Dovecot and mutt read the "
                              "maildirs",
    ("formail", "maildir"): "formail splits mbox files only",
    ("mutt", "entourage"): "mutt reads the maildir target here",
    ("mutt", "thunderbird"): "mutt reads the maildir target here",
    ("mutt", "apple-mail"): "mutt reads the maildir target here",
    ("mutt", "mboxrd"): "mutt reads the maildir target here",
}

# Differences accepted, each with its reason: (readers, what the message file
# shows, reason).
ACCEPTED = [
    ({"dovecot", "mailbox-perl", "formail", "thunderbird"}, has_non_field_line,
     "Python ends the header block at the first line that is no field (\"quite "
     "Delivered-To: ...\"); these readers read on, as the converter leaves the message as it is"),
    ({"dovecot"}, lambda data: b"From: Pete(A nice \\) chap)" in data,
     "RFC 2822's example of comments and quoted pairs in From: doveadm shows an empty From"),
]


def is_message_file(name):
    return name.strip(" ").lower().endswith(".eml")


def mailbox_of(target, out, store, source):
    """Where the target puts a message of `store`: the layout its importer wants."""
    folder = os.path.dirname(source)
    if target == "entourage":
        return os.path.join(out, folder.lstrip("/"), os.path.basename(folder) + ".mbox")
    names = [os.path.basename(store)] + [
        n for n in os.path.relpath(folder, store).split(os.sep) if n != "."]
    if target == "thunderbird":
        return os.path.join(out, *[n + ".sbd" for n in names[:-1]], names[-1])
    if target == "apple-mail":
        return os.path.join(out, *[n + ".mbox" for n in names], "mbox")
    if target == "maildir":
        return os.path.join(out, "".join("." + encoded_utf7(n).replace(".", "_") for n in names))
    return os.path.join(out, *names, names[-1] + ".mbox")


class Conversion:
    """One store converted into one target, with what each mailbox must hold."""

    def __init__(self, converter, store, target, out):
        self.store, self.target, self.out = store, target, out
        result = subprocess.run([converter, "-q", "--target", target, "-o", out, store],
                                capture_output=True)
        if result.returncode != 0:
            raise AssertionError(f"{target}: converter failed: {result.stderr.decode()}")
        self.expected = collections.defaultdict(list)  # mailbox -> [(fields, source)]
        # mailbox -> whether a message of it has a Content-Length: field
        self.content_length = collections.defaultdict(bool)
        for folder, _, files in os.walk(store):
            for name in sorted(files):
                if not is_message_file(name):
                    continue
                path = os.path.join(folder, name)
                with open(path, "rb") as f:
                    raw = f.read()
                data = message_as_converted(raw)
                mailbox_path = mailbox_of(target, out, store, path)
                if not data.strip():
                    continue  # an empty file is no message
                self.expected[mailbox_path].append((fields_of(data, every=True), path))
                if re.search(rb"^content-length:", header_block(data), re.I | re.M):
                    self.content_length[mailbox_path] = True

    def mailboxes(self):
        """Every mailbox file written, found on disk (for maildir, every
        maildir below the top one)."""
        if self.target == "maildir":
            return sorted(os.path.join(self.out, name) for name in os.listdir(self.out)
                          if name.startswith(".") and os.path.isdir(os.path.join(self.out, name)))
        found = []
        for folder, _, files in os.walk(self.out):
            for name in files:
                if not name.startswith(".") and not name.endswith(".msf"):
                    found.append(os.path.join(folder, name))
        return sorted(found)


def match(wanted, read):
    """Pairs the messages expected with those read (a bipartite matching, as
    several messages may fit one read and the other way round). Returns the
    read ones left over and the wanted ones not found."""
    fits = [[j for j, got in enumerate(read)
             if all(value in values for value, values in zip(got, fields))]
            for fields, _ in wanted]
    owner = {}  # read index -> wanted index

    def place(i, seen):
        for j in fits[i]:
            if j not in seen:
                seen.add(j)
                if j not in owner or place(owner[j], seen):
                    owner[j] = i
                    return True
        return False

    missing = [wanted[i] for i in range(len(wanted)) if not place(i, set())]
    return [got for j, got in enumerate(read) if j not in owner], missing


def compare(conversion, got):
    """Problems, one line each: a mailbox missing or unexpected, a message
    missing, doubled or unexpected."""
    problems = []
    expected = conversion.expected
    for path in sorted(set(expected) - set(got)):
        problems.append(("missing mailbox", path, None))
    for path, read in sorted(got.items()):
        wanted = expected.get(path, [])
        if not wanted and not read:
            continue  # an empty mailbox of a folder above others
        if read and read[0] is None:  # a reader that only counts
            if len(read) != len(wanted):
                problems.append((f"{len(read) - len(wanted)} messages more than expected",
                                 path, None))
            continue
        unmatched, missing = match(wanted, read)
        # A message read with other fields is one problem, not two: it is paired
        # with the message read that shares its Message-ID, else its Subject, else
        # with any when Python found no fields in it.
        for fields, source in missing:
            got = None
            for field in (3, 0):
                same = [i for i, read_fields in enumerate(unmatched)
                        if read_fields[field] and read_fields[field] in fields[field]]
                if same:
                    got = unmatched.pop(same[0])
                    break
            if got is None and unmatched and fields == NO_FIELDS:
                got = unmatched.pop(0)
            if got is None:
                problems.append(("message not found", path, source))
            else:
                problems.append((f"read with other fields {got!r}", path, source))
        for fields in unmatched:
            problems.append((f"unexpected message {fields!r}", path, None))
    return problems


def accepted(reader, conversion, problem):
    """The reason a problem is accepted, or None."""
    what, mailbox_path, source = problem
    if source is None:
        return None
    if reader == "formail" and what == "message not found" and \
            conversion.content_length[mailbox_path]:
        return "formail -s trusts Content-Length: fields; messages of the corpus carry wrong " \
            "ones, which the converter passes through unchanged as other readers ignore them, " \
            "and formail then swallows the message after"
    with open(source, "rb") as f:
        data = f.read()
    for readers, applies, reason in ACCEPTED:
        if (readers == "*" or reader in readers) and applies(data):
            return reason
    return None


def main():
    converter, data, reader = sys.argv[1], sys.argv[2], sys.argv[3]
    if not installed(reader):
        print(f"{reader} is not installed: skipped")
        return SKIPPED
    work = tempfile.mkdtemp(prefix=f"marrowgate-interop-{reader}-")
    try:
        stores = os.path.join(work, "stores")
        shutil.copytree(os.path.join(data, "corpus", "Store"), os.path.join(stores, "Store"))
        subprocess.run([sys.executable, os.path.join(HERE, "..", "..", "bench",
                                                     "generate_store.py"),
                        os.path.join(stores, "Generated"), str(GENERATED_MESSAGES)],
                       check=True, capture_output=True)
        failures, total = [], 0
        for target in TARGETS:
            if (reader, target) in NOT_FOR:
                print(f"{target}: not read ({NOT_FOR[(reader, target)]})")
                continue
            for store in ("Store", "Generated"):
                out = os.path.join(work, f"out-{target}-{store}")
                conversion = Conversion(converter, os.path.join(stores, store), target, out)
                boxes = conversion.mailboxes()
                scratch = os.path.join(work, f"read-{target}-{store}")
                os.makedirs(scratch)
                got = READERS[reader][1](boxes, scratch)
                count = sum(len(v) for v in conversion.expected.values())
                total += count
                problems = compare(conversion, got)
                for problem in problems:
                    reason = accepted(reader, conversion, problem)
                    line = f"{target}/{store}: {problem[0]}: {problem[1]}" + (
                        f" ({problem[2]})" if problem[2] else "")
                    if reason:
                        print(f"accepted: {line}: {reason}")
                    else:
                        failures.append(line)
                print(f"{target}/{store}: {count} messages in {len(conversion.expected)} "
                      f"mailboxes, {len(problems)} problems")
        failures += DATE_PROBLEMS
        for line in failures:
            print("FAIL " + line)
        print(f"{reader}: {total} messages checked, {len(failures)} failures")
        return 1 if failures else 0
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
