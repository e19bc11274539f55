#!/usr/bin/env bash
# What the docs say of the options is what the program takes: every long option each command's
# --help lists is in korvani(1) and in the README's synopsis, and every option korvani(1) gives a
# command is one its --help lists. The README's everyday lines parse (--help after them).
# Usage: docs_test.sh KORVANI MAN_SOURCE README
set -euo pipefail
korvani=$1 man=$2 readme=$3
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

commands=$("$korvani" --help | sed -n 's/^  \([a-z][a-z-]*\)  .*/\1/p')
[ -n "$commands" ] || fail "no commands in korvani --help"
for command in $commands; do
  help=$("$korvani" "$command" --help)
  synopsis=$(grep -E "^korvani $command " "$readme" || true)
  [ -n "$synopsis" ] || fail "README has no synopsis line for $command"
  # The man page's own section of the command: from its entry to the next command's.
  section=$(awk -v c="*$command* _" 'index($0, c) == 1 { on = 1; print; next }
                                     on && /^\*[a-z-]+\* _/ { exit } on { print }' "$man")
  # mail-decode's options are told once, under text-decode, for both.
  if [ "$command" = mail-decode ]; then
    section+=$'\n'$(awk 'index($0, "*text-decode* _") == 1 { on = 1; next }
                         on && /^\*[a-z-]+\* _/ { exit } on { print }' "$man")
  fi
  [ -n "$section" ] || fail "korvani(1) has no entry for $command"
  for option in $(grep -o -- '--[a-z][a-z-]*' <<<"$help" | sort -u); do
    case $option in --help | --version) continue ;; esac
    grep -q -- "\*$option\*" <<<"$section" || fail "korvani(1) does not describe $command $option"
    # The synopsis may give the short form.
    short=$(grep -o -- "-[a-z], $option" <<<"$help" | cut -c1-2 || true)
    grep -q -- "$option" <<<"$synopsis" || { [ -n "$short" ] && grep -qE -- "(^| |\[)$short( |\]|$)" <<<"$synopsis"; } ||
      fail "README's synopsis of $command lacks $option"
  done
  for option in $(grep -o -- '^	\*--[a-z][a-z-]*\*' <<<"$section" | tr -d '\t*' | sort -u); do
    grep -q -- "$option" <<<"$help" || fail "korvani(1) gives $command $option, which it does not take"
  done
done

# The everyday lines of the README are commands the program understands.
while IFS= read -r line; do
  line=${line%%#*}
  line=${line%%|*}
  read -ra words <<<"$line"
  [ "${words[0]:-}" = korvani ] || continue
  case $line in *"["* | *MAIL* | *SOURCE*) continue ;; esac  # the synopsis
  "$korvani" "${words[@]:1}" --help >/dev/null 2>&1 || fail "README line does not parse: $line"
done < <(awk '/^```$/ { block = !block; next } block' "$readme")

[ "$failures" -eq 0 ] || exit 1
echo "docs: $(wc -w <<<"$commands") commands checked against korvani(1) and README"
