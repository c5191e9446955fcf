#!/usr/bin/env python3
"""Lists every mailbox below a folder with its message count, as read by
Python's own mbox reader.

    list-mailboxes.py [OUTPUT [STORE]]

With STORE, the store that was converted into OUTPUT, it first says where
that store's mailboxes are (OUTPUT repeats the store folder's whole path)
and lists them from there."""
import mailbox
import os
import sys

root = sys.argv[1] if len(sys.argv) > 1 else "out"
top = root
if len(sys.argv) > 2:
    store = os.path.abspath(sys.argv[2])
    top = os.path.join(root, os.path.relpath(store, os.path.sep))
    print(f"\nThe output folder {root}/ repeats the whole path of the store folder {store},")
    print(f"so its mailboxes are in {top}/:")
total = mailboxes = 0
for folder, _, files in sorted(os.walk(top)):
    for name in sorted(files):
        if name.endswith(".mbox"):
            path = os.path.join(folder, name)
            box = mailbox.mbox(path, create=False)
            count = len(box)
            box.close()
            total += count
            mailboxes += 1
            print(f"{count:6d}  {os.path.relpath(path, top)}")
print(f"{total:6d}  messages in {mailboxes} mailboxes")
