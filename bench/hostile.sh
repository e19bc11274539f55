#!/usr/bin/env bash
# Time and peak memory of extract, extract --list, extract --json and read on hostile shapes of
# mail, each at two sizes N and 2N, and the mail window's first paint of a 10 MiB mail of the
# shapes that matter to it (and of a Subject without a break point under 512 KiB). The goals: doubling the input at most about doubles the time
# (2N/N ≤ 2.5); the peak resident set stays within 64 MiB + 2 × the input; no run ends by a
# signal; the window paints in under 2 s. Beside each figure, the same command on an ordinary
# mail of the same size (a text part and one Base64 attachment), made and run in the same run.
#
# The shapes (bench/hostile_mail.h makes them; korvani_bench_data hostile SHAPE BYTES):
#   1a, 1b  encoded words that never close ("=?a?B? " repeated) in the Subject, in a filename
#   2a, 2b  many small attachments of one name; the same with each its own name
#   3a, 3b  an mbox file of many small messages under a 255-byte file name; the same mbox under
#           a short name
#   4       more parts than the engine reads (tiny parts, about 50 000 and 100 000)
#   5       many header lines ("X-H: v" repeated) in the top header
#   6       a large HTML part (read)
#   7       an mbox message with one ">From " line and MBs of Base64 attachment
#   8       extract --json of an mbox file of many messages
#   9, 9b   one header line (a Subject of words) of MBs; the same under 512 KiB, what a reader
#           may well take whole
#   10a, b  one line without a break point: in the Subject, in the body
#
# Every run is one process under /usr/bin/time (its peak resident set) and timeout (TIMEOUT
# seconds, default 120); a run stopped by the timeout shows as "> 120 s", not as a failure of
# this script. A run under a second is repeated up to RUNS times (default 3) and its median
# taken. The ratios are of CPU time (user + system, to the millisecond, from bash's `times`),
# which other work on a shared machine disturbs less than wall time; the window's are of wall
# time. With BEFORE=/path/to/korvani that binary runs too, alternately with ours in the same
# run, and each cell reads "before / after"; BEFORE_WINDOW names its window tool (default:
# korvani-gui-bench-tools/korvani_mail_window_start beside BEFORE, when there is one; a tool
# without the --mail mode shows "n/a").
#
# Usage: bench/hostile.sh [BUILD_DIR]   (make bench and make bench-hostile pass their build folder)
# Environment: AFTER, the korvani to measure (default BUILD_DIR/korvani); AFTER_WINDOW, its
# window tool (default BUILD_DIR/bench/korvani_mail_window_start; its rows are skipped when it is
# not built); BEFORE, BEFORE_WINDOW; TIMEOUT; RUNS; ONLY, a regular expression on the shape ids
# ("^(1a|4)$") to run only those, "window" among them for the window rows; BENCH_DIR, the folder
# to make the temporary folder in (default /dev/shm when it has room, else TMPDIR or /tmp).
# Not a test: nothing here fails on a figure; `make test` never runs it.
set -euo pipefail

