"""Reads mailboxes with Thunderbird, headless: a fresh profile whose Local
Folders are a copy of the output, driven over Marionette on 127.0.0.1. For
every folder Thunderbird builds its message database from the mbox file;
each message it lists is then read back through Thunderbird's own mbox
reader, and Python parses the header fields of what it returns."""
import json
import os
import shutil
import socket
import subprocess
import tempfile
import time

STARTUP_SECONDS = 90

PREFS = """
user_pref("mail.account.account1.server", "server1");
user_pref("mail.accountmanager.accounts", "account1");
user_pref("mail.accountmanager.localfoldersserver", "server1");
user_pref("mail.server.server1.directory", {directory});
user_pref("mail.server.server1.hostname", "Local Folders");
user_pref("mail.server.server1.name", "Local Folders");
user_pref("mail.server.server1.type", "none");
user_pref("mail.server.server1.userName", "nobody");
user_pref("marionette.port", {port});
user_pref("mail.shell.checkDefaultClient", false);
user_pref("mail.provider.suppress_dialog_on_startup", true);
user_pref("mail.spotlight.firstRunDone", true);
user_pref("mailnews.start_page.enabled", false);
user_pref("app.update.disabledForTesting", true);
user_pref("datareporting.policy.dataSubmissionEnabled", false);
user_pref("toolkit.telemetry.reportingpolicy.firstRun", false);
user_pref("extensions.autoDisableScopes", 15);
user_pref("network.dns.disabled", true);
"""

# Runs in Thunderbird's chrome: parses every local folder and returns, per
# mbox file, the start of each message as Thunderbird reads it (a binary
# string: one character a byte).
SCRIPT = r"""
const resolve = arguments[arguments.length - 1];
const { MailServices } = ChromeUtils.importESModule(
  "resource:///modules/MailServices.sys.mjs");
// Enough for the longest header block of the corpus (a 180 KB Subject).
const HEAD_BYTES = 8 << 20;

function parsed(folder) {
  return new Promise((done, failed) => {
    const listener = {
      OnStartRunningUrl() {},
      OnStopRunningUrl(url, status) {
        status == 0 ? done(folder.msgDatabase) : failed(new Error("parse " + status));
      },
      QueryInterface: ChromeUtils.generateQI(["nsIUrlListener"]),
    };
    try {
      const local = folder.QueryInterface(Ci.nsIMsgLocalMailFolder);
      const db = local.getDatabaseWithReparse(listener, null);
      if (db) {
        done(db);
      }
    } catch (e) {
      if (e.result != Cr.NS_ERROR_NOT_INITIALIZED) {
        failed(e);
      }
    }
  });
}

function head(folder, hdr) {
  let stream;
  try {
    stream = folder.getMsgInputStream(hdr, {});
  } catch (e) {
    stream = folder.getMsgInputStream(hdr);
  }
  const binary = Cc["@mozilla.org/binaryinputstream;1"]
    .createInstance(Ci.nsIBinaryInputStream);
  binary.setInputStream(stream);
  let bytes = "";
  try {
    // The header block, up to the empty line that ends it.
    while (bytes.length < HEAD_BYTES && !/\r?\n\r?\n/.test(bytes)) {
      const available = binary.available();
      if (!available) {
        break;
      }
      bytes += binary.readBytes(Math.min(available, 65536));
    }
  } finally {
    stream.close();
  }
  return bytes;
}

(async () => {
  const root = MailServices.accounts.localFoldersServer.rootFolder;
  const result = {};
  for (const folder of root.descendants) {
    const db = await parsed(folder);
    const messages = [];
    for (const hdr of db.enumerateMessages()) {
      messages.push(head(folder, hdr));
    }
    result[folder.filePath.path] = messages;
  }
  return result;
})().then(resolve, e => resolve({ error: String(e) + " " + (e.stack || "") }));
"""


class Marionette:
    """Just enough of the Marionette protocol: length-prefixed JSON."""

    def __init__(self, port):
        deadline = time.time() + STARTUP_SECONDS
        while True:
            try:
                self.sock = socket.create_connection(("127.0.0.1", port), timeout=5)
                break
            except OSError:
                if time.time() > deadline:
                    raise
                time.sleep(0.5)
        self.sock.settimeout(STARTUP_SECONDS)
        self.buffer = b""
        self.next_id = 0
        self.receive()  # the server's greeting

    def receive(self):
        while b":" not in self.buffer:
            self.buffer += self.recv()
        length, _, rest = self.buffer.partition(b":")
        while len(rest) < int(length):
            rest += self.recv()
        self.buffer = rest[int(length):]
        return json.loads(rest[:int(length)])

    def recv(self):
        data = self.sock.recv(1 << 20)
        if not data:
            raise ConnectionError("Marionette closed the connection")
        return data

    def call(self, name, params):
        self.next_id += 1
        body = json.dumps([0, self.next_id, name, params]).encode()
        self.sock.sendall(str(len(body)).encode() + b":" + body)
        while True:
            reply = self.receive()
            if reply[0] == 1 and reply[1] == self.next_id:
                if reply[2]:
                    raise RuntimeError(f"{name}: {reply[2]}")
                return reply[3]


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def read(boxes, _work):
    """{mailbox: [start of each message]} for the mbox files `boxes`, which
    lie in one tree as the thunderbird target writes it."""
    from messages import fields_of
    work = tempfile.mkdtemp(prefix="marrowgate-thunderbird-")
    try:
        top = os.path.commonpath([os.path.dirname(b) for b in boxes])
        local = os.path.join(work, "Local Folders")
        copies = {}
        for box in boxes:
            copy = os.path.join(local, os.path.relpath(box, top))
            os.makedirs(os.path.dirname(copy), exist_ok=True)
            shutil.copyfile(box, copy)
            copies[copy] = box
        profile = os.path.join(work, "profile")
        os.makedirs(profile)
        port = free_port()
        with open(os.path.join(profile, "user.js"), "w") as f:
            f.write(PREFS.format(directory=json.dumps(local), port=port))
        env = dict(os.environ, MOZ_HEADLESS="1", HOME=work, TZ="UTC")
        process = subprocess.Popen(
            ["thunderbird", "--headless", "--marionette", "-remote-allow-system-access",
             "--no-remote", "--profile", profile],
            env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            client = Marionette(port)
            client.call("WebDriver:NewSession", {"capabilities": {}})
            client.call("Marionette:SetContext", {"value": "chrome"})
            client.call("WebDriver:SetTimeouts", {"script": 300000})
            found = client.call("WebDriver:ExecuteAsyncScript",
                                {"script": SCRIPT, "args": []})["value"]
            if "error" in found:
                raise RuntimeError("Thunderbird: " + found["error"])
            try:
                client.call("Marionette:Quit", {"flags": ["eForceQuit"]})
            except (ConnectionError, RuntimeError, OSError):
                pass
        finally:
            try:
                process.wait(timeout=20)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
        got = {box: [] for box in boxes}
        for path, messages in found.items():
            if path in copies:
                got[copies[path]] = [fields_of(m.encode("latin-1")) for m in messages]
        return got
    finally:
        shutil.rmtree(work, ignore_errors=True)
