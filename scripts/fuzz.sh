#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer and UndefinedBehaviorSanitizer on)
# and runs each for SECONDS seconds (default 60) from the committed seed corpus. New inputs go
# to BUILD/corpus/, crashes to BUILD/crashes/. Exits non-zero when any target finds a crash.
#   scripts/fuzz.sh [SECONDS] [BUILD]       (TARGETS="fuzz_a fuzz_b" runs only those)
set -euo pipefail
seconds=${1:-60}
build=${2:-build-fuzz}
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DKORVANI_FUZZ=ON >/dev/null
targets=${TARGETS:-$(sed -n '/set(KORVANI_FUZZ_TARGETS/,/)/p' fuzz/CMakeLists.txt | grep -o 'fuzz_[a-z_]*')}
# shellcheck disable=SC2086
cmake --build "$build" -j "$(nproc)" --target $targets -- --no-print-directory >/dev/null

status=0
log="$build/executions.log"
for target in $targets; do
  mkdir -p "$build/corpus/$target" "$build/crashes/$target"
  seeds="fuzz/corpus/$target"
  [ -d "$seeds" ] || seeds=""
  # The mail engine promises linear time and memory bounded by its input: inputs up to 256 KiB
  # (the shapes of quadratic cost show at that size), and an input that takes seconds or a
  # process that grows past 1 GiB (ASan's quarantine included) is a finding.
  limits="-timeout=30 -rss_limit_mb=2048"
  if [ "$target" = fuzz_mail_engine ]; then
    limits="-timeout=10 -rss_limit_mb=1024 -max_len=262144"
  fi
  set +e
  # shellcheck disable=SC2086
  ASAN_OPTIONS=allocator_may_return_null=1:detect_leaks=1 \
    "$build/fuzz/$target" -max_total_time="$seconds" $limits \
    -dict=fuzz/dicts/mail.dict -print_final_stats=1 \
    -artifact_prefix="$build/crashes/$target/" "$build/corpus/$target" $seeds \
    >"$build/$target.out" 2>&1
  result=$?
  set -e
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$build/$target.out" | grep -o '[0-9]*$' || echo 0)
  echo "$(date -u +%FT%TZ) $target $runs" >>"$log"
  total=$(awk -v t="$target" '$2 == t { s += $3 } END { print s + 0 }' "$log")
  if [ "$result" -eq 0 ]; then
    printf '%-28s ok      %12s executions (%s in all runs so far)\n' "$target" "$runs" "$total"
  else
    printf '%-28s FAILED  see %s and %s\n' "$target" "$build/$target.out" "$build/crashes/$target/"
    tail -n 30 "$build/$target.out"
    status=1
  fi
done
exit $status
