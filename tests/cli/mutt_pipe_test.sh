#!/bin/bash
# A mail handed to `korvani read -` and `korvani extract -` the ways a mail program and a shell
# hand it over: mutt's pipe-message (the raw message on standard input), a display filter (the
# message as the mail program shows it, already decoded), /dev/stdin, process substitution, a
# FIFO, and a message too large to be held in memory. Each must read exactly as the same mail
# read from its file.
#
# Usage: mutt_pipe_test.sh KORVANI MAIL_CORPUS
set -u
korvani=$1
corpus=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/korvani-pipe.XXXXXX") || exit 1
trap 'rm -rf "$work"' EXIT
failures=0

fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# same NAME EXPECTED-FILE ACTUAL-FILE STATUS: the reading is the file's, and the exit status 0.
same() {
  [ "$4" -eq 0 ] || fail "$1: exit status $4"
  cmp -s "$2" "$3" || fail "$1: the reading differs from the file's"
}

mail=$corpus/gmail.eml
"$korvani" read "$mail" >"$work/expected" || fail "read FILE"
grep -q 'お見積り' "$work/expected" || fail "the test mail reads without its Japanese subject"

# mutt: macro index,pager … "<pipe-message>korvani read - | less<enter>"
cat "$mail" | "$korvani" read - >"$work/out"
same "pipe-message" "$work/expected" "$work/out" "$?"

"$korvani" read - <"$mail" >"$work/out"
same "- from a redirected file" "$work/expected" "$work/out" "$?"

cat "$mail" | "$korvani" read /dev/stdin >"$work/out"
same "/dev/stdin from a pipe" "$work/expected" "$work/out" "$?"

"$korvani" read <(cat "$mail") >"$work/out"
same "process substitution" "$work/expected" "$work/out" "$?"

mkfifo "$work/fifo"
cat "$mail" >"$work/fifo" &
"$korvani" read "$work/fifo" >"$work/out"
same "FIFO" "$work/expected" "$work/out" "$?"
wait

# A display filter gets the message as the mail program shows it: decoded, headers first.
# Reading it again changes nothing.
"$korvani" read - <"$work/expected" >"$work/out"
same "display filter" "$work/expected" "$work/out" "$?"

# An mbox on standard input is split into its messages, each headed as "standard input#N".
mbox=$corpus/archive.mbox
"$korvani" read "$mbox" | sed "s|^==> $mbox#|==> standard input#|" >"$work/expected-mbox"
cat "$mbox" | "$korvani" read - >"$work/out"
same "mbox through a pipe" "$work/expected-mbox" "$work/out" "$?"
grep -q '^==> standard input#3 <==$' "$work/out" || fail "mbox through a pipe: no third heading"

# A message larger than what a stream may hold in memory goes on into a temporary file.
head -c 7000000 /dev/urandom >"$work/big.bin"
{
  printf 'From: =?UTF-8?B?5bGx55Sw5aSq6YOO?= <taro@example.jp>\n'
  printf 'Subject: =?ISO-2022-JP?B?GyRCQmdOTBsoQg==?=\n'
  printf 'MIME-Version: 1.0\nContent-Type: multipart/mixed; boundary=b\n\n'
  printf -- '--b\nContent-Type: text/plain; charset=UTF-8\n\n大きな添付です。\n'
  printf -- '--b\nContent-Type: application/octet-stream; name=big.bin\n'
  printf 'Content-Transfer-Encoding: base64\n\n'
  base64 <"$work/big.bin"
  printf -- '--b--\n'
} >"$work/big.eml"
[ "$(stat -c %s "$work/big.eml")" -gt $((8 << 20)) ] || fail "the large mail is not larger than 8 MiB"
"$korvani" read "$work/big.eml" >"$work/expected-big" || fail "read the large FILE"
cat "$work/big.eml" | "$korvani" read - >"$work/out"
same "a large mail through a pipe" "$work/expected-big" "$work/out" "$?"
grep -q '大きな添付です' "$work/out" || fail "a large mail through a pipe: its text is missing"

# extract from a pipe writes the attachments, whole.
cat "$work/big.eml" | "$korvani" extract -d "$work/big" -
[ "$?" -eq 0 ] || fail "extract of a large mail from a pipe: exit status"
cmp -s "$work/big.bin" "$work/big/big.bin" || fail "extract of a large mail from a pipe: big.bin"
cat "$mail" | "$korvani" extract -d "$work/small" -
[ "$?" -eq 0 ] || fail "extract from a pipe: exit status"
for expected in "$corpus/expected/gmail"/*; do
  cmp -s "$expected" "$work/small/${expected##*/}" || fail "extract from a pipe: ${expected##*/}"
done

[ "$failures" -eq 0 ] || exit 1
echo "all pipes read as files"
