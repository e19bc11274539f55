#!/usr/bin/env bash
# Every message of the command line has its Japanese translation: po/ja.po holds each text the
# sources mark (N_, tr, trn), none of them untranslated or fuzzy, and their formats agree.
# Usage: translations_test.sh SOURCE_ROOT
set -euo pipefail
root=$1
template=$(mktemp --suffix=.pot)
trap 'rm -f "$template"' EXIT
"$root/scripts/po-template.sh" "$template"
msgcmp "$root/po/ja.po" "$template" ||
  { echo "FAIL: po/ja.po lacks the messages above; run scripts/update-po.sh and translate"; exit 1; }
statistics=$(msgfmt --check --statistics -o /dev/null "$root/po/ja.po" 2>&1)
case $statistics in
  *untranslated* | *fuzzy*) echo "FAIL: $statistics"; exit 1 ;;
esac
echo "translations: $statistics"
