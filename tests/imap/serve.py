"""A private Dovecot (dovecot.py) for a test written in another language:
prints one line of JSON (its ports, certificate, user and password) once it
is up, and stops it when its standard input closes. Exits 77 when Dovecot's
IMAP server is not installed."""
import json
import sys

import dovecot

if __name__ == "__main__":
    if not dovecot.installed():
        sys.exit(77)
    server = dovecot.Dovecot()
    try:
        print(json.dumps({"imaps_port": server.imaps_port, "imap_port": server.imap_port,
                          "cert": server.cert, "user": dovecot.USER,
                          "password": dovecot.PASSWORD}), flush=True)
        sys.stdin.read()
    finally:
        server.close()
