#!/usr/bin/env python3
"""Lists every mailbox below a folder with its message count, as read by
Python's own mbox reader."""
import mailbox
import os
import sys

root = sys.argv[1] if len(sys.argv) > 1 else "out"
total = 0
for folder, _, files in sorted(os.walk(root)):
    for name in sorted(files):
        if name.endswith(".mbox"):
            path = os.path.join(folder, name)
            box = mailbox.mbox(path, create=False)
            count = len(box)
            box.close()
            total += count
            print(f"{count:6d}  {os.path.relpath(path, root)}")
print(f"{total:6d}  messages in all")
