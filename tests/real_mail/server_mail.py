"""The mailbox the server is filled with: its folders and its messages, as a table."""

import base64
import email.utils
import re
from dataclasses import dataclass
from datetime import datetime, timedelta, timezone
from email.header import Header
from email.mime.application import MIMEApplication
from email.mime.multipart import MIMEMultipart
from email.mime.text import MIMEText

ACCOUNT = "user@example.com"
PASSWORD = "correct horse battery staple"

# Server names, with the server's separator "/". The parents Lists and Reisen
# exist only as part of these names.
FOLDERS = ("INBOX", "Archive", "Sent", "Drafts", "Lists/Rust", "Reisen/Übersicht")


@dataclass(frozen=True)
class Mail:
    folder: str
    subject: str
    body: str
    sender: str = "Jonas Berg <jonas@example.org>"
    flags: tuple = ()
    html: str = ""
    attachment: str = ""  # file name of a small PDF attached
    subject_charset: str = "utf-8"
    message_id: str = ""
    in_reply_to: str = ""
    references: tuple = ()


MAILS = (
    Mail("INBOX", "Lunch on Thursday?", "Are you free for lunch on Thursday?\nThe ramen place opened.",
         flags=(r"\Seen",), message_id="<lunch-1@example.org>"),
    Mail("INBOX", "Re: Lunch on Thursday?", "12:15 it is.\n\n> Thursday works for me.",
         message_id="<lunch-3@example.org>", in_reply_to="<lunch-2@example.org>",
         references=("<lunch-1@example.org>", "<lunch-2@example.org>")),
    Mail("INBOX", "Wöchentliche Übersicht — Büro", "Plain part of the weekly letter.",
         sender="Bluefern Weekly <weekly@example.org>", flags=(r"\Flagged",),
         html="<p>The <b>spring offsite</b> is booked.</p>"),
    Mail("INBOX", "Invoice March", "The invoice is attached.", sender="Billing <billing@example.org>",
         attachment="invoice-march.pdf"),
    Mail("Archive", "Café meeting notes", "Notes from the café.", subject_charset="iso-8859-1",
         flags=(r"\Seen", r"\Flagged")),
    Mail("Archive", "Quarterly report", "Numbers are up.", flags=(r"\Seen",)),
    Mail("Sent", "Re: Lunch on Thursday?", "Thursday works for me.", sender=f"User <{ACCOUNT}>",
         flags=(r"\Seen",), message_id="<lunch-2@example.org>", in_reply_to="<lunch-1@example.org>",
         references=("<lunch-1@example.org>",)),
    Mail("Drafts", "Unfinished thoughts", "Half a sentence", sender=f"User <{ACCOUNT}>",
         flags=(r"\Seen", r"\Draft")),
    Mail("Lists/Rust", "[rust] Borrow checker question", "Why does this not compile?",
         sender="Alice <alice@example.net>", message_id="<borrow-1@example.net>"),
    Mail("Lists/Rust", "[rust] Re: Borrow checker question", "Because the reference outlives the value.",
         sender="Bob <bob@example.net>", flags=(r"\Seen",), message_id="<borrow-2@example.net>",
         in_reply_to="<borrow-1@example.net>", references=("<borrow-1@example.net>",)),
    Mail("Reisen/Übersicht", "Zugtickets nach München", "Abfahrt 08:30, Gleis 4.",
         sender="Bahn <tickets@example.de>", subject_charset="iso-8859-1", flags=(r"\Flagged",),
         attachment="ticket.pdf"),
    Mail("Reisen/Übersicht", "Hotel booking", "Two nights, breakfast included.", sender="Hotel <desk@example.de>"),
)

# Delivered over IMAP after the first sync; must show on the next fetch.
LATE_MAIL = Mail("INBOX", "Late news", "This arrived after the first sync.", sender="Kim <kim@example.org>")


def message_bytes(mail: Mail, when: datetime) -> bytes:
    text = MIMEText(mail.body, "plain", "utf-8")
    if mail.html:
        text = MIMEMultipart("alternative", _subparts=[text, MIMEText(mail.html, "html", "utf-8")])
    message = text
    if mail.attachment:
        pdf = MIMEApplication(b"%PDF-1.4\n% a small attachment\n", "pdf")
        pdf.add_header("Content-Disposition", "attachment", filename=mail.attachment)
        message = MIMEMultipart("mixed", _subparts=[text, pdf])
    message["From"] = mail.sender
    message["To"] = f"User <{ACCOUNT}>"
    message["Subject"] = Header(mail.subject, mail.subject_charset)
    message["Date"] = email.utils.format_datetime(when)
    message["Message-ID"] = mail.message_id or email.utils.make_msgid(domain="example.org")
    if mail.in_reply_to:
        message["In-Reply-To"] = mail.in_reply_to
    if mail.references:
        message["References"] = " ".join(mail.references)
    return message.as_bytes()  # imaplib sends it with CRLF line ends


def dated(mails):
    """Each mail with its date: an hour apart, the first the oldest, all recent."""
    now = datetime.now(timezone.utc).replace(microsecond=0)
    return [(mail, now - timedelta(hours=len(mails) - index)) for index, mail in enumerate(mails)]


def modified_utf7(name: str) -> str:
    """A mailbox name as IMAP sends it (RFC 3501, 5.1.3); Python's imaplib leaves this to its caller."""
    out, pending = [], []

    def flush():
        if pending:
            encoded = base64.b64encode("".join(pending).encode("utf-16-be")).rstrip(b"=").replace(b"/", b",")
            out.append("&" + encoded.decode("ascii") + "-")
            pending.clear()

    for char in name:
        if 0x20 <= ord(char) <= 0x7E:
            flush()
            out.append("&-" if char == "&" else char)
        else:
            pending.append(char)
    flush()
    return "".join(out)


def decode_modified_utf7(name: str) -> str:
    def decode(match):
        if not match[1]:
            return "&"
        encoded = match[1].replace(",", "/")
        return base64.b64decode(encoded + "=" * (-len(encoded) % 4)).decode("utf-16-be")

    return re.sub(r"&([^-]*)-", decode, name)
