#!/bin/sh
# Runs real_mail_test.py with quillbrook-cli ($1), quillbrook-dev-agent ($2)
# and the mirrors named after them. Exits 77, which ctest counts as skipped,
# where Python 3, Dovecot, mbsync or offlineimap is missing; with
# QUILLBROOK_REQUIRE_REAL_MAIL=1 (CI) a missing one fails the test instead.
case "$0" in
  */*) here=$(cd "${0%/*}" && pwd) ;;
  *) here=$(pwd) ;;
esac
# Dovecot lives in sbin, which a user's PATH may lack.
PATH=$PATH:/usr/sbin:/sbin
export PATH
missing=""
for program in python3 dovecot mbsync offlineimap; do
  command -v "$program" >/dev/null 2>&1 || missing="$missing $program"
done
if [ -n "$missing" ]; then
  reason="missing:$missing (Debian: apt-get install python3 dovecot-imapd isync offlineimap)"
  if [ "${QUILLBROOK_REQUIRE_REAL_MAIL:-}" = 1 ]; then
    echo "FAILED: $reason; QUILLBROOK_REQUIRE_REAL_MAIL=1 says this test must run here"
    exit 1
  fi
  echo "SKIPPED: $reason"
  exit 77
fi
exec python3 -B "$here/real_mail_test.py" "$@"
