#!/usr/bin/env bash
# The demo of `make run`: converts the bundled samples and says where each result went.
set -euo pipefail
build=${1:-build}
root=$(cd "$(dirname "$0")/.." && pwd)
korvani="$root/$build/korvani"
samples="$root/samples"
out="$root/out"
mkdir -p "$out"

echo "Binary encode: packaging samples/korvani.png as a mail"
"$korvani" binary-encode "$samples/korvani.png" -o "$out/korvani.png.eml"
echo "  -> out/korvani.png.eml ($(wc -c < "$out/korvani.png.eml") bytes):"
head -n 12 "$out/korvani.png.eml" | iconv -f CP932 -t UTF-8 | tr -d "\r" | sed 's/^/     /'
echo "     ..."

echo
echo "Binary decode: extracting the attachment of samples/attachment.eml under its own name"
"$korvani" binary-decode "$samples/attachment.eml" -d "$out" --force
echo "  -> out/議事録.txt ($(wc -c < "$out/議事録.txt") bytes, the mail's file times):"
sed 's/^/     /' "$out/議事録.txt"

echo
echo "Binary decode: the mail written above gives samples/korvani.png back"
"$korvani" binary-decode "$out/korvani.png.eml" -d "$out" --force
cmp "$samples/korvani.png" "$out/korvani.png"
echo "  -> out/korvani.png, byte for byte the same as samples/korvani.png"

echo
echo "Mail decode: samples/notice.eml as readable text (shown here through --output-charset utf-8)"
"$korvani" mail-decode "$samples/notice.eml" -o "$out/notice.txt"
"$korvani" mail-decode "$samples/notice.eml" -o - --output-charset utf-8 | tr -d "\r" | sed 's/^/     /'
echo "  -> out/notice.txt (Shift_JIS, the mail's file times)"

echo
echo "Text decode: samples/memo-utf8.b64 (Base64, UTF-8) to Shift_JIS"
"$korvani" text-decode "$samples/memo-utf8.b64" -o "$out/memo.txt" --encoding base64 --charset utf-8
iconv -f CP932 -t UTF-8 "$out/memo.txt" | tr -d "\r" | sed 's/^/     /'
echo "  -> out/memo.txt (Shift_JIS)"
