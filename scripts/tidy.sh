#!/usr/bin/env bash
# clang-tidy, with the project's .clang-tidy, over every source file of src/ that the build in
# BUILD (default: build) compiles. Exits non-zero on any finding.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
[ -f "$build/compile_commands.json" ] || { echo "no $build/compile_commands.json" >&2; exit 1; }
mapfile -t files < <(git ls-files 'src/*.cpp')
log=$(mktemp)
trap 'rm -f "$log"' EXIT
# Generated sources (Qt's moc, the code page tables) are not ours to tidy; the header filter
# keeps findings to our own headers.
printf '%s\n' "${files[@]}" |
  xargs -P "$(nproc)" -n 4 clang-tidy -p "$build" --quiet --header-filter="$PWD/src/.*" \
    >"$log" 2>/dev/null || true
if grep -E '(warning|error):' "$log"; then
  exit 1
fi
echo "clang-tidy: no findings in ${#files[@]} files"
