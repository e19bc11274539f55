#!/usr/bin/env bash
# Writes the template of the command line's messages (every N_, tr and trn literal of src/cli)
# to $1.
set -euo pipefail
cd "$(dirname "$0")/.."
xgettext --from-code=UTF-8 --language=C++ --keyword --keyword=N_ --keyword=tr \
  --keyword=trn:1,2 --no-location --sort-output --package-name=korvani -o "$1" \
  src/cli/*.cpp src/cli/*.h
