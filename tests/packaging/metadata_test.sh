#!/usr/bin/env bash
# The AppStream metadata and the desktop files pass their validators.
#   metadata_test.sh METAINFO DESKTOP_FILE...
# Exit 77 (skipped) when appstreamcli or desktop-file-validate is not installed.
set -euo pipefail
for tool in appstreamcli desktop-file-validate; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIP: $tool is not installed"
    exit 77
  fi
done
appstreamcli validate --no-net --pedantic "$1"
desktop-file-validate "${@:2}"
