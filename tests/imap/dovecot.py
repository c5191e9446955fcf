"""A private Dovecot IMAP server for the tests: started on 127.0.0.1 on free
ports with a configuration of its own (no system configuration, no service
of the machine's), a passwd-file user, a self-signed certificate made here,
the quota plugin, and the special-use folders; stopped (or killed) by the
test. Also a proxy that cuts a connection in the middle of what it carries."""
import os
import pwd
import re
import shutil
import signal
import socket
import subprocess
import tempfile
import threading
import time

USER, PASSWORD = "ann", "secret"
# What Dovecot 2.3 offers after login, less UIDPLUS and LITERAL+: a server
# that gives no UIDs for uploads and wants a go-ahead before each literal.
PLAIN_CAPABILITIES = ("IMAP4rev1 SASL-IR LOGIN-REFERRALS ID ENABLE IDLE NAMESPACE CHILDREN "
                      "SPECIAL-USE LIST-EXTENDED")


def installed():
    return shutil.which("dovecot") is not None and shutil.which("openssl") is not None and \
        os.path.exists("/usr/lib/dovecot/imap")


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def make_certificate(folder, name, common_name, alt_names):
    key, cert = os.path.join(folder, name + ".key"), os.path.join(folder, name + ".pem")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key,
                    "-out", cert, "-days", "2", "-subj", "/CN=" + common_name,
                    "-addext", "subjectAltName=" + alt_names],
                   check=True, capture_output=True)
    return key, cert