build=${1:-build}
root=$(cd "$(dirname "$0")/.." && pwd)
case "$build" in
  /*) ;;
  *) build="$root/$build" ;;
esac
after=${AFTER:-$build/korvani}
after_window=${AFTER_WINDOW:-$build/bench/korvani_mail_window_start}
before=${BEFORE:-}
before_window=${BEFORE_WINDOW:-}
if [ -n "$before" ] && [ -z "$before_window" ]; then
  before_window="$(dirname "$before")/korvani-gui-bench-tools/korvani_mail_window_start"
fi
data_maker="$build/bench/korvani_bench_data"
limit=${TIMEOUT:-120}
runs=${RUNS:-3}
only=${ONLY:-.}
# Runs shorter than this many seconds are repeated: their ratios would be noise otherwise.
repeat_below=1
mib=1048576
kib=1024

for tool in "$after" "$data_maker" ${before:+"$before"}; do
  if [ ! -x "$tool" ]; then
    echo "hostile.sh: $tool is missing; build first (make build)" >&2
    exit 1
  fi
done
"$root/scripts/install-deps.sh" time coreutils

if [ -z "${BENCH_DIR:-}" ]; then
  BENCH_DIR=${TMPDIR:-/tmp}
  if [ -d /dev/shm ] && [ -w /dev/shm ] &&
     [ "$(df -Pk /dev/shm | awk 'NR == 2 { print $4 }')" -gt $((2 * 1024 * 1024)) ]; then
    BENCH_DIR=/dev/shm
  fi
fi
work=$(mktemp -d "$BENCH_DIR/korvani-hostile-XXXXXX")
trap 'rm -rf "$work"' EXIT

# The binaries measured, in the order they run and their cells read.
binaries=(after)
[ -n "$before" ] && binaries=(before after)
binary_of() { if [ "$1" = before ]; then echo "$before"; else echo "$after"; fi; }

# --- the cases ----------------------------------------------------------------------------------
# id | generator shape | file name (long: 255 bytes) | commands | N | 2N | what it is
# Commands: E extract -d DIR, L extract --list, J extract --json, R read -o FILE.
cases=(
  "1a|open-words-subject|short|E L J R|$((128 * kib))|$((256 * kib))|unclosed encoded words, Subject"
  "1b|open-words-name|short|E L J R|$((128 * kib))|$((256 * kib))|unclosed encoded words, filename"
  "2a|same-names|short|E L J R|$((250 * kib))|$((500 * kib))|attachments of one name"
  "2b|unique-names|short|E L J R|$((250 * kib))|$((500 * kib))|twin of 2a: each its own name"
  "3a|mbox|long|E L J R|$((2816 * kib))|$((5632 * kib))|mbox under a 255-byte name"
  "3b|mbox|short|E L J R|$((2816 * kib))|$((5632 * kib))|twin of 3a: a short name"
  "4|many-parts|short|E L J R|$((490 * kib))|$((980 * kib))|tiny parts beyond the part cap"
  "5|many-header-lines|short|E L J R|$((2 * mib))|$((4 * mib))|many header lines"
  "6|large-html|short|R|$((4 * mib))|$((8 * mib))|a large HTML part"
  "7|from-line-mbox|short|E L J R|$((8 * mib))|$((16 * mib))|mbox message with a >From line"
  "8|mbox|short|J|$((4 * mib))|$((8 * mib))|mbox of many messages, JSON"
  "9|long-header|short|E L J R|$((4 * mib))|$((8 * mib))|one long header line"
  "9b|long-header|short|E L J R|$((192 * kib))|$((384 * kib))|one long header line, under 512 KiB"
  "10a|long-line-subject|short|E L J R|$((4 * mib))|$((8 * mib))|no break point, Subject"
  "10b|long-line-body|short|R|$((4 * mib))|$((8 * mib))|no break point, body"
)
# The twin each case is compared with besides the ordinary mail.
declare -A twin=([2a]=2b [3a]=3b)
# The window's rows, shape|bytes: 10 MiB of the shapes that matter to it, and a Subject without a
# break point under 512 KiB, what a reader may well take whole; each size beside an ordinary mail.
window_cases=(
  "ordinary|$((10 * mib))" "long-line-subject|$((10 * mib))" "long-line-body|$((10 * mib))"
  "many-header-lines|$((10 * mib))" "large-html|$((10 * mib))" "many-parts|$((10 * mib))"
  "ordinary|$((384 * kib))" "long-line-subject|$((384 * kib))"
)

command_name() {
  case "$1" in
    E) echo "extract -d" ;;
    L) echo "extract --list" ;;
    J) echo "extract --json" ;;
    R) echo "read -o" ;;
  esac
}

# human_size BYTES: "384 KiB", "10.0 MiB".
human_size() {
  awk -v b="$1" 'BEGIN { if (b >= 1048576) printf "%.1f MiB", b / 1048576; else printf "%.0f KiB", b / 1024 }'
}

# --- measuring ----------------------------------------------------------------------------------
# run_once BINARY COMMAND FILE: one run of korvani in $work; sets $seconds (wall time), $cpu
# (user and system time of the process and its children), $peak_kib and $status ("0", "1", …,
# "timeout" or the signal's name). Its standard error is kept in $work/.stderr.
run_once() {
  local binary=$1 command=$2 file=$3 start end children
  local -a argv
  rm -rf "$work/out" "$work/out.txt" "$work/out.list"
  case "$command" in
    E) mkdir "$work/out" && argv=(extract "$file" -d "$work/out") ;;
    L) argv=(extract "$file" --list) ;;
    J) argv=(extract "$file" --json) ;;
    R) argv=(read "$file" -o "$work/out.txt") ;;
  esac
  start=$(date +%s%N)
  # `times` in the same subshell, not in a pipeline: its second line is the CPU time of what the
  # subshell waited for, to the millisecond.
  (
    cd "$work"
    /usr/bin/time -f '%M %x' -o "$work/.time" timeout -k 5 "$limit" "$binary" "${argv[@]}" \
      > "$work/out.list" 2> "$work/.stderr" || true
    times > "$work/.times"
  )
  end=$(date +%s%N)
  children=$(tail -n 1 "$work/.times")
  seconds=$(awk -v ns=$((end - start)) 'BEGIN { printf "%.4f", ns / 1e9 }')
  cpu=$(awk '{ split($1, u, /[ms]/); split($2, s, /[ms]/); printf "%.4f", u[1] * 60 + u[2] + s[1] * 60 + s[2] }' <<< "$children")
  read_time_file
}

# Sets $peak_kib and $status from /usr/bin/time's report in $work/.time.
read_time_file() {
  local last signal
  last=$(tail -n 1 "$work/.time")
  peak_kib=${last%% *}
  status=${last##* }
  signal=$(sed -n 's/^Command terminated by signal \([0-9]*\).*/\1/p' "$work/.time")
  if [ -n "$signal" ]; then
    status="SIG$(kill -l "$signal" 2>/dev/null || echo "$signal")"
  elif [ "$status" = 124 ]; then
    status=timeout
  fi
}

