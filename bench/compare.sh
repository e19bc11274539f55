#!/usr/bin/env bash
# Whole-program speed and memory of korvani's four modes against peer tools, in one table.
#
# Prepares its data in a temporary folder (a 64 MiB random file and the mail binary-encode makes
# of it; 32 MiB of Japanese prose in ISO-2022-JP, UTF-8 and EUC-JP, and the UTF-8 prose in
# Base64; 32 MiB mails with quoted-printable and with Base64 text parts and encoded words in
# their headers), then runs each of our conversions and its peers alternately RUNS times
# (default 5) and prints, per row: the medians, the time ratio korvani / peer, korvani's peak
# resident set as a multiple of the input, and the memory-bandwidth limit: a memcpy of the
# larger of input and output, into a newly obtained block and again into warm memory, measured
# in the same run; and the floor of the in-memory design, a process that reads the input into a
# new block, fills a second one of the output's size by memcpy and writes it, run alternately
# with the others. Last, the whole-process time of a 1 KiB mail, start-up included.
#
# Peers: base64 -w 60 and mpack (binary-encode); base64 -d and munpack (binary-decode);
# nkf -s -m (mail-decode); base64 -d | iconv -f UTF-8 -t CP932 and nkf -s (text-decode).
# Missing ones (and /usr/bin/time, hyperfine) are installed from Debian when run as root;
# otherwise the apt-get line to run is printed.
#
# Usage: bench/compare.sh [BUILD_DIR]   (make bench passes its build folder)
# Environment: RUNS (default 5); BENCH_DIR, the folder to make the temporary folder in (default
# /dev/shm when it has room, so that the disk's write-back does not disturb the figures, else
# TMPDIR or /tmp).
set -euo pipefail

