#!/usr/bin/env bash
# The README's recipe for several machines, run here with GNU parallel on the local host
# (--sshlogin :, two jobs at a time): the mails cut into shards, one `extract --layout per-file`
# per shard into the same folder, the shards' manifests joined by `manifest-merge`. The result must
# be what one `extract --jobs 1` over all the mails writes: the same files under the same names,
# and the same manifest, byte for byte.
# Usage: shard_test.sh KORVANI CORPUS
set -euo pipefail
korvani=$(realpath "$1")
corpus=$(realpath "$2")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
command -v parallel > /dev/null || fail "GNU parallel is missing (scripts/install-deps.sh)"

# The corpus twice over, in two folders under names of their own (per-file names come from the
# file name alone), and an mbox of some of its mails.
mkdir -p "$work/mail/a" "$work/mail/b"
for mail in "$corpus"/*.eml; do
  name=$(basename "$mail")
  cp "$mail" "$work/mail/a/$name"
  cp "$mail" "$work/mail/b/2-$name"
done
for mail in gmail outlook iphone thunderbird keitai; do
  printf 'From sender@example.com Mon Jun 10 10:00:00 2024\n'
  cat "$corpus/$mail.eml"
  printf '\n'
done > "$work/mail/box.mbox"
cd "$work"
find mail -type f | LC_ALL=C sort > list

# One run over every mail, one job.
status=0
# The corpus's damaged mails are said (and make the exit status 1) in both.
"$korvani" extract --jobs 1 --layout per-file -q -d out --manifest manifest.json $(cat list) \
  2> single.err || status=$?
[ "$status" -le 1 ] || fail "the single run exited $status"
mv out single
mv manifest.json single.json

# The recipe: shards of 9 mails, two at a time, each into the same folder with a manifest of its
# own named after its place in the list ({#}), then joined in that order.
mkdir shards
parallel --will-cite --sshlogin : -j2 -N 9 --halt never \
  "cd '$work' && '$korvani' extract --layout per-file -q -d out --manifest shards/{#}.json {}" \
  :::: list 2> shards.err || [ $? -le 100 ] || fail "parallel failed: $(cat shards.err)"
count=$(ls shards | wc -l)
[ "$count" -ge 4 ] || fail "only $count shards"
"$korvani" manifest-merge manifest.json $(ls shards/*.json | sort -t/ -k2 -n) ||
  fail "manifest-merge exited $?"

diff -r single out > diff.txt || fail "the files differ:"$'\n'"$(head -20 diff.txt)"
cmp single.json manifest.json || fail "the manifests differ:"$'\n'"$(diff single.json manifest.json | head -20)"
[ "$(find out -type f | wc -l)" -gt 50 ] || fail "too few files to tell"

# Two shards that wrote the same file (another -d is as bad) are refused, and nothing is written.
cp shards/1.json again.json
if "$korvani" manifest-merge bad.json shards/1.json again.json 2> err; then
  fail "a file recorded twice was merged"
fi
grep -q "records " err || fail "no word of the file recorded twice: $(cat err)"
[ ! -e bad.json ] || fail "a merged manifest was left behind"
echo "shard: ok"
