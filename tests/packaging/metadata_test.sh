#!/usr/bin/env bash
# The AppStream metadata and the desktop files pass their validators, and the metadata names no
# placeholder address.
#   metadata_test.sh METAINFO... DESKTOP_FILE...
# Exit 77 (skipped) when appstreamcli or desktop-file-validate is not installed.
set -euo pipefail
for tool in appstreamcli desktop-file-validate; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIP: $tool is not installed"
    exit 77
  fi
done
metainfo=() desktop=()
for file in "$@"; do
  case $file in
  *.xml) metainfo+=("$file") ;;
  *) desktop+=("$file") ;;
  esac
done
for file in "${metainfo[@]}"; do
  appstreamcli validate --no-net --pedantic "$file"
  if grep -nE 'https?://[^<"]*example' "$file"; then
    echo "FAIL: $file names a placeholder address"
    exit 1
  fi
done
desktop-file-validate "${desktop[@]}"
