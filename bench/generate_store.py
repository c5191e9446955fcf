#!/usr/bin/env python3
"""Writes a synthetic Windows Live Mail store, the same bytes on every run.

    generate_store.py [--small] STORE COUNT

The tree looks like a real store: an account folder and Storage Folders with
Inbox, Sent Items and the other standard folders, nested project folders,
empty folders, and the non-message files the mail program leaves about
(Mail.MSMessageStore, .oeaccount, desktop.ini, logs). COUNT messages are
spread over 32 folders.

Message n is the same in every store size, and every block of 100 messages
holds the same mix of sizes, so a small store is a faithful sample of a large
one and time per message can be compared across sizes:
  - 85 text messages, median about 5 KB;
  - 12 with an attachment of 30 to 150 KB;
  - 3 with an attachment of 1 to 1.4 MB.
The mean is about 53 KB, the median about 6 KB. With --small every message is
a short text message of about 1.5 KB (the same headers, no attachment), for
stores of many messages that cost little disk: what memory does as the
number of messages grows. Most files end lines with
CR LF, some with LF only and a few with CR only; some bodies have lines that
begin with "From " or ">From "; a few files start with an envelope line; the
Date field comes in the forms real mail shows, and is sometimes missing.
"""
import base64
import os
import random
import sys

SEED = 20101

ACCOUNT = "Hotmail (ann.example)"
MAIL_FOLDERS = [
    # (folder, weight): where messages go, Inbox-heavy as in real stores.
    ("Storage Folders/Inbox", 30), ("Storage Folders/Sent Items", 12),
    ("Storage Folders/Deleted Items", 6), ("Storage Folders/Drafts", 1),
    ("Storage Folders/Junk E-mail", 3),
    (f"{ACCOUNT}/Inbox", 14), (f"{ACCOUNT}/Sent Items", 6), (f"{ACCOUNT}/Deleted Items", 3),
    (f"{ACCOUNT}/Drafts", 1), (f"{ACCOUNT}/Junk E-mail", 2),
    ("Storage Folders/Family", 3), ("Storage Folders/Family/Holidays 2009", 1),
    ("Storage Folders/Family/Réunions 2010", 1), ("Storage Folders/Receipts", 2),
    ("Storage Folders/Receipts/2008", 1), ("Storage Folders/Receipts/2009", 1),
    ("Storage Folders/Receipts/2010", 1), ("Storage Folders/Work", 4),
    ("Storage Folders/Work/Projects", 1), ("Storage Folders/Work/Projects/Alpha", 2),
    ("Storage Folders/Work/Projects/Alpha/Meetings", 1),
    ("Storage Folders/Work/Projects/Alpha/Design reviews", 1),
    ("Storage Folders/Work/Projects/Beta", 2), ("Storage Folders/Work/Projects/Beta/Budget", 1),
    ("Storage Folders/Work/Projects/Gamma (old)", 1), ("Storage Folders/Work/Clients", 2),
    ("Storage Folders/Work/Clients/Northwind", 1), ("Storage Folders/Work/Clients/Contoso", 1),
    ("Storage Folders/Lists", 1), ("Storage Folders/Lists/dev-announce", 2),
    ("Storage Folders/Lists/users", 2), ("Storage Folders/Newsletters", 2),
]
EMPTY_FOLDERS = ["Storage Folders/Outbox", f"{ACCOUNT}/Outbox", "Quick Views",
                 "Storage Folders/Work/Projects/Delta", "Backup/new"]
OTHER_FILES = {
    "Mail.MSMessageStore": 4096, "Mail.MSMessageStore.log": 512,
    f"account{{6F3E2C1A-0B4D-4E8F-9A21-5C7D3B2E1F00}}.oeaccount": 2048,
    "Storage Folders/desktop.ini": 120, f"{ACCOUNT}/desktop.ini": 120,
    "Storage Folders/Inbox/Thumbs.db": 3072, "Backup/new/Mail.MSMessageStore": 4096,
    "Storage Folders/Work/notes.txt": 900,
}

WORDS = ("the of and to in is that for it as was with be by on not he this are or his from at "
         "which but have an they you were her she there been one all we their has would when if "
         "so no will more other its some than then could into time only new about meeting draft "
         "budget report quarter invoice thanks attached please review tomorrow holiday photos "
         "project schedule update agenda minutes").split()
DATE_FORMS = [
    "{wd}, {d} {mon} {y} {hh:02d}:{mm:02d}:{ss:02d} +0200",
    "{wd}, {d:02d} {mon} {y} {hh:02d}:{mm:02d}:{ss:02d} -0700",
    "{d} {mon} {y} {hh:02d}:{mm:02d}:{ss:02d} +0000",
    "{wd}, {d} {mon} {y} {hh:02d}:{mm:02d}:{ss:02d} GMT",
    "{wd}, {d} {mon} {y} {hh:02d}:{mm:02d}:{ss:02d} -0400 (EDT)",
    "{wd}, {d} {mon} {yy:02d} {hh:02d}:{mm:02d}:{ss:02d} PST",
    "{wd},  {d} {mon} {y} {hh}:{mm:02d} +0100",
]
WEEKDAYS = ["Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"]
MONTHS = ["Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"]