# The first line of the last run's standard error, without Qt's notes about the offscreen platform
# and the temporary folder's name; control characters (C0, DEL, C1) become "?" so that none
# reaches the terminal.
first_message() {
  { grep -v -e propagateSizeHints -e XDG_RUNTIME_DIR "$work/.stderr" || true; } | head -n 1 |
    sed "s|$work/||g" | LC_ALL=C.UTF-8 sed -E 's/[[:cntrl:]]/?/g; s/^(.{160}).+/\1…/'
}

median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# Results, by "KEY|binary": wall and CPU seconds (medians), peak KiB (the largest), status (the
# first that was not 0, else 0).
declare -A r_seconds=() r_cpu=() r_peak=() r_status=()
failures=()

# measure KEY BINARY_NAME COMMAND FILE
measure() {
  local key=$1 which=$2 command=$3 file=$4 binary run max worst=0
  local -a walls=() cpus=()
  binary=$(binary_of "$which")
  for ((run = 0; run < runs; run++)); do
    run_once "$binary" "$command" "$file"
    walls+=("$seconds")
    cpus+=("$cpu")
    if [ "$run" -eq 0 ] || [ "$peak_kib" -gt "$max" ]; then max=$peak_kib; fi
    if [ "$status" != 0 ] && [ "$worst" = 0 ]; then
      worst=$status
      failures+=("$key ($which): $status: $(first_message)")
    fi
    # Only short runs are repeated, and none that ran out of time or ended by a signal.
    if [ "$status" = timeout ] || [[ "$status" == SIG* ]] || awk -v s="$seconds" -v b=$repeat_below 'BEGIN { exit !(s >= b) }'; then
      break
    fi
  done
  r_seconds[$key|$which]=$(median "${walls[@]}")
  r_cpu[$key|$which]=$(median "${cpus[@]}")
  r_peak[$key|$which]=$max
  r_status[$key|$which]=$worst
}

# make_input SHAPE BYTES FILE: sets $summary to what the file holds, when the size does not say
# it all.
make_input() {
  "$data_maker" hostile "$1" "$2" > "$3" 2> "$work/.summary"
  summary=$(cat "$work/.summary")
}

# The ordinary mail of BYTES bytes, made once per size; its path on standard output.
ordinary_file() {
  local file="$work/ordinary-$1.eml"
  [ -f "$file" ] || "$data_maker" hostile ordinary "$1" > "$file" 2> /dev/null
  echo "$file"
}

