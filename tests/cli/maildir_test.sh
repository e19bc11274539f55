#!/usr/bin/env bash
# A Maildir as Dovecot leaves it: index and control files beside cur/, new/ and tmp/, a subfolder
# .Sent with its maildirfolder mark. extract reads cur/ and new/ (and .Sent with -r), never tmp/,
# and says nothing of the mail programs' own files.
# Usage: maildir_test.sh KORVANI CORPUS
set -euo pipefail
korvani=$1
corpus=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

box=$work/Maildir
mkdir -p "$box"/{cur,new,tmp} "$box"/.Sent/{cur,new,tmp} "$box"/.Archive/{cur,new,tmp}
cp "$corpus/gmail.eml" "$box/cur/1700000000.M1P1.host,S=4000:2,S"
cp "$corpus/outlook.eml" "$box/new/1700000001.M2P2.host"
cp "$corpus/iphone.eml" "$box/tmp/1700000002.M3P3.host"        # still being delivered
cp "$corpus/thunderbird.eml" "$box/.Sent/cur/1700000003.M4P4.host:2,S"
printf '3 V1700000000 N2 G0\n' > "$box/dovecot-uidlist"
printf '\x01\x02binary index' > "$box/dovecot.index.log"
printf 'binary' > "$box/dovecot.index.cache"
printf 'Sent\nArchive\n' > "$box/subscriptions"
: > "$box/.Sent/maildirfolder"
: > "$box/.Archive/maildirfolder"
printf '1 V1700000000 N1\n' > "$box/.Sent/dovecot-uidlist"

# Without -r: the inbox only.
"$korvani" extract "$box" -d "$work/out" 2> "$work/err" || fail "exit $?: $(cat "$work/err")"
[ ! -s "$work/err" ] || fail "said something: $(cat "$work/err")"
got=$(cd "$work/out" && find . -type f | LC_ALL=C sort)
want=$(printf '%s\n' "./1700000000.M1P1/見積書_2024.pdf" \
  "./1700000001.M2P2/①本.csv" "./1700000001.M2P2/売上表.xlsx" | LC_ALL=C sort)
[ "$got" = "$want" ] || fail "files without -r:"$'\n'"$got"

# With -r: .Sent too; still nothing from tmp/, no word about the control files.
"$korvani" extract -r "$box" -d "$work/all" 2> "$work/err" || fail "exit $?: $(cat "$work/err")"
[ ! -s "$work/err" ] || fail "said something: $(cat "$work/err")"
[ -f "$work/all/1700000003.M4P4/Účtenka za červen a další věci.odt" ] || fail ".Sent not read"
if find "$work/all" -path '*1700000002*' | grep -q .; then fail "a mail of tmp/ was read"; fi

# The listing names the mails of cur/ and new/ in delivery order, and no other file.
"$korvani" extract --list -r "$box" > "$work/list" || fail "--list exit $?"
mails=$(grep -c '^/.*:$' "$work/list")
[ "$mails" = 3 ] || fail "listed $mails mails:"$'\n'"$(cat "$work/list")"
if grep -q 'dovecot\|subscriptions\|maildirfolder\|1700000002' "$work/list"; then
  fail "listed a control file or a mail of tmp/"
fi
first=$(grep -m1 '^/.*:$' "$work/list")
case $first in */cur/1700000000.M1P1.*) ;; *) fail "first listed: $first" ;; esac

# -v says what it left out: the subfolders without -r.
"$korvani" extract -v "$box" -d "$work/v" > /dev/null 2> "$work/err" || fail "-v exit $?"
grep -q "$box/.Sent: skipped: a subfolder (--recursive reads it)" "$work/err" ||
  fail "-v did not name .Sent: $(cat "$work/err")"
echo "maildir: ok"
