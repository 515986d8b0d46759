"""The three local mirrors of the account: each sync tool configured as its
user would, in the user's home, and where each puts a server folder on disk."""

import os
import subprocess
from dataclasses import dataclass
from typing import Callable

from server_mail import ACCOUNT, PASSWORD, modified_utf7

SYNC_SECONDS = 60

MBSYNC_ACCOUNT = """\
IMAPAccount example
Host 127.0.0.1
Port {port}
User {account}
Pass "{password}"
SSLType None
AuthMechs PLAIN

IMAPStore example-remote
Account example

"""

MBSYNC_CHANNEL = """
Channel example
Far :example-remote:
Near :example-local:
Patterns *
Create Both
SyncState *
"""

# SubFolders Maildir++: INBOX is the root, every other folder a dotted .Name in it.
MBSYNC_MAILDIRPP = MBSYNC_ACCOUNT + """\
MaildirStore example-local
Inbox ~/Mail/
SubFolders Maildir++
""" + MBSYNC_CHANNEL

# SubFolders Verbatim: a directory per folder, INBOX one of them.
MBSYNC_VERBATIM = MBSYNC_ACCOUNT + """\
MaildirStore example-local
Path ~/Mail/
Inbox ~/Mail/INBOX
SubFolders Verbatim
""" + MBSYNC_CHANNEL

# offlineimap's defaults: a directory per folder, nested names joined with ".".
OFFLINEIMAPRC = """\
[general]
accounts = example

[Account example]
localrepository = example-local
remoterepository = example-remote

[Repository example-local]
type = Maildir
localfolders = ~/Mail

[Repository example-remote]
type = IMAP
remotehost = 127.0.0.1
remoteport = {port}
remoteuser = {account}
remotepass = {password}
ssl = no
"""


def maildirpp_path(folder: str) -> str:
    return "" if folder == "INBOX" else "." + modified_utf7(folder).replace("/", ".")


def verbatim_path(folder: str) -> str:
    return modified_utf7(folder)


def dotted_path(folder: str) -> str:
    return modified_utf7(folder).replace("/", ".")


@dataclass(frozen=True)
class Mirror:
    name: str
    config_name: str  # in the user's home
    config: str
    command: tuple  # run in the user's home; {config} is the configuration's path
    folder_path: Callable[[str], str]  # a server folder's directory under ~/Mail

    def write_config(self, home: str, port: int) -> str:
        path = os.path.join(home, self.config_name)
        with open(path, "w") as config:
            config.write(self.config.format(port=port, account=ACCOUNT, password=PASSWORD))
        os.chmod(path, 0o600)
        return path

    def sync(self, home: str):
        """Runs the sync tool both ways once, as its user would."""
        config = os.path.join(home, self.config_name)
        environment = {"HOME": home, "PATH": os.environ.get("PATH", "/usr/bin:/bin"), "LANG": "C.UTF-8"}
        try:
            done = subprocess.run([part.format(config=config) for part in self.command], cwd=home, env=environment,
                                  stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=SYNC_SECONDS)
        except subprocess.TimeoutExpired:
            raise AssertionError(f"{self.command[0]} did not finish within {SYNC_SECONDS} s")
        if done.returncode != 0:
            raise AssertionError(f"{self.command[0]} failed with status {done.returncode}:\n"
                                 f"{done.stdout}{done.stderr}")


MIRRORS = (
    Mirror("mbsync_maildirpp", ".mbsyncrc", MBSYNC_MAILDIRPP, ("mbsync", "-q", "-c", "{config}", "-a"),
           maildirpp_path),
    Mirror("mbsync_verbatim", ".mbsyncrc", MBSYNC_VERBATIM, ("mbsync", "-q", "-c", "{config}", "-a"),
           verbatim_path),
    Mirror("offlineimap", ".offlineimaprc", OFFLINEIMAPRC, ("offlineimap", "-c", "{config}", "-o", "-u", "quiet"),
           dotted_path),
)
