#!/usr/bin/env python3
"""The development agent on mail that real tools put on disk: a Dovecot IMAP
server of the test's own is filled over IMAP, mirrored by a sync tool
configured as its user would (mbsync in both its layouts, offlineimap in its
default one), and the agent on each mirror is checked through quillbrook-cli
against what the server holds: folders, subjects, flags, bodies, server drafts
pushed back by the sync tool, and mail that arrives later.

usage: real_mail_test.py QUILLBROOK_CLI QUILLBROOK_DEV_AGENT [MIRROR ...]
Runs the named mirrors (default: all); run.sh decides whether to skip."""

import os
import shutil
import signal
import sys
import tempfile

from agent import Agent
from dovecot import Dovecot
from mirrors import MIRRORS
from server_mail import FOLDERS, LATE_MAIL, MAILS, dated, message_bytes

AGENT_FLAGS = {r"\Seen": "seen", r"\Flagged": "flagged", r"\Draft": "draft", r"\Answered": "answered"}
THREAD_REPLY = next(mail for mail in MAILS if mail.message_id == "<lunch-3@example.org>")
NEW_DRAFT = {"to": "kim@example.org", "subject": "Agenda for Monday", "body": "Three points, see below."}
REPLY_BODY = "See you there."


def fail_if(problems):
    if problems:
        raise AssertionError("\n".join(problems))


def agent_flags(server_flags) -> list:
    return sorted(AGENT_FLAGS[flag] for flag in server_flags if flag in AGENT_FLAGS)


def fill(server):
    with server.session() as imap:
        for folder in FOLDERS:
            imap.create(folder)
        for mail, when in dated(MAILS):
            imap.append(mail.folder, mail.flags, when, message_bytes(mail, when))


def server_truth(server) -> dict:
    """Every folder's messages, as the server has them."""
    with server.session() as imap:
        return {folder: imap.messages(folder) for folder in sorted(imap.selectable_folders())}


def check_mirror_on_disk(mirror, mail_root, truth):
    """The sync tool laid the mirror out as its configuration says, whatever the agent makes of it."""
    problems = []
    for folder, messages in truth.items():
        directory = os.path.join(mail_root, mirror.folder_path(folder))
        if not all(os.path.isdir(os.path.join(directory, part)) for part in ("cur", "new", "tmp")):
            problems.append(f"{folder}: no Maildir at {directory}")
            continue
        count = sum(len(os.listdir(os.path.join(directory, part))) for part in ("cur", "new"))
        if count != len(messages):
            problems.append(f"{folder}: {count} files in {directory}, the server has {len(messages)} messages")
    fail_if(problems)


def check_folders(agent, truth):
    """Every folder under its server name, with the server's counts."""
    folders = agent.folders()
    problems = [f"folders: the agent lists {sorted(folders)}, the server has {sorted(truth)}"] \
        if set(folders) != set(truth) else []
    for name, messages in truth.items():
        if name in folders:
            unread = sum(r"\Seen" not in message.flags for message in messages)
            shown = (folders[name].get("total"), folders[name].get("unread"))
            if shown != (len(messages), unread):
                problems.append(f"{name}: total, unread {shown}, the server has {(len(messages), unread)}")
    fail_if(problems)


def check_subjects_and_flags(agent, truth):
    """The same subjects per folder as the server, each with the server's flags."""
    problems = []
    for folder, messages in truth.items():
        expected = sorted((message.subject, agent_flags(message.flags)) for message in messages)
        shown = sorted((email["subject"], sorted(email["flags"])) for email in agent.emails(folder))
        if shown != expected:
            problems.append(f"{folder}: the agent shows {shown}\n  the server has {expected}")
    fail_if(problems)


def uid_of(agent, folder, subject) -> str:
    uids = [email["uid"] for email in agent.emails(folder) if email["subject"] == subject]
    if len(uids) != 1:
        raise AssertionError(f"{folder}: {len(uids)} messages with the subject {subject!r}")
    return uids[0]


def check_bodies(agent):
    """Each message read whole: body, HTML part, attachment and threading as sent."""
    problems = []
    for mail in MAILS:
        read = agent.cli("read", uid_of(agent, mail.folder, mail.subject), "--folder", mail.folder)
        expected = {
            "body holds the text": mail.body in read["body"].replace("\r\n", "\n"),
            "HTML part": mail.html in read["bodyHTML"],
            "attachment": [attachment["filename"] for attachment in read["attachments"]] ==
                          ([mail.attachment] if mail.attachment else []),
            "In-Reply-To": read["inReplyTo"] == mail.in_reply_to,
            "References": list(read["references"]) == list(mail.references),
        }
        problems += [f"{mail.folder} {mail.subject!r}: {what} wrong in {read}"
                     for what, right in expected.items() if not right]
    fail_if(problems)


