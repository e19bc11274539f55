#!/usr/bin/env bash
# Each built man page renders without a warning from man and groff at 80 columns.
#   man_test.sh PAGE...
# Exit 77 (skipped) when man is not installed.
set -euo pipefail
if ! command -v man >/dev/null; then
  echo "SKIP: man (man-db) is not installed"
  exit 77
fi
status=0
for page in "$@"; do
  warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
  if [ -n "$warnings" ]; then
    echo "FAIL: $page:"
    echo "$warnings"
    status=1
  fi
done
exit $status
