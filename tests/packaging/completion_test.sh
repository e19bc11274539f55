#!/usr/bin/env bash
# The shell completions against the programs they complete.
#   completion_test.sh KORVANI BASH_COMPLETION ZSH_COMPLETION [KORVANI_GUI GUI_BASH GUI_ZSH]
# bash: the completion function is run as bash-completion runs it, on a table of command lines.
# Both shells: every subcommand and long option that `korvani --help` lists is offered, and
# every long option of `korvani-gui --help`.
# Exit 77 (skipped) when bash-completion is not installed.
set -euo pipefail
korvani=$1 bash_file=$2 zsh_file=$3
gui=${4:-} gui_bash_file=${5:-} gui_zsh_file=${6:-}
framework=/usr/share/bash-completion/bash_completion
if [ ! -r "$framework" ]; then
  echo "SKIP: bash-completion is not installed ($framework missing)"
  exit 77
fi
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# What the program itself lists: the subcommands, then each one's long options.
commands=$("$korvani" --help | sed -n 's/^  \([a-z][a-z-]*\)  .*/\1/p')
[ -n "$commands" ] || fail "no subcommands in korvani --help"
for command in $commands; do
  for file in "$bash_file" "$zsh_file"; do
    grep -qw -- "$command" "$file" || fail "$(basename "$file") lacks the command $command"
    for option in $("$korvani" "$command" --help | grep -o -- '--[a-z][a-z-]*' | sort -u); do
      grep -qE -- "$option([^a-z-]|\$)" "$file" || fail "$(basename "$file") lacks $command $option"
    done
  done
done

if [ -n "$gui" ]; then
  gui_options=$(QT_QPA_PLATFORM=offscreen "$gui" --help 2>/dev/null | grep -o -- '--[a-z][a-z-]*' | sort -u)
  [ -n "$gui_options" ] || fail "no options in korvani-gui --help"
  for file in "$gui_bash_file" "$gui_zsh_file"; do
    for option in $gui_options; do
      grep -qE -- "$option([^a-z-]|\$)" "$file" || fail "$(basename "$file") lacks $option"
    done
  done
fi

if command -v zsh >/dev/null; then
  zsh -n "$zsh_file" || fail "zsh cannot parse $zsh_file"
  [ -z "$gui" ] || zsh -n "$gui_zsh_file" || fail "zsh cannot parse $gui_zsh_file"
else
  echo "note: zsh is not installed; its completion was not parsed"
fi

# Each case: the command line up to the cursor | the completions expected, sorted.
cases=(
  "korvani |binary-decode binary-encode extract help mail-decode manifest-merge read text-decode"
  "korvani help r|read"
  "korvani extract --layout |flat per-file per-mail"
  "korvani te|text-decode"
  "korvani --v|--version"
  "korvani mail-decode --ch|--charset"
  "korvani mail-decode --charset |auto euc jis sjis utf-8"
  "korvani mail-decode --charset=|auto euc jis sjis utf-8"
  "korvani mail-decode in.eml --charset=u|utf-8"
  "korvani text-decode --encoding=q|quoted-printable"
  "korvani extract --layout=per-m|per-mail"
  "korvani extract --force=|"
  "korvani text-decode in.txt --encoding b|base64"
  "korvani text-decode --output-charset |sjis utf-8"
  "korvani read --output-charset |sjis utf-8"
  "korvani read -|--help --output --output-charset --version -o"
  "korvani extract --|--directory --force --help --jobs --json --layout --list --manifest --max-ratio --max-unpacked --password --password-file --quiet --recursive --show-passwords --skip-existing --unpack --verbose --version"
  "korvani binary-decode --|--directory --force --help --output --version"
  "korvani binary-decode m|mail.eml"
  "korvani binary-decode mail.eml -d |folder"
  "korvani binary-decode mail.eml -o |- folder mail.eml shot.png"
  "korvani binary-encode mail.eml -o |folder mail.eml shot.png"
  "korvani extract mail.eml |folder mail.eml shot.png"
)
# The same for korvani-gui, when it is built.
gui_cases=(
  "korvani-gui --|--find --help --help-all --mail --pdf --screenshot --version"
  "korvani-gui --mail m.eml --pdf |folder"
  "korvani-gui --mail |folder mail.eml shot.png"
  "korvani-gui --screenshot |folder shot.png"
  "korvani-gui --screenshot=s|shot.png"
  "korvani-gui --mail m|mail.eml"
)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir "$scratch/folder" && touch "$scratch/mail.eml" "$scratch/shot.png"
cd "$scratch"

# complete LINE FILE PROGRAM FUNCTION: what FUNCTION of FILE offers at the end of LINE, sorted.
complete_line() {
  bash --norc --noprofile -c '
    source "$1" && source "$2" || exit 3
    [ "$(complete -p "$4")" = "complete -F $5 $4" ] || exit 4
    read -ra COMP_WORDS <<<"$3"
    [ "${3: -1}" = " " ] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1)) COMP_LINE=$3 COMP_POINT=${#3}
    "$5" "$4" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    printf "%s\n" "${COMPREPLY[@]}" | sort | paste -sd " "' \
    completion "$framework" "$2" "$1" "$3" "$4" 2>/dev/null
}
check_cases() {
  local file=$1 program=$2 function=$3 case line expected got
  shift 3
  for case in "$@"; do
    line=${case%%|*} expected=${case#*|}
    got=$(complete_line "$line" "$file" "$program" "$function") || fail "'$line': bash said $?"
    [ "$got" = "$expected" ] || fail "'$line' completed to '$got', expected '$expected'"
  done
}
check_cases "$bash_file" korvani _korvani "${cases[@]}"
[ -z "$gui" ] || check_cases "$gui_bash_file" korvani-gui _korvani_gui "${gui_cases[@]}"

[ "$failures" -eq 0 ] || exit 1
echo "completion: ${#cases[@]} command lines, $(echo $commands | wc -w) subcommands checked"
[ -z "$gui" ] || echo "completion: ${#gui_cases[@]} command lines of korvani-gui checked"
