#!/usr/bin/env bash
# Whole-program speed and memory of korvani against coreutils' base64, on one 64 MiB random file:
#   binary-encode FILE           against  base64 -w 60 FILE
#   binary-decode (its mail)     against  base64 -d (the same Base64 text, LF line ends)
# Each pair runs RUNS times (default 5), alternately; the medians, the ratio korvani / base64 and
# korvani's peak resident set size are printed next to their goals.
# Usage: bench/compare.sh [BUILD_DIR]   (make bench passes its build folder)
set -euo pipefail

build=${1:-build}
root=$(cd "$(dirname "$0")/.." && pwd)
case "$build" in
  /*) korvani="$build/korvani" ;;
  *) korvani="$root/$build/korvani" ;;
esac
runs=${RUNS:-5}
size_mib=64

if [ ! -x "$korvani" ]; then
  echo "compare.sh: no korvani binary at $korvani; build first (make build)" >&2
  exit 1
fi
if [ ! -x /usr/bin/time ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "compare.sh: /usr/bin/time is missing. Install it with: sudo apt-get install -y time" >&2
    exit 1
  fi
  echo "Installing: time"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends time
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/korvani-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT

# Runs "$@" with standard output to $out_file; sets $seconds (wall time) and $peak_kib.
out_file=/dev/null
measure() {
  local start end
  start=$(date +%s%N)
  /usr/bin/time -v -o "$work/time.txt" "$@" > "$out_file"
  end=$(date +%s%N)
  seconds=$(awk -v ns=$((end - start)) 'BEGIN { printf "%.4f", ns / 1e9 }')
  peak_kib=$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$work/time.txt")
}

median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# report NAME GOAL_FACTOR BASE_BYTES: the medians of the arrays ours and theirs, the highest of peaks
report() {
  local name=$1 factor=$2 base_bytes=$3
  local ours_median theirs_median peak_max ratio limit_kib
  ours_median=$(median "${ours[@]}")
  theirs_median=$(median "${theirs[@]}")
  peak_max=$(printf '%s\n' "${peaks[@]}" | sort -n | tail -n 1)
  ratio=$(awk -v a="$ours_median" -v b="$theirs_median" 'BEGIN { printf "%.2f", a / b }')
  limit_kib=$(awk -v f="$factor" -v n="$base_bytes" 'BEGIN { printf "%d", (f * n + 16 * 1048576) / 1024 }')
  printf '%s (median of %d runs)\n' "$name" "$runs"
  printf '  korvani %8.3f s   base64 %8.3f s   ratio %s (goal <= 1.00: %s)\n' \
    "$ours_median" "$theirs_median" "$ratio" \
    "$(awk -v r="$ratio" 'BEGIN { print (r <= 1.0 ? "met" : "NOT met") }')"
  printf '  korvani peak RSS %d KiB, goal <= %s x %d bytes + 16 MiB = %d KiB: %s\n' \
    "$peak_max" "$factor" "$base_bytes" "$limit_kib" \
    "$( [ "$peak_max" -le "$limit_kib" ] && echo met || echo "NOT met")"
}

echo "Making a ${size_mib} MiB random file in $work"
head -c $((size_mib * 1048576)) /dev/urandom > "$work/random.bin"
source_bytes=$(stat -c %s "$work/random.bin")

ours=() theirs=() peaks=()
for ((run = 0; run < runs; run++)); do
  out_file=/dev/null
  measure "$korvani" binary-encode "$work/random.bin" -o "$work/random.eml"
  ours+=("$seconds") peaks+=("$peak_kib")
  out_file="$work/random.b64"
  measure base64 -w 60 "$work/random.bin"
  theirs+=("$seconds")
done
report "binary-encode of ${size_mib} MiB" 2.4 "$source_bytes"

mail_bytes=$(stat -c %s "$work/random.eml")
ours=() theirs=() peaks=()
for ((run = 0; run < runs; run++)); do
  rm -f "$work/korvani.out"
  out_file=/dev/null
  measure "$korvani" binary-decode "$work/random.eml" -o "$work/korvani.out"
  ours+=("$seconds") peaks+=("$peak_kib")
  out_file="$work/base64.out"
  measure base64 -d "$work/random.b64"
  theirs+=("$seconds")
done
report "binary-decode of its ${mail_bytes}-byte mail" 1.8 "$mail_bytes"

if ! cmp -s "$work/korvani.out" "$work/random.bin" || ! cmp -s "$work/base64.out" "$work/random.bin"; then
  echo "compare.sh: a decoded file differs from the source" >&2
  exit 1
fi
echo "Both decoders gave the source back byte for byte."
