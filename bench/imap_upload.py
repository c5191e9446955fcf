"""The imap target's speed against a local Dovecot (tests/imap/dovecot.py):
marrowgate-convert --target imap against a Python imaplib APPEND loop (one
message, one round trip, as a script would do it) and against Dovecot's own
`doveadm save` of each message into the same account, which goes through no
network at all. A fourth client marks the server's floor: every message in
one MULTIAPPEND command with LITERAL+ literals, sent without waiting for any
answer (no dates, no flags, no ledger, nothing read back): no client can ask
less of the server, so what it takes is the server's own cost of saving the
messages, which bounds every client. Each program uploads the same messages into a mailbox of its
own in a fresh account; the median of `runs` rounds is reported.

Goals: at least 10 times as fast as the imaplib loop, and within 2 times
`doveadm save`."""
import glob
import imaplib
import os
import socket
import ssl
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "imap"))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "cli"))
import dovecot  # noqa: E402
from mboxcheck import message_lines  # noqa: E402


def messages_of(store):
    """The messages as the imap target uploads them: CR LF, nothing quoted."""
    found = []
    for path in sorted(glob.glob(os.path.join(store, "**", "*.eml"), recursive=True)):
        with open(path, "rb") as f:
            data = f.read()
        if data.strip():
            found.append(b"".join(line + b"\r\n" for line in message_lines(data)))
    return found


def marrowgate(build, server, store, round_number):
    env = dict(os.environ, MARROWGATE_IMAP_PASSWORD=dovecot.PASSWORD)
    subprocess.run([os.path.join(build, "src", "cli", "marrowgate-convert"), "-q", "-t", "imap",
                    "--ca-file", server.cert, "-o", server.url(folder=f"m{round_number}"), store],
                   env=env, check=True, capture_output=True)


def imaplib_loop(server, messages, round_number):
    context = ssl.create_default_context(cafile=server.cert)
    imap = imaplib.IMAP4_SSL("localhost", server.imaps_port, ssl_context=context)
    imap.login(dovecot.USER, dovecot.PASSWORD)
    imap.create(f"p{round_number}")
    for message in messages:
        imap.append(f"p{round_number}", None, None, message)
    imap.logout()


def pipelined_floor(server, messages, round_number):
    context = ssl.create_default_context(cafile=server.cert)
    with socket.create_connection(("localhost", server.imaps_port)) as raw, \
            context.wrap_socket(raw, server_hostname="localhost") as tls:
        answers = tls.makefile("rb")
        answers.readline()
        mailbox = f"f{round_number}"
        command = (f"a LOGIN {dovecot.USER} {dovecot.PASSWORD}\r\nb CREATE {mailbox}\r\n"
                   f"c APPEND {mailbox}").encode()
        tls.sendall(command)
        for message in messages:
            tls.sendall(b" {%d+}\r\n" % len(message))
            tls.sendall(message)
        tls.sendall(b"\r\nd LOGOUT\r\n")
        for line in answers:
            if line.startswith((b"a NO", b"a BAD", b"b BAD", b"c NO", b"c BAD")):
                raise RuntimeError(line.decode(errors="replace"))
            if line.startswith(b"d OK"):
                break


def doveadm_save(server, messages, round_number):
    server.doveadm("mailbox", "create", "-u", dovecot.USER, f"d{round_number}")
    for message in messages:
        subprocess.run(["doveadm", "-c", server.config, "save", "-u", dovecot.USER, "-m",
                        f"d{round_number}"], input=message, check=True, capture_output=True)


def bench_imap(build, store, runs, goal):
    """Prints the table and records the two goals with `goal(text, met)`."""
    if not dovecot.installed():
        print("IMAP: Dovecot's IMAP server is not installed: skipped")
        return
    messages = messages_of(store)
    megabytes = sum(len(m) for m in messages) / 1e6
    server = dovecot.Dovecot()
    times = {"marrowgate": [], "imaplib loop": [], "doveadm save": [], "server floor": []}
    try:
        for round_number in range(runs):
            for name, upload in (("marrowgate", lambda: marrowgate(build, server, store,
                                                                   round_number)),
                                 ("imaplib loop", lambda: imaplib_loop(server, messages,
                                                                       round_number)),
                                 ("doveadm save", lambda: doveadm_save(server, messages,
                                                                       round_number)),
                                 ("server floor", lambda: pipelined_floor(server, messages,
                                                                          round_number))):
                start = time.perf_counter()
                upload()
                times[name].append(time.perf_counter() - start)
    finally:
        server.close()
    median = {name: statistics.median(t) for name, t in times.items()}
    print(f"\nIMAP upload of {len(messages)} messages ({megabytes:.1f} MB) to a local Dovecot, "
          f"median of {runs}:\n")
    print("| program | seconds | messages/s |")
    print("|---|---:|---:|")
    for name, seconds in median.items():
        print(f"| {name} | {seconds:.2f} | {len(messages) / seconds:.0f} |")
    speedup = median["imaplib loop"] / median["marrowgate"]
    against = median["marrowgate"] / median["doveadm save"]
    floor = median["imaplib loop"] / median["server floor"]
    print(f"\nThe server floor (one pipelined MULTIAPPEND) is {floor:.1f}x the imaplib loop; "
          f"marrowgate takes {median['marrowgate'] / median['server floor']:.2f}x the floor.")
    goal(f"imap upload at least 10x the imaplib APPEND loop ({speedup:.1f}x)", speedup >= 10)
    goal(f"imap upload within 2x doveadm save ({against:.2f}x)", against <= 2)
