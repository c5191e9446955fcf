#!/usr/bin/env python3
"""Writes a synthetic mail store: COUNT message files spread over folders,
with the mix of line ends, sizes and "From " lines real stores have."""
import os
import random
import sys

FOLDERS = ["Inbox", "Sent Items", "Deleted Items", "Drafts", "Folders/Work", "Folders/Family",
           "Folders/Work/Projects 2010", "Folders/Lists/dev"]


def message(rng, n):
    body_lines = []
    for i in range(rng.choice([5, 20, 60, 200, 600])):
        if rng.random() < 0.01:
            body_lines.append("From the archive: a line that needs quoting")
        else:
            body_lines.append("".join(rng.choice("abcdefghij klmnop") for _ in range(70)))
    header = [
        f"Return-Path: <sender{n % 97}@example.org>",
        f"Received: from mx{n % 7}.example.org by mail.example.net; "
        f"Mon, 5 Jul 2010 14:{n % 60:02d}:09 +0000",
        f"From: Sender {n % 97} <sender{n % 97}@example.org>",
        "To: me@example.net",
        f"Subject: Message number {n}",
        f"Date: Mon, {1 + n % 28} Jul 2010 14:03:{n % 60:02d} +0200",
        f"Message-ID: <{n}@example.org>",
    ]
    eol = rng.choice(["\r\n", "\r\n", "\n"])
    return (eol.join(header + [""] + body_lines) + eol).encode()


def main():
    root, count = sys.argv[1], int(sys.argv[2])
    rng = random.Random(20101)
    for folder in FOLDERS:
        os.makedirs(os.path.join(root, folder), exist_ok=True)
    for n in range(count):
        folder = FOLDERS[n % len(FOLDERS)]
        with open(os.path.join(root, folder, f"{n:06d}.eml"), "wb") as f:
            f.write(message(rng, n))


if __name__ == "__main__":
    main()