declare -A c_bytes=() c_summary=()
# long_name PREFIX: a file name of 255 bytes, the longest a Linux file system takes.
long_name() {
  local name="$1-"
  while [ ${#name} -lt 250 ]; do name+=x; done
  echo "$name.mbox"
}

echo "Measuring in $work; a run under ${repeat_below} s is repeated $runs times" >&2
for entry in "${cases[@]}"; do
  IFS='|' read -r id shape naming commands small large label <<< "$entry"
  [[ "$id" =~ $only ]] || continue
  size_index=0
  for bytes in "$small" "$large"; do
    size_index=$((size_index + 1))
    file="$work/$id-$size_index.eml"
    [ "$naming" = long ] && file="$work/$(long_name "$id-$size_index")"
    make_input "$shape" "$bytes" "$file"
    actual=$(stat -c %s "$file")
    c_bytes[$id|$size_index]=$actual
    c_summary[$id|$size_index]=$summary
    ordinary=$(ordinary_file "$actual")
    for command in $commands; do
      for which in "${binaries[@]}"; do
        measure "$id|$command|$size_index" "$which" "$command" "$file"
        [ -n "${r_seconds[ordinary|$actual|$command|$which]:-}" ] ||
          measure "ordinary|$actual|$command" "$which" "$command" "$ordinary"
      done
    done
    rm -f "$file"
    echo "  done: $id ($label), $(awk -v b="$actual" -v m=$mib 'BEGIN { printf "%.2f MiB", b / m }')" >&2
  done
done

# --- the window ---------------------------------------------------------------------------------
# window_run TOOL FILE: sets $seconds (as the tool counts them; empty when it printed no number),
# $peak_kib and $status.
window_run() {
  (cd "$work" && QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME="$work/config" \
    XDG_RUNTIME_DIR="$work/runtime" /usr/bin/time -f '%M %x' -o "$work/.time" \
    timeout -k 5 "$limit" "$1" --mail "$2" > "$work/.window" 2> "$work/.stderr") || true
  seconds=$(awk 'NR == 1 && /^[0-9]+(\.[0-9]+)?$/ { print }' "$work/.window")
  read_time_file
}

declare -A window_tool=()
[ -x "$after_window" ] && window_tool[after]=$after_window
[ -n "$before_window" ] && [ -x "$before_window" ] && window_tool[before]=$before_window
if [[ window =~ $only ]] && [ ${#window_tool[@]} -gt 0 ]; then
  mkdir -p "$work/config" "$work/runtime"
  chmod 700 "$work/runtime"
  for entry in "${window_cases[@]}"; do
    shape=${entry%|*} bytes=${entry#*|} key="window|$entry"
    file="$work/window-$shape-$bytes.eml"
    make_input "$shape" "$bytes" "$file"
    for which in "${binaries[@]}"; do
      [ -n "${window_tool[$which]:-}" ] || continue
      window_run "${window_tool[$which]}" "$file"
      if [ -z "$seconds" ] && [ "$status" != timeout ]; then
        # A tool without the --mail mode prints its own figures instead.
        r_status[$key|$which]="n/a"
        continue
      fi
      r_seconds[$key|$which]=${seconds:-}
      r_peak[$key|$which]=$peak_kib
      r_status[$key|$which]=$status
      [ "$status" = 0 ] ||
        failures+=("window $shape $(human_size "$bytes") ($which): $status: $(first_message)")
    done
    c_bytes[$key]=$(stat -c %s "$file")
    rm -f "$file"
    echo "  done: window, $shape, $(human_size "$bytes")" >&2
  done
fi

# --- the table ----------------------------------------------------------------------------------
# cell VALUE...: the values of the binaries, "before / after" or one; empty for none.
cell() {
  [ $# -gt 0 ] || { echo; return; }
  local joined=$1 value
  shift
  for value in "$@"; do joined+=" / $value"; done
  echo "$joined"
}

# Formatters of one binary's figure for KEY.
seconds_of() {
  local key=$1
  case "${r_status[$key]:-}" in
    timeout) echo "> $limit" ;;
    "") echo "-" ;;
    *) printf '%.3f' "${r_seconds[$key]}" ;;
  esac
}
cpu_of() {
  case "${r_status[$1]:-}" in
    "") echo "-" ;;
    timeout) printf '> %.3f' "${r_cpu[$1]}" ;;
    *) printf '%.3f' "${r_cpu[$1]}" ;;
  esac
}
peak_mib_of() { [ -n "${r_peak[$1]:-}" ] && awk -v k="${r_peak[$1]}" 'BEGIN { printf "%.1f", k / 1024 }' || echo "-"; }
# ratio A B: A's time over B's (CPU time where both have it, else wall time), "> x" when A ran
# out of time, "?" when B did.
ratio() {
  local a=$1 b=$2
  local source=r_seconds
  if [ -n "${r_cpu[$a]:-}" ] && [ -n "${r_cpu[$b]:-}" ]; then source=r_cpu; fi
  local -n chosen=$source
  if [ -z "${r_status[$a]:-}" ] || [ -z "${r_status[$b]:-}" ] || [ "${r_status[$b]}" = timeout ] ||
     awk -v b="${chosen[$b]:-0}" 'BEGIN { exit !(b <= 0) }'; then
    echo "?"
  elif [ "${r_status[$a]}" = timeout ]; then
    # What it used until it was stopped: less than it would have needed.
    awk -v a="${chosen[$a]:-$limit}" -v b="${chosen[$b]}" 'BEGIN { printf "> %.1f", a / b }'
  else
    awk -v a="${chosen[$a]}" -v b="${chosen[$b]}" 'BEGIN { printf "%.2f", a / b }'
  fi
}
goals_missed=()
# growth A B WHICH LABEL: sets $verdict to the 2N/N ratio with its mark against 2.5, and notes
# a missed goal.
growth() {
  local value
  value=$(ratio "$1" "$2")
  if [[ "$value" == "?" ]]; then
    verdict="?"
  elif [[ "$value" == ">"* ]] || awk -v r="$value" 'BEGIN { exit !(r > 2.5) }'; then
    goals_missed+=("$3: $4: 2N/N $value")
    verdict="$value ✗"
  else
    verdict="$value ✓"
  fi
}
# bound KEY BYTES WHICH LABEL: sets $verdict to OK or OVER against 64 MiB + 2 × BYTES, and notes
# a missed goal.
bound() {
  if [ -z "${r_peak[$1]:-}" ]; then
    verdict="-"
  elif [ $((r_peak[$1] * 1024)) -le $((64 * mib + 2 * $2)) ]; then
    verdict="OK"
  else
    goals_missed+=("$3: $4: peak $(peak_mib_of "$1") MiB")
    verdict="OVER"
  fi
}

