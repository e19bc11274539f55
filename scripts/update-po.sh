#!/usr/bin/env bash
# Brings po/ja.po up to the messages of the command line's sources: new texts are added
# untranslated (msgmerge), texts no longer used are dropped. Translate the new entries, then
# `make check` compiles the catalogue and checks that nothing is left untranslated.
set -euo pipefail
cd "$(dirname "$0")/.."
template=$(mktemp --suffix=.pot)
trap 'rm -f "$template"' EXIT
scripts/po-template.sh "$template"
msgmerge --quiet --update --backup=none --no-fuzzy-matching --no-location --sort-output \
  po/ja.po "$template"
msgattrib --no-obsolete --sort-output -o po/ja.po po/ja.po