def text_lines(rng, count):
    lines = []
    for _ in range(count):
        r = rng.random()
        if r < 0.015:
            lines.append("From what I heard, the " + " ".join(rng.choices(WORDS, k=6)))
        elif r < 0.02:
            lines.append(">From the archive: " + " ".join(rng.choices(WORDS, k=5)))
        elif r < 0.08:
            lines.append("")
        else:
            lines.append(" ".join(rng.choices(WORDS, k=rng.randint(6, 14))))
    return lines


def header_lines(rng, n):
    sender = f"sender{n % 97}@example.org"
    y = 2005 + n % 6
    fields = dict(wd=WEEKDAYS[n % 7], d=1 + n % 28, mon=MONTHS[n % 12], y=y, yy=y % 100,
                  hh=n % 24, mm=n % 60, ss=(n * 7) % 60)
    lines = []
    if n % 100 == 50:
        lines.append(f"From {sender} {fields['wd']} {fields['mon']} {fields['d']:2d} "
                     f"{fields['hh']:02d}:{fields['mm']:02d}:{fields['ss']:02d} {y}")
    if rng.random() < 0.7:
        lines.append(f"Return-Path: <{sender}>")
    for hop in range(rng.randint(1, 4)):
        lines.append(f"Received: from mx{hop}.example.org (mx{hop}.example.org [192.0.2.{hop + 1}])")
        lines.append(f"\tby mail.example.net with ESMTP id {n:08x}{hop}; Mon, 5 Jul 2010 "
                     f"14:{n % 60:02d}:09 +0000")
    names = [f"Sender {n % 97} <{sender}>", f'"Doe, Jane" <{sender}>',
             f"=?utf-8?Q?Ren=C3=A9_{n % 97}?= <{sender}>", sender]
    if rng.random() < 0.02:
        lines.append(f"Sender: {sender}")
    else:
        lines.append("From: " + rng.choice(names))
    lines.append("To: Ann Example <ann@example.net>")
    lines.append(f"Subject: Message number {n}: " + " ".join(rng.choices(WORDS, k=4)))
    if rng.random() < 0.99:
        lines.append("Date: " + DATE_FORMS[n % len(DATE_FORMS)].format(**fields))
    lines.append(f"Message-ID: <{n}.{rng.randrange(1 << 30)}@example.org>")
    lines.append("MIME-Version: 1.0")
    lines.append("X-Mailer: Microsoft Windows Live Mail 15.4.3502.922")
    return lines


class Attachments:
    """Base64 text cut from a few large blocks, so that writing a store of
    several GB costs little more than the disk writes."""

    def __init__(self):
        rng = random.Random(SEED)
        self.blocks = [base64.encodebytes(rng.randbytes(1_300_000)).decode().splitlines()
                       for _ in range(4)]

    def lines(self, rng, size):
        block = rng.choice(self.blocks)
        count = max(1, size // 77)
        start = rng.randrange(len(block) - count) if count < len(block) else 0
        return block[start:start + count]


def message(attachments, n, small=False):
    rng = random.Random(SEED * 1_000_003 + n)
    kind = n % 100
    if small:
        text = text_lines(rng, 6 + n % 10)
    else:
        text = text_lines(rng, min(2000, int(rng.lognormvariate(4.45, 0.9)) + 3))
    header = header_lines(rng, n)
    if small:
        size = 0
    elif kind in (7, 41, 73):
        size = rng.randint(1_000_000, 1_400_000)
    elif kind % 8 == 3:
        size = rng.randint(30_000, 150_000)
    else:
        size = 0
    if size == 0:
        body = ["Content-Type: text/plain; charset=utf-8", "Content-Transfer-Encoding: 8bit", ""]
        body += text
    else:
        boundary = f"----=_NextPart_000_{n:04X}_01CB1C5F.4A5E2B30"
        body = [f'Content-Type: multipart/mixed; boundary="{boundary}"', "",
                "This is a multi-part message in MIME format.", "", f"--{boundary}",
                "Content-Type: text/plain; charset=utf-8", "Content-Transfer-Encoding: 8bit", ""]
        body += text
        body += ["", f"--{boundary}", "Content-Type: application/octet-stream",
                 "Content-Transfer-Encoding: base64",
                 f'Content-Disposition: attachment; filename="file{n}.bin"', ""]
        body += attachments.lines(rng, size)
        body += ["", f"--{boundary}--"]
    r = rng.random()
    eol = "\r\n" if r < 0.85 else "\n" if r < 0.97 else "\r"
    return (eol.join(header + body) + eol).encode()


def folder_of(n):
    rng = random.Random(SEED * 7 + n)
    return rng.choices([f for f, _ in MAIL_FOLDERS], weights=[w for _, w in MAIL_FOLDERS])[0]


def main():
    args = sys.argv[1:]
    small = "--small" in args
    if small:
        args.remove("--small")
    if len(args) != 2:
        sys.exit(__doc__)
    root, count = args[0], int(args[1])
    for folder, _ in MAIL_FOLDERS:
        os.makedirs(os.path.join(root, folder), exist_ok=True)
    for folder in EMPTY_FOLDERS:
        os.makedirs(os.path.join(root, folder), exist_ok=True)
    for name, size in OTHER_FILES.items():
        with open(os.path.join(root, name), "wb") as f:
            f.write(random.Random(name).randbytes(size))
    attachments = None if small else Attachments()
    for n in range(count):
        extension = ".EML" if n % 250 == 0 else ".eml"
        with open(os.path.join(root, folder_of(n), f"{n:08X}{extension}"), "wb") as f:
            f.write(message(attachments, n, small))


if __name__ == "__main__":
    main()