machine=$(awk -F': ' '/model name/ { print $2; exit }' /proc/cpuinfo)
echo
echo "Machine: $machine, $(nproc) cores, $(awk '/MemTotal/ { printf "%.0f GiB", $2 / 1048576 }' /proc/meminfo) memory; data in $BENCH_DIR."
if [ -n "$before" ]; then
  echo "Each cell: before ($before) / after ($after)."
else
  echo "korvani: $after."
fi
echo "Ratios of CPU time (user + system: less disturbed than wall time by other work on the machine)."
echo "2N/N: goal ≤ 2.5 (✓ met, ✗ not); bound: peak within 64 MiB + 2 × input; × ordinary: against an"
echo "ordinary mail of the same size (one Base64 attachment), same command; × twin: 2a against 2b, 3a"
echo "against 3b. A run under ${repeat_below} s is the median of $runs; TIMEOUT $limit s (wall)."
echo
echo "| shape | command | input | wall s | CPU s | peak MiB | 2N/N | peak × input | bound | exit | × ordinary | × twin |"
echo "|---|---|---|---|---|---|---|---|---|---|---|---|"
for entry in "${cases[@]}"; do
  IFS='|' read -r id shape naming commands small large label <<< "$entry"
  [[ "$id" =~ $only ]] || continue
  for command in $commands; do
    for size_index in 1 2; do
      bytes=${c_bytes[$id|$size_index]}
      key="$id|$command|$size_index"
      secs=() cpus=() peaks=() growths=() multiples=() bounds=() statuses=() ordinaries=() twins=()
      for which in "${binaries[@]}"; do
        secs+=("$(seconds_of "$key|$which")")
        cpus+=("$(cpu_of "$key|$which")")
        peaks+=("$(peak_mib_of "$key|$which")")
        label_of_row="$id $(command_name "$command") $(human_size "$bytes")"
        if [ "$size_index" = 2 ]; then
          growth "$key|$which" "$id|$command|1|$which" "$which" "$label_of_row"
          growths+=("$verdict")
        fi
        multiples+=("$(awk -v k="${r_peak[$key|$which]}" -v b="$bytes" 'BEGIN { printf "%.1f", k * 1024 / b }')")
        bound "$key|$which" "$bytes" "$which" "$label_of_row"
        bounds+=("$verdict")
        statuses+=("${r_status[$key|$which]}")
        ordinaries+=("$(ratio "$key|$which" "ordinary|$bytes|$command|$which")")
        if [ -n "${twin[$id]:-}" ]; then
          twins+=("$(ratio "$key|$which" "${twin[$id]}|$command|$size_index|$which")")
        fi
      done
      input=$(human_size "$bytes")
      [ -n "${c_summary[$id|$size_index]}" ] && input+=", ${c_summary[$id|$size_index]}"
      printf '| %s | %s | %s | %s | %s | %s | %s | %s | %s | %s | %s | %s |\n' \
        "$id $label" "$(command_name "$command")" "$input" "$(cell "${secs[@]}")" \
        "$(cell "${cpus[@]}")" \
        "$(cell "${peaks[@]}")" "$(cell "${growths[@]}")" "$(cell "${multiples[@]}")" \
        "$(cell "${bounds[@]}")" "$(cell "${statuses[@]}")" "$(cell "${ordinaries[@]}")" \
        "$(cell "${twins[@]}")"
    done
  done
