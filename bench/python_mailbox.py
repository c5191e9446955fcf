#!/usr/bin/env python3
"""python_mailbox.py STORE OUTPUT

What a user would write with Python's standard library: walk the store and
add every .eml file to an mbox per folder with the `mailbox` module."""
import email
import mailbox
import os
import sys


def main():
    store, output = sys.argv[1], sys.argv[2]
    for folder, _, files in os.walk(store):
        messages = sorted(f for f in files if f.lower().endswith(".eml"))
        if not messages:
            continue
        target = os.path.join(output, os.path.relpath(folder, store))
        os.makedirs(target, exist_ok=True)
        box = mailbox.mbox(os.path.join(target, os.path.basename(folder) + ".mbox"))
        box.lock()
        for name in messages:
            with open(os.path.join(folder, name), "rb") as f:
                box.add(email.message_from_binary_file(f))
        box.flush()
        box.unlock()
        box.close()


if __name__ == "__main__":
    main()
