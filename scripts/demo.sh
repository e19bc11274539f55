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