done

window_shown=no
for entry in "${window_cases[@]}"; do
  [ -z "${c_bytes[window|$entry]:-}" ] || window_shown=yes
done
if [ "$window_shown" = yes ]; then
  echo
  echo "The mail window, first paint (offscreen; goal < 2 s for a 10 MiB mail of any shape):"
  echo
  echo "| shape | input | seconds | peak MiB | peak × input | × ordinary | exit |"
  echo "|---|---|---|---|---|---|---|"
  for entry in "${window_cases[@]}"; do
    shape=${entry%|*} bytes=${entry#*|}
    secs=() peaks=() multiples=() ordinaries=() statuses=()
    for which in "${binaries[@]}"; do
      key="window|$entry|$which"
      status=${r_status[$key]:-"n/a"}
      statuses+=("$status")
      if [ "$status" = "n/a" ]; then
        secs+=("n/a") peaks+=("n/a") multiples+=("n/a") ordinaries+=("n/a")
        continue
      fi
      secs+=("$(seconds_of "$key")")
      peaks+=("$(peak_mib_of "$key")")
      multiples+=("$(awk -v k="${r_peak[$key]}" -v b="${c_bytes[window|$entry]}" 'BEGIN { printf "%.1f", k * 1024 / b }')")
      ordinaries+=("$(ratio "$key" "window|ordinary|$bytes|$which")")
      if [ "$status" = timeout ] ||
         { [ -n "${r_seconds[$key]}" ] && awk -v s="${r_seconds[$key]}" 'BEGIN { exit !(s >= 2) }'; }; then
        goals_missed+=("$which: window $shape $(human_size "$bytes") first paint $(seconds_of "$key") s")
      fi
    done
    printf '| %s | %s | %s | %s | %s | %s | %s |\n' "$shape" \
      "$(human_size "${c_bytes[window|$entry]}")" "$(cell "${secs[@]}")" "$(cell "${peaks[@]}")" \
      "$(cell "${multiples[@]}")" "$(cell "${ordinaries[@]}")" "$(cell "${statuses[@]}")"
  done
elif [[ window =~ $only ]]; then
  echo
  echo "The mail window's rows are skipped: $after_window is not built."
fi

if [ ${#failures[@]} -gt 0 ]; then
  echo
  echo "Runs that did not exit 0 (the first line of their standard error):"
  printf -- '- %s\n' "${failures[@]}"
fi
if [ ${#goals_missed[@]} -gt 0 ]; then
  echo
  echo "Goals missed (${#goals_missed[@]}):"
  printf -- '- %s\n' "${goals_missed[@]}"
fi
