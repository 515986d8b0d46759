"""A Dovecot IMAP server of the test's own: its configuration in a temporary
directory, on loopback, on a free port, stopped with everything it started."""

import email
import email.policy
import grp
import imaplib
import os
import pwd
import re
import signal
import socket
import subprocess
import time
from dataclasses import dataclass
from email.message import EmailMessage

from server_mail import ACCOUNT, PASSWORD, decode_modified_utf7, modified_utf7

START_SECONDS = 10
STOP_SECONDS = 5


class ServerError(Exception):
    pass


def free_port() -> int:
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def process_users():
    """The users Dovecot runs as: the current one; as root, the package's own
    unprivileged users (its login processes refuse root) and nobody as the
    mail owner (it refuses UID 0)."""
    if os.getuid() != 0:
        user = pwd.getpwuid(os.getuid())
        group = grp.getgrgid(os.getgid()).gr_name
        settings = f"default_internal_user = {user.pw_name}\ndefault_internal_group = {group}\n" \
                   f"default_login_user = {user.pw_name}\n"
        return settings, os.getuid(), os.getgid()
    nobody = pwd.getpwnam("nobody")
    return "", nobody.pw_uid, nobody.pw_gid


CONFIG = """\
protocols = imap
listen = 127.0.0.1
base_dir = {root}/run
state_dir = {root}/state
log_path = {root}/dovecot.log
ssl = no
disable_plaintext_auth = no
auth_mechanisms = plain
{users}mail_location = maildir:{root}/mail
passdb {{
  driver = passwd-file
  args = scheme=PLAIN username_format=%u {root}/users
}}
userdb {{
  driver = passwd-file
  args = username_format=%u {root}/users
}}
namespace inbox {{
  inbox = yes
  separator = /
  mailbox Drafts {{
    special_use = \\Drafts
  }}
  mailbox Sent {{
    special_use = \\Sent
  }}
  mailbox Archive {{
    special_use = \\Archive
  }}
}}
service imap-login {{
  chroot =
  inet_listener imap {{
    port = {port}
  }}
  inet_listener imaps {{
    port = 0
  }}
}}
service anvil {{
  chroot =
}}
"""


@dataclass
class Message:
    """A message as the server holds it."""
    subject: str
    flags: frozenset
    parsed: EmailMessage


class Dovecot:
    def __init__(self, program: str, root: str):
        self.root = root
        self.port = free_port()
        self.process = None
        users, uid, gid = process_users()
        for directory in ("run", "state", "mail", "home"):
            os.makedirs(os.path.join(root, directory))
        for owned in ("mail", "home"):
            os.chown(os.path.join(root, owned), uid, gid)
        with open(os.path.join(root, "users"), "w") as users_file:
            users_file.write(f"{ACCOUNT}:{{PLAIN}}{PASSWORD}:{uid}:{gid}::{root}/home\n")
        self.config = os.path.join(root, "dovecot.conf")
        with open(self.config, "w") as config:
            config.write(CONFIG.format(root=root, users=users, port=self.port))
        self.program = program

    def log(self) -> str:
        try:
            with open(os.path.join(self.root, "dovecot.log"), errors="replace") as log:
                return log.read()
        except FileNotFoundError:
            return "(no log)"

    def __enter__(self):
        self.process = subprocess.Popen([self.program, "-F", "-c", self.config], stdin=subprocess.DEVNULL,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.STDOUT,
                                        start_new_session=True)
        deadline = time.monotonic() + START_SECONDS
        while time.monotonic() < deadline:
            if self.process.poll() is not None:
                raise ServerError(f"dovecot exited with status {self.process.returncode}:\n{self.log()}")
            try:
                with socket.create_connection(("127.0.0.1", self.port), timeout=1) as probe:
                    if probe.recv(64).startswith(b"* OK"):
                        return self
            except OSError:
                time.sleep(0.05)
        self.stop()
        raise ServerError(f"dovecot did not greet on port {self.port} within {START_SECONDS} s:\n{self.log()}")

    def __exit__(self, *_):
        self.stop()

    def stop(self):
        if self.process is None or self.process.poll() is not None:
            return
        os.killpg(self.process.pid, signal.SIGTERM)
        try:
            self.process.wait(STOP_SECONDS)
        except subprocess.TimeoutExpired:
            os.killpg(self.process.pid, signal.SIGKILL)
            self.process.wait()

    def session(self) -> "Session":
        return Session(self.port)


class Session:
    """One logged-in IMAP connection; folder names are given decoded."""

    def __init__(self, port: int):
        self.imap = imaplib.IMAP4("127.0.0.1", port, timeout=10)
        self.imap.login(ACCOUNT, PASSWORD)

    def __enter__(self):
        return self

    def __exit__(self, *_):
        try:
            self.imap.logout()
        except (imaplib.IMAP4.error, OSError):
            pass

    def _ok(self, answer, what):
        status, data = answer
        if status != "OK":
            raise ServerError(f"{what}: {status} {data}")
        return data

    @staticmethod
    def _quoted(folder: str) -> str:
        return '"' + modified_utf7(folder) + '"'

    def create(self, folder: str):
        if folder != "INBOX":
            self._ok(self.imap.create(self._quoted(folder)), f"CREATE {folder}")

    def append(self, folder: str, flags, when, data: bytes):
        self._ok(self.imap.append(self._quoted(folder), "(" + " ".join(flags) + ")",
                                  imaplib.Time2Internaldate(when), data), f"APPEND to {folder}")

    def selectable_folders(self) -> set:
        """The server's folders that hold mail, decoded."""
        folders = set()
        for line in self._ok(self.imap.list(), "LIST"):
            match = re.match(rb'\((?P<attributes>[^)]*)\) "(?P<separator>[^"]*)" "?(?P<name>[^"]*)"?$', line)
            if match and b"\\noselect" not in match["attributes"].lower():
                folders.add(decode_modified_utf7(match["name"].decode("ascii")))
        return folders

    def messages(self, folder: str) -> list:
        if self._ok(self.imap.select(self._quoted(folder), readonly=True), f"SELECT {folder}") == [b"0"]:
            return []
        data = self._ok(self.imap.fetch("1:*", "(FLAGS BODY.PEEK[])"), f"FETCH from {folder}")
        messages = []
        for item in data:
            if not isinstance(item, tuple):
                continue
            flags = re.search(rb"FLAGS \(([^)]*)\)", item[0]).group(1).decode().split()
            parsed = email.message_from_bytes(item[1], policy=email.policy.default)
            messages.append(Message(str(parsed["Subject"]), frozenset(flags) - {r"\Recent"}, parsed))
        return messages