class Dovecot:
    """One server. `quota` (bytes) and `max_message` (bytes) limit the user;
    `capabilities` replaces what it offers after login; `certificate_for`
    gives it a certificate for another name; `starttls` False offers none;
    `fsync` False flushes no saved mail to disk."""

    def __init__(self, quota=None, max_message=None, capabilities=None,
                 certificate_for="localhost", starttls=True, fsync=True):
        self.dir = tempfile.mkdtemp(prefix="marrowgate-dovecot-")
        self.tls = starttls
        os.chmod(self.dir, 0o755)
        self.imap_port, self.imaps_port = free_port(), free_port()
        if certificate_for == "localhost":
            self.key, self.cert = make_certificate(self.dir, "server", "localhost",
                                                   "DNS:localhost,IP:127.0.0.1")
        else:
            self.key, self.cert = make_certificate(self.dir, "server", certificate_for,
                                                   "DNS:" + certificate_for)
        self.mail = os.path.join(self.dir, "mail")
        os.makedirs(self.mail)
        root = os.getuid() == 0
        self.uid = 65534 if root else os.getuid()
        self.gid = 65534 if root else os.getgid()
        os.chown(self.mail, self.uid, self.gid)
        with open(os.path.join(self.dir, "passwd"), "w") as f:
            f.write(f"{USER}:{{PLAIN}}{PASSWORD}::::::\n")
        self.config = os.path.join(self.dir, "dovecot.conf")
        self.write_config(quota, max_message, capabilities, starttls, root)
        if not fsync:
            # Saved mail not flushed to disk, for whoever saves it: what is
            # left of a save's cost is the server's own work.
            with open(self.config, "a") as f:
                f.write("mail_fsync = never\n")
        self.process = None
        self.start()

    def write_config(self, quota, max_message, capabilities, starttls, root):
        d = self.dir
        lines = [
            "protocols = imap", "listen = 127.0.0.1", f"base_dir = {d}/run",
            f"state_dir = {d}/state", f"log_path = {d}/log", "instance_name = marrowgate-test",
            "ssl = yes" if starttls else "ssl = no",
            "disable_plaintext_auth = no", "auth_mechanisms = plain login",
            "passdb {", "  driver = passwd-file", f"  args = scheme=PLAIN {d}/passwd", "}",
            "userdb {", "  driver = static",
            f"  args = uid={self.uid} gid={self.gid} home={self.mail}/%u", "}",
            "mail_location = maildir:~/Maildir", f"first_valid_uid = {min(self.uid, 500)}",
            f"first_valid_gid = {min(self.gid, 500)}",
            "namespace inbox {", "  inbox = yes",
            "  mailbox Sent {", "    special_use = \\Sent", "    auto = create", "  }",
            "  mailbox Trash {", "    special_use = \\Trash", "    auto = create", "  }",
            "  mailbox Drafts {", "    special_use = \\Drafts", "    auto = create", "  }",
            "  mailbox Junk {", "    special_use = \\Junk", "    auto = create", "  }",
            "}",
            "mail_plugins = quota", "protocol imap {", "  mail_plugins = quota imap_quota",
        ]
        if capabilities:
            lines.append(f"  imap_capability = {capabilities}")
        lines += ["}", "plugin {", "  quota = count:User quota", "  quota_vsizes = yes"]
        lines.append(f"  quota_rule = *:storage={quota // 1024 if quota else 0}K")
        if max_message:
            lines.append(f"  quota_max_mail_size = {max_message // 1024}K")
        lines += ["}", "service imap-login {", "  inet_listener imap {",
                  f"    port = {self.imap_port}", "  }", "  inet_listener imaps {",
                  f"    port = {self.imaps_port}" if starttls else "    port = 0",
                  "    ssl = yes", "  }", "}"]
        if starttls:
            lines += [f"ssl_cert = <{self.cert}", f"ssl_key = <{self.key}"]
        if not root:
            user = pwd.getpwuid(os.getuid()).pw_name
            lines += [f"default_login_user = {user}", f"default_internal_user = {user}"]
        with open(self.config, "w") as f:
            f.write("\n".join(lines) + "\n")

    def start(self):
        self.process = subprocess.Popen(["dovecot", "-F", "-c", self.config],
                                        start_new_session=True, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 20
        while time.monotonic() < deadline:
            with socket.socket() as s:
                if s.connect_ex(("127.0.0.1", self.imap_port)) == 0:
                    return
            if self.process.poll() is not None:
                break
            time.sleep(0.05)
        raise AssertionError(f"dovecot did not start: {self.log()}")

    def kill(self):
        """The whole server, at once, as a crash would end it."""
        if self.process and self.process.poll() is None:
            os.killpg(self.process.pid, signal.SIGKILL)
            self.process.wait()
        self.process = None

    def stop(self):
        if self.process and self.process.poll() is None:
            os.killpg(self.process.pid, signal.SIGTERM)
            try:
                self.process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.kill()
        self.process = None

    def close(self):
        self.stop()
        shutil.rmtree(self.dir, ignore_errors=True)

    def log(self):
        try:
            with open(os.path.join(self.dir, "log"), errors="replace") as f:
                return f.read()[-3000:]
        except OSError:
            return ""

    def url(self, tls=True, port=None, folder=""):
        if tls:
            return f"imaps://{USER}@localhost:{port or self.imaps_port}/{folder}"
        return f"imap://{USER}@localhost:{port or self.imap_port}/{folder}"

    def doveadm(self, *args):
        result = subprocess.run(["doveadm", "-c", self.config, *args], capture_output=True)
        if result.returncode != 0:
            raise AssertionError(f"doveadm {args}: {result.stderr.decode(errors='replace')}")
        return result.stdout


class CuttingProxy:
    """Forwards 127.0.0.1:port to the server's port; the first connection is
    cut (both ways, at once) once `cut_after` bytes have gone to the server.
    Later connections pass whole."""

    def __init__(self, target_port, cut_after):
        self.target_port, self.cut_after = target_port, cut_after
        self.listener = socket.socket()
        self.listener.bind(("127.0.0.1", 0))
        self.listener.listen(8)
        self.port = self.listener.getsockname()[1]
        self.cuts = 0
        self.connections = 0
        threading.Thread(target=self.accept, daemon=True).start()

    def accept(self):
        while True:
            try:
                client, _ = self.listener.accept()
            except OSError:
                return
            server = socket.create_connection(("127.0.0.1", self.target_port))
            self.connections += 1
            budget = [self.cut_after if self.connections == 1 else None]
            threading.Thread(target=self.pump, args=(client, server, budget), daemon=True).start()
            threading.Thread(target=self.pump, args=(server, client, None), daemon=True).start()

    def pump(self, source, sink, budget):
        try:
            while True:
                data = source.recv(65536)
                if not data:
                    break
                if budget and budget[0] is not None:
                    if len(data) >= budget[0]:
                        sink.sendall(data[:budget[0]])
                        self.cuts += 1
                        break
                    budget[0] -= len(data)
                sink.sendall(data)
        except OSError:
            pass
        for s in (source, sink):
            try:
                s.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
            s.close()

    def close(self):
        self.listener.close()


class KillingProxy:
    """Forwards 127.0.0.1:port to a server's plain-text port; when the server
    answers an APPEND with its UIDs, `victim` (a process) is killed before
    the answer reaches it: the messages are stored, and the client never
    learns so."""

    ANSWER = re.compile(rb"(^|\r\n)m\d+ OK \[APPENDUID ")

    def __init__(self, target_port):
        self.target_port = target_port
        self.victim = None
        self.kills = 0
        self.listener = socket.socket()
        self.listener.bind(("127.0.0.1", 0))
        self.listener.listen(8)
        self.port = self.listener.getsockname()[1]
        threading.Thread(target=self.accept, daemon=True).start()

    def accept(self):
        while True:
            try:
                client, _ = self.listener.accept()
            except OSError:
                return
            server = socket.create_connection(("127.0.0.1", self.target_port))
            threading.Thread(target=self.pump, args=(client, server, False), daemon=True).start()
            threading.Thread(target=self.pump, args=(server, client, True), daemon=True).start()

    def pump(self, source, sink, answers):
        try:
            while True:
                data = source.recv(65536)
                if not data:
                    break
                if answers and self.victim and self.ANSWER.search(data):
                    self.victim.kill()
                    self.kills += 1
                    break
                sink.sendall(data)
        except OSError:
            pass
        for s in (source, sink):
            try:
                s.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
            s.close()

    def close(self):
        self.listener.close()
