#!/usr/bin/env bash
# clang-tidy, with the project's .clang-tidy, over every source file of src/ that the build in
# BUILD (default: build) compiles, one file per run and as many runs at once as there are cores.
# Exits non-zero on any finding, and on any file clang-tidy cannot read or compile: such a file
# is a failure, never a clean file.
#   scripts/tidy.sh [BUILD]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
database="$build/compile_commands.json"
[ -f "$database" ] || { echo "tidy: no $database (configure and build first)" >&2; exit 1; }

# Only what this build compiles: a build without the GUI has no commands for src/gui, and a
# file without a command would be parsed with guessed flags.
files=()
skipped=0
while IFS= read -r file; do
  if grep -qF "\"file\": \"$PWD/$file\"" "$database"; then files+=("$file"); else skipped=$((skipped + 1)); fi
done < <(git ls-files 'src/*.cpp')
[ ${#files[@]} -gt 0 ] || { echo "tidy: $database compiles none of src/" >&2; exit 1; }

logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT
# Each run writes its own log and, when clang-tidy fails, a .failed mark; a run never stops the
# others. Generated sources (Qt's moc, the code page tables) are not ours to tidy; the header
# filter keeps findings to our own headers.
export build logs
printf '%s\n' "${files[@]}" | xargs -P "$(nproc)" -I{} bash -c '
  log="$logs/$(echo "$1" | tr / _)"
  clang-tidy -p "$build" --quiet --header-filter="$PWD/src/.*" "$1" >"$log" 2>&1 ||
    echo "$?" >"$log.failed"' _ {}

failed=0
for file in "${files[@]}"; do
  log="$logs/$(echo "$file" | tr / _)"
  # Drop clang's count of the warnings it generated (and suppressed outside our headers).
  findings=$(grep -vE '^[0-9]+ (warning|error)s?( and [0-9]+ (warning|error)s?)? generated\.$' \
    "$log" || true)
  if [ -f "$log.failed" ] || grep -qE '(warning|error):' <<<"$findings"; then
    failed=$((failed + 1))
    echo "== $file (clang-tidy exit status $(cat "$log.failed" 2>/dev/null || echo 0))"
    [ -z "$findings" ] || echo "$findings"
  fi
done
note=""
[ "$skipped" -eq 0 ] || note=" ($skipped not compiled by $build)"
if [ "$failed" -gt 0 ]; then
  echo "clang-tidy: findings or failures in $failed of ${#files[@]} files$note" >&2
  exit 1
fi
echo "clang-tidy: no findings in ${#files[@]} files$note"
