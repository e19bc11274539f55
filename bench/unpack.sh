#!/usr/bin/env bash
# Time and peak memory of `korvani extract --unpack` on a mail whose attachment is a 100 MiB ZIP,
# against `bsdtar -xf` on the same ZIP. The goals: at most 1.2 times bsdtar's time, and a peak
# resident set under 64 MiB. The ZIP holds 38 files of 2.5 MiB of random bytes (stored, as a ZIP
# tool leaves what does not compress) and 4 files of 10 MiB of Japanese text (deflated).
#
# Each command runs RUNS times (default 5), alternately, each into a fresh folder, under
# /usr/bin/time; the medians of wall time and the largest peak resident set are shown. The
# extract time includes what bsdtar does not do: reading the mail, decoding its Base64 and
# writing the ZIP itself beside its folder; the first row, extract without --unpack, is that
# part alone.
#
# Usage: bench/unpack.sh [BUILD_DIR]   Environment: RUNS; BENCH_DIR, the folder to work in
# (default /dev/shm when it has room, else TMPDIR or /tmp).
# Not a test: nothing here fails on a figure.
set -euo pipefail

build=${1:-build}
root=$(cd "$(dirname "$0")/.." && pwd)
case "$build" in
  /*) ;;
  *) build="$root/$build" ;;
esac
korvani=$build/korvani
runs=${RUNS:-5}
command -v bsdtar >/dev/null || { echo "bsdtar is not installed (Debian: libarchive-tools)" >&2; exit 1; }
base=${BENCH_DIR:-}
if [ -z "$base" ]; then
  base=${TMPDIR:-/tmp}
  [ "$(df -Pk /dev/shm 2>/dev/null | awk 'NR==2 {print $4}')" -gt 1000000 ] 2>/dev/null && base=/dev/shm
fi
work=$(mktemp -d "$base/korvani-unpack.XXXXXX")
trap 'rm -rf "$work"' EXIT

python3 - "$work" <<'PYTHON'
import base64, os, random, sys, zipfile
work = sys.argv[1]
random.seed(7)
line = "見積書の送付について、ご確認のほどよろしくお願いいたします。第%d項\n"
with zipfile.ZipFile(os.path.join(work, "archive.zip"), "w") as archive:
    for i in range(38):
        data = random.randbytes(5 << 19)
        archive.writestr(zipfile.ZipInfo("資料/random%02d.bin" % i), data, zipfile.ZIP_STORED)
    for i in range(4):
        text = "".join(line % (n * 7919 % 100003) for n in range(10 << 20 // 90)).encode()
        archive.writestr(zipfile.ZipInfo("資料/text%02d.txt" % i), text[:10 << 20],
                         zipfile.ZIP_DEFLATED)
data = open(os.path.join(work, "archive.zip"), "rb").read()
with open(os.path.join(work, "mail.eml"), "wb") as mail:
    mail.write(b"From: a@example.com\nSubject: zip\nMIME-Version: 1.0\n"
               b"Content-Type: multipart/mixed; boundary=b\n\n--b\nContent-Type: text/plain\n\nhi\n"
               b"--b\nContent-Type: application/zip\nContent-Transfer-Encoding: base64\n"
               b"Content-Disposition: attachment; filename=archive.zip\n\n")
    mail.write(base64.encodebytes(data))
    mail.write(b"--b--\n")
PYTHON

# median of the numbers on standard input
median() { sort -n | awk '{v[NR]=$1} END {print (NR%2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}'; }

: >"$work/plain.times"
: >"$work/korvani.times"
: >"$work/bsdtar.times"
for run in $(seq "$runs"); do
  rm -rf "$work/out" "$work/tar" "$work/plain"
  mkdir "$work/tar"
  /usr/bin/time -f "%e %M" -o "$work/t" "$korvani" extract -q -d "$work/plain" "$work/mail.eml"
  cat "$work/t" >>"$work/plain.times"
  /usr/bin/time -f "%e %M" -o "$work/t" "$korvani" extract -q --unpack -d "$work/out" "$work/mail.eml"
  cat "$work/t" >>"$work/korvani.times"
  /usr/bin/time -f "%e %M" -o "$work/t" bsdtar -xf "$work/archive.zip" -C "$work/tar"
  cat "$work/t" >>"$work/bsdtar.times"
done
diff -r "$work/tar/資料" "$work/out/archive/資料" >/dev/null || echo "the unpacked files differ!" >&2

size=$(stat -c %s "$work/archive.zip")
plain=$(cut -d' ' -f1 "$work/plain.times" | median)
plain_kb=$(cut -d' ' -f2 "$work/plain.times" | sort -n | tail -1)
ours=$(cut -d' ' -f1 "$work/korvani.times" | median)
theirs=$(cut -d' ' -f1 "$work/bsdtar.times" | median)
ours_kb=$(cut -d' ' -f2 "$work/korvani.times" | sort -n | tail -1)
theirs_kb=$(cut -d' ' -f2 "$work/bsdtar.times" | sort -n | tail -1)
printf 'ZIP of %d MiB, %d runs, in %s\n' $((size >> 20)) "$runs" "$base"
printf '%-28s %8s %10s\n' "" "time s" "peak MiB"
printf '%-28s %8s %10d\n' "korvani extract" "$plain" $((plain_kb / 1024))
printf '%-28s %8s %10d\n' "korvani extract --unpack" "$ours" $((ours_kb / 1024))
printf '%-28s %8s %10d\n' "bsdtar -xf" "$theirs" $((theirs_kb / 1024))
awk -v a="$ours" -v b="$theirs" 'BEGIN {printf "ratio %.2f (goal <= 1.2)\n", a / b}'