def check_server_drafts(agent, mirror, home, server, truth):
    """A new draft and a threaded reply, saved to the server's Drafts through
    the sync tool; the UIDs answered for them still read afterwards."""
    created = agent.cli("draft", "create", "--server", "--to", NEW_DRAFT["to"], "--subject", NEW_DRAFT["subject"],
                        "--body", NEW_DRAFT["body"])
    original = uid_of(agent, THREAD_REPLY.folder, THREAD_REPLY.subject)
    reply = agent.cli("draft", "reply", original, "--folder", THREAD_REPLY.folder, "--body", REPLY_BODY, "--server")
    mirror.sync(home)

    with server.session() as imap:
        drafts = {message.subject: message for message in imap.messages("Drafts")}
        folders_after = imap.selectable_folders()
    problems = [f"the push made new server folders: {sorted(folders_after - set(truth))}"] \
        if folders_after != set(truth) else []
    reply_references = " ".join(THREAD_REPLY.references + (THREAD_REPLY.message_id,))
    expected = {
        created["subject"]: (NEW_DRAFT["body"], None, None),
        reply["subject"]: (REPLY_BODY, THREAD_REPLY.message_id, reply_references),
    }
    if reply["subject"] != THREAD_REPLY.subject:
        problems.append(f"the reply to {THREAD_REPLY.subject!r} is titled {reply['subject']!r}")
    for subject, (body, in_reply_to, references) in expected.items():
        message = drafts.get(subject)
        if message is None:
            problems.append(f"server Drafts: no {subject!r} among {sorted(drafts)}")
            continue
        text = message.parsed.get_body(("plain",)).get_content()
        checks = {
            "body": body in text,
            "In-Reply-To": message.parsed["In-Reply-To"] == in_reply_to,
            "References": (" ".join(str(message.parsed["References"] or "").split()) or None) == references,
            "flags \\Draft \\Seen": {r"\Draft", r"\Seen"} <= message.flags,
        }
        seen = f"flags {sorted(message.flags)}, In-Reply-To {message.parsed['In-Reply-To']}, " \
               f"References {message.parsed['References']}, body {text!r}"
        problems += [f"server Drafts {subject!r}: {what} wrong; it has {seen}"
                     for what, right in checks.items() if not right]

    for answer in (created, reply):
        try:
            read = agent.cli("read", answer["uid"], "--folder", answer["folder"])
            if read["subject"] != answer["subject"]:
                problems.append(f"UID {answer['uid']} now reads {read['subject']!r}, not {answer['subject']!r}")
        except AssertionError as error:
            problems.append(f"the draft's UID {answer['uid']} after the sync: {error}")
    fail_if(problems)


def check_new_mail(agent, mirror, home, server):
    """Mail delivered to the server after the first sync shows on the next fetch."""
    (mail, when), = dated([LATE_MAIL])
    with server.session() as imap:
        imap.append(mail.folder, mail.flags, when, message_bytes(mail, when))
    mirror.sync(home)
    subjects = [email["subject"] for email in agent.emails(mail.folder)]
    fail_if([] if mail.subject in subjects else [f"{mail.folder}: {mail.subject!r} missing from {subjects}"])


def check_subjects_and_flags_now(agent, server):
    """Nothing lost or doubled by the sync tool's renames of uploaded drafts."""
    check_subjects_and_flags(agent, server_truth(server))


def run_mirror(mirror, programs, root) -> list:
    """Every step on one mirror, each step's outcome. The mirror's steps stop
    at the first that fails; the agent's run whatever the one before found."""
    outcomes = []

    def step(name, check, *args):
        try:
            check(*args)
            outcomes.append((name, None))
            return True
        except AssertionError as error:
            outcomes.append((name, str(error)))
            return False

    home = os.path.join(root, "user")
    mail_root = os.path.join(home, "Mail")
    # Made by hand, as every guide to these tools says: mbsync does not create it.
    os.makedirs(mail_root, mode=0o700)
    with Dovecot(programs["dovecot"], os.path.join(root, "server")) as server:
        fill(server)
        mirror.write_config(home, server.port)
        if not step("first sync", mirror.sync, home):
            return outcomes
        truth = server_truth(server)
        if not step("mirror on disk", check_mirror_on_disk, mirror, mail_root, truth):
            return outcomes
        with Agent(programs["agent"], programs["cli"], os.path.join(root, "agent"), mail_root) as agent:
            if not step("agent starts", agent.start):
                return outcomes
            for name, check, *args in (
                    ("folders", check_folders, agent, truth),
                    ("subjects and flags", check_subjects_and_flags, agent, truth),
                    ("bodies", check_bodies, agent),
                    ("server drafts", check_server_drafts, agent, mirror, home, server, truth),
                    ("new mail", check_new_mail, agent, mirror, home, server),
                    ("every folder after the syncs", check_subjects_and_flags_now, agent, server),
                    ("agent stops cleanly", agent.stop_cleanly)):
                step(name, check, *args)
    return outcomes


def main(argv) -> int:
    if len(argv) < 3:
        print(__doc__, file=sys.stderr)
        return 2
    programs = {"cli": argv[1], "agent": argv[2], "dovecot": shutil.which("dovecot") or "/usr/sbin/dovecot"}
    chosen = argv[3:] or [mirror.name for mirror in MIRRORS]
    unknown = set(chosen) - {mirror.name for mirror in MIRRORS}
    if unknown:
        print(f"unknown mirror {sorted(unknown)}; known: {[mirror.name for mirror in MIRRORS]}", file=sys.stderr)
        return 2
    # Stopped by SIGTERM (a timeout, a cancelled run), it still stops what it started and removes its files.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    passed = failed = 0
    for mirror in MIRRORS:
        if mirror.name not in chosen:
            continue
        root = tempfile.mkdtemp(prefix=f"quillbrook-real-mail-{mirror.name}-")
        try:
            # Dovecot's unprivileged processes must reach its directories.
            os.chmod(root, 0o755)
            for name, error in run_mirror(mirror, programs, root):
                print(f"{'ok' if error is None else 'FAILED'}: {mirror.name}: {name}")
                if error is not None:
                    print("  " + error.replace("\n", "\n  "))
                passed += error is None
                failed += error is not None
        finally:
            shutil.rmtree(root, ignore_errors=True)
    print(f"{passed} of {passed + failed} steps passed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
