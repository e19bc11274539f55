#!/usr/bin/env bash
# Archives at scale: 10 000 small mails (the test corpus repeated) extracted in one call, a
# subfolder per mail, with one job and with two, against munpack (one call, one folder: it
# overwrites files of the same name), on tmpfs and on the disk; the system calls per mail; and
# `extract --list` over a 1 GiB mbox of ordinary mails (a text part and a 5 KB to 400 KB
# attachment each): its rate and peak memory.
#
# Each row runs its commands alternately RUNS times (default 3) and gives the medians; the output
# folder is emptied before each run and the page cache is left warm (the mails are read, not
# the disk's reading speed). Goals (issue 25): on tmpfs, --jobs 2 at most 1.0 x munpack's time and
# at least 1.7 x faster than --jobs 1; the mbox listed at 200 MB/s or more, peak memory under
# 64 MiB.
#
# Usage: bench/scale.sh [BUILD_DIR]
# Environment: RUNS; SHM_DIR (default /dev/shm) and DISK_DIR (default /var/tmp), where the two
# sets of rows work.
set -euo pipefail

build=${1:-build}
root=$(cd "$(dirname "$0")/.." && pwd)
case "$build" in
  /*) ;;
  *) build="$root/$build" ;;
esac
korvani="$build/korvani"
runs=${RUNS:-3}
[ -x "$korvani" ] || { echo "scale.sh: $korvani is missing; build first" >&2; exit 1; }
"$root/scripts/install-deps.sh" mpack time strace python3

corpus=("$root"/tests/data/mail/*.eml)
made=()
trap 'rm -rf "${made[@]}"' EXIT

# median VALUES...
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# timed COMMAND: runs COMMAND in bash; sets $seconds and $peak_kib.
timed() {
  local start end
  start=$(date +%s%N)
  /usr/bin/time -f '%M' -o "$work/.peak" bash -c "$1" > /dev/null 2>&1 || true
  end=$(date +%s%N)
  seconds=$(awk -v s="$start" -v e="$end" 'BEGIN { printf "%.3f", (e - s) / 1e9 }')
  peak_kib=$(tail -n 1 "$work/.peak")
}

rows=()
# scale_rows PLACE FOLDER: the three rows of 10 000 mails in FOLDER.
scale_rows() {
  local place=$1 base=$2
  work=$(mktemp -d "$base/korvani-scale-XXXXXX")
  made+=("$work")
  mkdir "$work/mails"
  local n=0
  while [ "$n" -lt 10000 ]; do
    for mail in "${corpus[@]}"; do
      [ "$n" -lt 10000 ] || break
      cp "$mail" "$work/mails/$n.eml"
      n=$((n + 1))
    done
  done
  local -a one two peer
  for ((run = 0; run < runs; run++)); do
    # Each output folder is removed before the clock starts: only the extraction is timed.
    rm -rf "$work/out"
    timed "'$korvani' extract --jobs 1 -q '$work/mails' -d '$work/out'"
    one+=("$seconds")
    rm -rf "$work/out"
    timed "'$korvani' extract --jobs 2 -q '$work/mails' -d '$work/out'"
    two+=("$seconds")
    # munpack -C changes into the folder before it reads: the mails are named by full paths.
    rm -rf "$work/peer" && mkdir "$work/peer"
    timed "munpack -q -f -C '$work/peer' '$work'/mails/*.eml"
    peer+=("$seconds")
  done
  local files
  files=$(find "$work/out" -type f | wc -l)
  local a b c
  a=$(median "${one[@]}") b=$(median "${two[@]}") c=$(median "${peer[@]}")
  rows+=("$(awk -v p="$place" -v a="$a" -v b="$b" -v c="$c" -v f="$files" 'BEGIN {
    printf "| %s | %.2f s | %.2f s | %.2f s | %.2f | %.2f | %d |", p, a, b, c, b / c, a / b, f }')")
  # The system calls of one job and of two, per mail, on these mails.
  for jobs in 1 2; do
    rm -rf "$work/out"
    strace -c -f -o "$work/.calls" "$korvani" extract --jobs "$jobs" -q "$work/mails" -d "$work/out" \
      > /dev/null 2>&1 || true
    calls[$jobs]=$(awk '$NF == "total" { print $(NF - 2) }' "$work/.calls")
  done
  syscalls+=("$place: $(awk -v a="${calls[1]}" -v b="${calls[2]}" \
    'BEGIN { printf "%.1f per mail with --jobs 1, %.1f with --jobs 2", a / 10000, b / 10000 }')")
  rm -rf "$work"
  echo "  done: $place" >&2
}

declare -a calls syscalls
scale_rows tmpfs "${SHM_DIR:-/dev/shm}"
scale_rows "the disk ($(df -P "${DISK_DIR:-/var/tmp}" | awk 'NR == 2 { print $1 }'))" \
  "${DISK_DIR:-/var/tmp}"

# A 1 GiB mbox of ordinary mails, listed.
work=$(mktemp -d "${SHM_DIR:-/dev/shm}/korvani-scale-XXXXXX")
made+=("$work")
python3 - "$work/box.mbox" <<'EOF'
import base64, random, sys
random.seed(25)
sizes = [20000, 60000, 150000, 400000, 5000, 90000]
total = n = 0
with open(sys.argv[1], "wb") as out:
    while total < 1 << 30:
        data = random.randbytes(sizes[n % len(sizes)])
        mail = (b"From sender@example.com Mon Jun 10 10:00:00 2024\nFrom: a@example.com\n"
                b"Subject: report %d\nMessage-ID: <%d@example.com>\nMIME-Version: 1.0\n"
                b"Content-Type: multipart/mixed; boundary=b\n\n--b\nContent-Type: text/plain\n\n"
                b"The report is attached.\n\n--b\nContent-Type: application/pdf; "
                b"name=\"report-%d.pdf\"\nContent-Transfer-Encoding: base64\n\n" % (n, n, n)
                + base64.encodebytes(data) + b"--b--\n\n")
        out.write(mail)
        total += len(mail)
        n += 1
EOF
bytes=$(stat -c %s "$work/box.mbox")
declare -a list_times list_peaks
for ((run = 0; run < runs; run++)); do
  timed "'$korvani' extract --list '$work/box.mbox'"
  list_times+=("$seconds")
  list_peaks+=("$peak_kib")
done
list_seconds=$(median "${list_times[@]}")
list_peak=$(printf '%s\n' "${list_peaks[@]}" | sort -n | tail -n 1)

cat <<EOF

10 000 small mails (the corpus repeated), one extract call, a subfolder per mail; munpack: one
call, one folder. Medians of $runs alternate runs; $(nproc) cores.

| where | --jobs 1 | --jobs 2 | munpack | --jobs 2 / munpack (goal ≤ 1.0 on tmpfs) | --jobs 1 / --jobs 2 (goal ≥ 1.7 on tmpfs) | files |
|---|---|---|---|---|---|---|
EOF
printf '%s\n' "${rows[@]}"
echo
echo "System calls (strace -c -f, the whole process):"
printf '  %s\n' "${syscalls[@]}"
awk -v b="$bytes" -v s="$list_seconds" -v k="$list_peak" 'BEGIN {
  printf "\nextract --list over a %.0f MiB mbox of ordinary mails: %.2f s, %.0f MB/s (goal ≥ 200), peak %.1f MiB (goal < 64)\n",
    b / 1048576, s, b / 1e6 / s, k / 1024 }'