build=${1:-build}
root=$(cd "$(dirname "$0")/.." && pwd)
case "$build" in
  /*) ;;
  *) build="$root/$build" ;;
esac
korvani="$build/korvani"
data_maker="$build/bench/korvani_bench_data"
memcpy_limit="$build/bench/korvani_memcpy_limit"
io_floor="$build/bench/korvani_io_floor"
runs=${RUNS:-5}

for tool in "$korvani" "$data_maker" "$memcpy_limit" "$io_floor"; do
  if [ ! -x "$tool" ]; then
    echo "compare.sh: $tool is missing; build first (make build)" >&2
    exit 1
  fi
done

# Debian packages of the peers and of the measuring tools, installed only when missing.
"$root/scripts/install-deps.sh" nkf mpack ripmime time hyperfine libc-bin coreutils

mib=1048576
if [ -z "${BENCH_DIR:-}" ]; then
  BENCH_DIR=${TMPDIR:-/tmp}
  if [ -d /dev/shm ] && [ -w /dev/shm ] &&
     [ "$(df -Pk /dev/shm | awk 'NR == 2 { print $4 }')" -gt $((2 * 1024 * 1024)) ]; then
    BENCH_DIR=/dev/shm
  fi
fi
work=$(mktemp -d "$BENCH_DIR/korvani-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT

# --- data ---------------------------------------------------------------------------------------
echo "Preparing the data in $work" >&2
"$data_maker" random $((64 * mib)) > "$work/random.bin"
"$korvani" binary-encode "$work/random.bin" -o "$work/random.eml"
base64 -w 60 "$work/random.bin" > "$work/random.b64"
if [ -z "${ONLY_MAIL:-}" ]; then
  "$data_maker" text iso-2022-jp $((32 * mib)) > "$work/prose.jis"
  "$data_maker" text utf-8 $((32 * mib)) > "$work/prose.utf8"
  "$data_maker" text euc-jp $((32 * mib)) > "$work/prose.euc"
  base64 -w 76 "$work/prose.utf8" > "$work/prose.utf8.b64"
  "$data_maker" mail quoted-printable $((32 * mib)) > "$work/mail-qp.eml"
  "$data_maker" mail base64 $((32 * mib)) > "$work/mail-base64.eml"
  head -c 1024 "$work/mail-qp.eml" > "$work/small.eml"
fi

# --- measuring ----------------------------------------------------------------------------------
# run_timed CMD: runs the shell command CMD in $work; sets $seconds (wall time) and $peak_kib
# (the largest resident set of the command and its children).
run_timed() {
  local start end
  start=$(date +%s%N)
  (cd "$work" && /usr/bin/time -f '%M' -o "$work/.peak" bash -c "$1" > /dev/null)
  end=$(date +%s%N)
  seconds=$(awk -v ns=$((end - start)) 'BEGIN { printf "%.4f", ns / 1e9 }')
  peak_kib=$(tail -n 1 "$work/.peak")
}

median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
size_of() { stat -c %s "$work/$1"; }

table=()
goals_missed=0

# row NAME INPUT OUTPUT GOAL OURS PEER_NAME PEER [PEER_NAME PEER ...]
#   INPUT and OUTPUT are file names in $work; OUTPUT is removed before every run, ours or a
#   peer's, so that no run replaces an existing file. GOAL is the ratio to meet against the first
#   peer ("-" for none). Every run does ours, then each peer in turn.
row() {
  local name=$1 input=$2 output=$3 goal=$4 ours=$5
  shift 5
  local -a peer_names=() peers=() ours_times=() peaks=()
  while [ $# -gt 0 ]; do
    peer_names+=("$1")
    peers+=("$2")
    shift 2
  done
  local -A peer_times=()
  local -a floor_times=()
  local run p input_bytes output_bytes
  input_bytes=$(size_of "$input")
  rm -f "$work/$output"
  (cd "$work" && bash -c "$ours" > /dev/null)
  output_bytes=$(size_of "$output")
  for ((run = 0; run < runs; run++)); do
    rm -f "$work/$output"
    run_timed "$ours"
    ours_times+=("$seconds")
    peaks+=("$peak_kib")
    for p in "${!peers[@]}"; do
      rm -f "$work/$output"
      run_timed "${peers[$p]}"
      peer_times[$p]+="$seconds "
    done
    rm -f "$work/$output"
    run_timed "$io_floor $input $output_bytes $output"
    floor_times+=("$seconds")
  done
  local ours_median floor_median peak_max bytes limits
  ours_median=$(median "${ours_times[@]}")
  floor_median=$(median "${floor_times[@]}")
  peak_max=$(printf '%s\n' "${peaks[@]}" | sort -n | tail -n 1)
  bytes=$((input_bytes > output_bytes ? input_bytes : output_bytes))
  limits=$("$memcpy_limit" "$bytes" "$runs")
  local fresh=${limits% *} warm=${limits#* }
  for p in "${!peers[@]}"; do
    local theirs ratio verdict=""
    # shellcheck disable=SC2086
    theirs=$(median ${peer_times[$p]})
    ratio=$(awk -v a="$ours_median" -v b="$theirs" 'BEGIN { printf "%.2f", a / b }')
    if [ "$p" -eq 0 ] && [ "$goal" != "-" ]; then
      if awk -v r="$ratio" -v g="$goal" 'BEGIN { exit !(r <= g) }'; then
        verdict=" (goal ≤ $goal: met)"
      else
        verdict=" (goal ≤ $goal: NOT met)"
        goals_missed=$((goals_missed + 1))
      fi
    fi
    if [ "$p" -eq 0 ]; then
      table+=("$(printf '| %s | %.1f MiB | %.3f s | %s | %.3f s | %s%s | %.2f | %.1f / %.1f ms | %.1f | %.3f s | %.2f |' \
        "$name" "$(awk -v b="$input_bytes" -v m=$mib 'BEGIN { print b / m }')" "$ours_median" \
        "${peer_names[$p]}" "$theirs" "$ratio" "$verdict" \
        "$(awk -v k="$peak_max" -v b="$input_bytes" 'BEGIN { print k * 1024 / b }')" \
        "$(awk -v s="$fresh" 'BEGIN { print s * 1000 }')" \
        "$(awk -v s="$warm" 'BEGIN { print s * 1000 }')" \
        "$(awk -v a="$ours_median" -v s="$fresh" 'BEGIN { print a / s }')" \
        "$floor_median" "$(awk -v a="$ours_median" -v f="$floor_median" 'BEGIN { print a / f }')")")
    else
      table+=("$(printf '| | | | %s | %.3f s | %s | | | | | |' "${peer_names[$p]}" "$theirs" "$ratio")")
    fi
  done
  echo "  done: $name" >&2
}

echo "Measuring, $runs runs of each command, alternately" >&2
k="$korvani"
# ONLY_MAIL=1 measures only the today's-mail rows below.
if [ -z "${ONLY_MAIL:-}" ]; then
row "binary-encode" random.bin out.eml 0.5 \
  "$k binary-encode random.bin -o out.eml" \
  "base64 -w 60" "base64 -w 60 random.bin > out.eml" \
  "mpack" "mpack -s bench -o out.eml random.bin"
row "binary-decode" random.eml out.bin 0.5 \
  "$k binary-decode random.eml -o out.bin" \
  "base64 -d" "base64 -d random.b64 > out.bin" \
  "munpack" "mkdir -p unpack && cd unpack && rm -f random.bin && munpack -q ../random.eml && mv random.bin ../out.bin"
row "mail-decode, quoted-printable" mail-qp.eml out.txt 0.25 \
  "$k mail-decode mail-qp.eml -o out.txt" \
  "nkf -s -m" "nkf -s -m mail-qp.eml > out.txt"
row "mail-decode, Base64" mail-base64.eml out.txt 0.25 \
  "$k mail-decode mail-base64.eml -o out.txt" \
  "nkf -s -m" "nkf -s -m mail-base64.eml > out.txt"
row "text-decode, Base64 UTF-8" prose.utf8.b64 out.txt 0.5 \
  "$k text-decode prose.utf8.b64 -o out.txt --encoding base64 --charset utf-8" \
  "base64 -d \| iconv" "base64 -d prose.utf8.b64 | iconv -f UTF-8 -t CP932 > out.txt"
row "text-decode, ISO-2022-JP" prose.jis out.txt - \
  "$k text-decode prose.jis -o out.txt --encoding auto --charset jis" \
  "nkf -s" "nkf -s prose.jis > out.txt"
row "text-decode, UTF-8" prose.utf8 out.txt - \
  "$k text-decode prose.utf8 -o out.txt --encoding auto --charset utf-8" \
  "nkf -s" "nkf -s prose.utf8 > out.txt" \
  "iconv" "iconv -f UTF-8 -t CP932 prose.utf8 > out.txt"
row "text-decode, EUC-JP" prose.euc out.txt - \
  "$k text-decode prose.euc -o out.txt --encoding auto --charset euc" \
  "nkf -s" "nkf -s prose.euc > out.txt"

# The decoders must give the data back: binary-decode the random file, text-decode what nkf
# makes of plain prose.
rm -f "$work/out.bin"
"$korvani" binary-decode "$work/random.eml" -o "$work/out.bin"
cmp -s "$work/out.bin" "$work/random.bin" || { echo "compare.sh: binary-decode differs" >&2; exit 1; }
for charset in jis:prose.jis utf-8:prose.utf8 euc:prose.euc; do
  rm -f "$work/out.txt"
  "$korvani" text-decode "$work/${charset#*:}" -o "$work/out.txt" --encoding auto --charset "${charset%%:*}"
  nkf -s "$work/${charset#*:}" | cmp -s - "$work/out.txt" ||
    { echo "compare.sh: text-decode of ${charset#*:} differs from nkf -s" >&2; exit 1; }
done

# Start-up: the whole process on a 1 KiB mail, mail-decode and binary-encode.
startup() {
  hyperfine -N --warmup 20 --runs 300 --export-json "$work/startup.json" \
    "$1" > /dev/null 2>&1
  awk -F': ' '/"mean"/ { gsub(/[ ,]/, "", $2); printf "%.2f", $2 * 1000; exit }' "$work/startup.json"
}
startup_mail=$(cd "$work" && startup "$k mail-decode small.eml -o small.txt")
startup_encode=$(cd "$work" && startup "$k binary-encode small.eml -o small.b64.eml")
startup_true=$(cd "$work" && startup "/bin/true")

fi
# --- today's mail: extract and --list --------------------------------------------------------
# mail_row NAME GOAL OURS PEER_NAME PEER: medians of RUNS alternate runs of two whole commands,
# and korvani's largest resident set in MiB (its goal is a bound whatever the mail's size).
mail_table=()
mail_row() {
  local name=$1 goal=$2 ours=$3 peer_name=$4 peer=$5 run
  local -a ours_times=() peer_times=() peaks=()
  for ((run = 0; run < runs; run++)); do
    run_timed "$ours"
    ours_times+=("$seconds")
    peaks+=("$peak_kib")
    run_timed "$peer"
    peer_times+=("$seconds")
  done
  local a b ratio verdict="" peak
  a=$(median "${ours_times[@]}")
  b=$(median "${peer_times[@]}")
  ratio=$(awk -v a="$a" -v b="$b" 'BEGIN { printf "%.2f", a / b }')
  if [ "$goal" != "-" ]; then
    if awk -v r="$ratio" -v g="$goal" 'BEGIN { exit !(r <= g) }'; then
      verdict=" (goal ≤ $goal: met)"
    else
      verdict=" (goal ≤ $goal: NOT met)"
      goals_missed=$((goals_missed + 1))
    fi
  fi
  peak=$(printf '%s\n' "${peaks[@]}" | sort -n | tail -n 1)
  mail_table+=("$(printf '| %s | %.3f s | %s | %.3f s | %s%s | %.1f MiB |' "$name" "$a" \
    "$peer_name" "$b" "$ratio" "$verdict" "$(awk -v k="$peak" 'BEGIN { print k / 1024 }')")")
  echo "  done: $name" >&2
}

# 10 000 small mails, each with a text part and a small attachment, in one folder.
mkdir -p "$work/small"
for ((n = 0; n < 10000; n++)); do
  printf 'From: a@example.com\nSubject: %d\nMIME-Version: 1.0\nContent-Type: multipart/mixed; boundary=b\n\n--b\nContent-Type: text/plain\n\nmail %d\n--b\nContent-Type: application/octet-stream; name="f%d.bin"\nContent-Transfer-Encoding: base64\n\nAAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8gISIjJCUmJygpKissLS4vMDEyMzQ1Njc4\n--b--\n' \
    "$n" "$n" "$n" > "$work/small/$n.eml"
done

k="$korvani"
mail_row "extract, 64 MiB attachment in an 88 MiB mail" 0.5 \
  "rm -rf ext && mkdir ext && $k extract random.eml -d ext" \
  "ripmime" "rm -rf rip && mkdir rip && ripmime -i random.eml -d rip"
mail_row "extract, the same mail" - \
  "rm -rf ext && mkdir ext && $k extract random.eml -d ext" \
  "munpack" "rm -rf unpack && mkdir unpack && munpack -q -C \"$work/unpack\" \"$work/random.eml\""
mail_row "extract, 10 000 small mails in one call" 0.5 \
  "rm -rf ext && mkdir ext && $k extract small -d ext" \
  "munpack" "rm -rf unpack && mkdir unpack && munpack -q -f -C \"$work/unpack\" \"$work\"/small/*.eml"
rm -rf "$work/ext" && mkdir "$work/ext" && "$korvani" extract "$work/random.eml" -d "$work/ext"
cmp -s "$work/ext/random.bin" "$work/random.bin" || { echo "compare.sh: extract differs" >&2; exit 1; }
list_times=()
for ((run = 0; run < runs; run++)); do
  run_timed "$k extract small --list"
  list_times+=("$seconds")
done
list_rate=$(awk -v s="$(median "${list_times[@]}")" 'BEGIN { printf "%.0f", 10000 / s }')

cpu=$(awk -F': ' '/model name/ { print $2; exit }' /proc/cpuinfo)
cat <<EOF

Machine: $cpu, $(nproc) cores, $(awk '/MemTotal/ { printf "%.0f GiB", $2 / 1048576 }' /proc/meminfo) memory,
Linux $(uname -r), $(. /etc/os-release && echo "$PRETTY_NAME"); data in $(df -P "$work" | awk 'NR == 2 { print $1 }') ($BENCH_DIR).
Medians of $runs alternate runs; peak RSS is korvani's largest over the runs.

EOF
if [ -z "${ONLY_MAIL:-}" ]; then
cat <<EOF
| mode | input | korvani | peer | peer's time | korvani / peer | korvani peak RSS (× input) | memcpy of the larger of input and output: new block / warm | korvani / memcpy (new block) | in-memory floor (read, fill, write) | korvani / floor |
|---|---|---|---|---|---|---|---|---|---|---|
EOF
printf '%s\n' "${table[@]}"
cat <<EOF

Whole process on a 1 KiB mail (hyperfine -N, mean of 300): mail-decode $startup_mail ms,
binary-encode $startup_encode ms; /bin/true on this machine: $startup_true ms.
EOF
fi
cat <<EOF

| today's mail | korvani | peer | peer's time | korvani / peer | korvani peak RSS |
|---|---|---|---|---|---|
EOF
printf '%s\n' "${mail_table[@]}"
echo
echo "extract --list over the 10 000 small mails: $list_rate mails per second (goal ≥ 20 000)."
if [ "$goals_missed" -gt 0 ]; then
  echo "$goals_missed time goal(s) not met in this run."
fi
