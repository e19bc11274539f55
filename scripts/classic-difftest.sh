#!/usr/bin/env bash
# Runs the four classic modes of two korvani binaries over the same inputs, with every option,
# and compares what they write, say and exit with: byte for byte, case by case.
#   scripts/classic-difftest.sh OLD_BINARY NEW_BINARY [INPUT...]
# Inputs default to the samples, the mail corpus and the fuzz seeds. Exits 1 on any difference.
set -euo pipefail
old=$1 new=$2
shift 2
cd "$(dirname "$0")/.."
if [ $# -gt 0 ]; then
  inputs=("$@")
else
  mapfile -t inputs < <(find samples tests/data fuzz/corpus -type f -size -4M | sort)
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cases=0 differences=0
run_case() {  # run_case ARGS... (OUT is replaced by the output path)
  local side out args=() status
  for side in old new; do
    mkdir -p "$work/$side"
    out="$work/$side/out"
    rm -rf "$work/$side"/*
    args=()
    for a in "$@"; do args+=("${a//OUT/$out}"); done
    local binary=$old
    [ "$side" = new ] && binary=$new
    status=0
    (cd "$work/$side" && "$binary" "${args[@]}" >"$work/$side.stdout" 2>"$work/$side.stderr") ||
      status=$?
    echo "$status" >"$work/$side.status"
    sed -i "s#$work/$side#WORK#g" "$work/$side.stderr"
    # binary-encode names its boundary after the clock: the two runs may fall in other seconds.
    if [ "$1" = binary-encode ] && [ -f "$out" ]; then
      sed -i 's/DATE[0-9]*_TIME[0-9]*/DATE_TIME/g' "$out"
    fi
    (cd "$work/$side" && find . -type f -exec sha256sum {} + | sort) >"$work/$side.files"
  done
  cases=$((cases + 1))
  for part in status stdout stderr files; do
    if ! cmp -s "$work/old.$part" "$work/new.$part"; then
      differences=$((differences + 1))
      echo "DIFFERENT ($part): $*"
      if [ -n "${KEEP:-}" ]; then
        mkdir -p "$KEEP/$cases" && cp -r "$work"/old* "$work"/new* "$KEEP/$cases/"
      fi
      return
    fi
  done
}

for input in "${inputs[@]}"; do
  path=$(realpath "$input")
  run_case binary-decode "$path" -o OUT
  run_case binary-decode "$path" -d .
  run_case binary-encode "$path" -o OUT
  for mode in mail-decode text-decode; do
    for encoding in auto quoted-printable base64; do
      for charset in auto jis utf-8 sjis euc; do
        for output in sjis utf-8; do
          run_case "$mode" "$path" -o OUT --encoding "$encoding" --charset "$charset" \
            --output-charset "$output"
        done
      done
    done
  done
done
echo "$cases cases, $differences different"
[ "$differences" -eq 0 ]
