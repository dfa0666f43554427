#!/usr/bin/env bash
# The speed of the simulated machine. Builds the release preset (i386,
# optimised, no sanitizers) and prints, for each piece of work, what it
# costs: instructions counted by valgrind's callgrind, and wall time, the
# median of several runs of the whole command. A piece of work is measured
# as the difference between two zelctl scripts (or harness replays) that
# differ by that work alone, repeated where one alone is too small to time.
# Then the fuzzing speed: the fuzz preset (clang, AddressSanitizer + UBSan,
# libFuzzer), each harness alone for F executions from its corpus (seed 1,
# so that runs compare), with libFuzzer's executions a second, the wall and
# processor time, and the load average around the run: the machine may be
# shared. Not a test: it prints figures and fails on nothing but a broken
# build.
#
#   scripts/bench.sh [--runs N] [--repeats M] [--fuzz-runs F]
#
# N runs for each median (default 5); each request or mode set M times in
# its script (default 50); F executions per harness (default 20000, 0: no
# fuzzing figures).
#
# i386 executables run natively where the kernel can run them, else under
# qemu-i386 (then the wall times are qemu's; the instruction counts are
# valgrind's and need a kernel that runs i386 code).
set -euo pipefail
cd "$(dirname "$0")/.."

runs=5
repeats=50
fuzzruns=20000
while (($#)); do
  case "$1" in
    --runs) runs="${2:?--runs needs a number}" ;;
    --repeats) repeats="${2:?--repeats needs a number}" ;;
    --fuzz-runs) fuzzruns="${2:?--fuzz-runs needs a number}" ;;
    *)
      echo "usage: scripts/bench.sh [--runs N] [--repeats M] [--fuzz-runs F]" >&2
      exit 2
      ;;
  esac
  shift 2
done

bash scripts/setup.sh
if ! command -v valgrind >/dev/null; then
  echo "bench: installing valgrind"
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq valgrind >/dev/null
fi
cmake --preset release >/dev/null
cmake --build --preset release --target zelctl requests_replay restore_replay session_replay \
  identification_replay >/dev/null

build=build/release
zelctl="$build/tools/zelctl/zelctl"
work="$build/bench"
mkdir -p "$work"
runner=()
if ! "$build/i386-probe/probe" 2>/dev/null; then runner=(qemu-i386); fi

# ---- the scripts: a baseline and the same with the work added
repeat() {  # repeat N LINE...: the lines N times over
  local n=$1
  shift
  for ((i = 0; i < n; ++i)); do printf '%s\n' "$@"; done
}
: >"$work/empty.zel"
printf 'start\n' >"$work/start.zel"
# Each piece of work $repeats times over, so that its time shows above the
# process's own.
{ echo start; repeat "$repeats" 'ioctl RESET_DEVICE'; } >"$work/reset.zel"
{ echo start; repeat "$repeats" save; } >"$work/save.zel"
{ echo start; repeat "$repeats" save restore; } >"$work/round-trip.zel"
# Mode 12: 1024 x 768 at 8 bits.
{ echo start; repeat "$repeats" 'ioctl SET_CURRENT_MODE in=0c000000'; } >"$work/mode-set.zel"
printf 'start\nioctl SET_CURRENT_MODE in=0c000000\n' >"$work/graphics.zel"
# Colour-table requests of one entry each (NumEntries 1, FirstEntry 7).
{
  cat "$work/graphics.zel"
  repeat 1000 'ioctl SET_COLOR_REGISTERS in=0100_0700_2a153f00'
} >"$work/colours.zel"

# ---- measuring
instructions() {  # the command's instructions, whatever its exit status
  { valgrind --tool=callgrind --callgrind-out-file=/dev/null "$@" 2>&1 >/dev/null || true; } |
    sed -n 's/.*Collected : //p'
}
wall_ns() {  # the median wall time of $runs runs, in nanoseconds
  local times=()
  for ((r = 0; r < runs; ++r)); do
    local t0 t1
    t0=$(date +%s%N)
    "${runner[@]}" "$@" >/dev/null 2>&1 || true
    t1=$(date +%s%N)
    times+=($((t1 - t0)))
  done
  printf '%s\n' "${times[@]}" | sort -n | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'
}
declare -A ir wall
measure() {  # measure NAME COMMAND...
  local name=$1
  shift
  ir[$name]=$(instructions "$@")
  wall[$name]=$(wall_ns "$@")
}
row() {  # row LABEL WITH BASE COUNT UNIT
  local label=$1 with=$2 base=$3 count=$4 unit=$5
  awk -v l="$label" -v i1="${ir[$with]}" -v i0="${ir[$base]}" -v w1="${wall[$with]}" \
    -v w0="${wall[$base]}" -v n="$count" -v u="$unit" 'BEGIN {
      i = (i1 - i0) / n; w = (w1 - w0) / n / 1e6
      printf "%-52s %12.3f M %10.3f ms   %s\n", l, i / 1e6, w, u }'
}

for s in empty start reset save round-trip mode-set graphics colours; do
  measure "$s" "$zelctl" run "$work/$s.zel"
done
declare -A inputs
for h in requests restore session identification; do
  mapfile -t files < <(find "fuzz/corpus/$h" -type f | sort)
  inputs[$h]=${#files[@]}
  measure "$h" "$build/fuzz/${h}_replay" "${files[@]}"
  measure "$h-none" "$build/fuzz/${h}_replay"
done

echo
echo "$(uname -m) kernel $(uname -r), $(nproc) cores; i386 code runs" \
  "${runner[*]:-natively}; release preset; medians of $runs runs"
printf '%-52s %14s %13s   %s\n' "work" "instructions" "wall" "per"
awk -v i="${ir[empty]}" -v w="${wall[empty]}" 'BEGIN {
  printf "%-52s %12.3f M %10.3f ms   %s\n", "process start-up (zelctl run of an empty script)",
    i / 1e6, w / 1e6, "process" }'
row "start: power-on, POST, driver load" start empty 1 "start"
row "IOCTL_VIDEO_RESET_DEVICE (BIOS text mode and font)" reset start "$repeats" "request"
row "IOCTL_VIDEO_SAVE_HARDWARE_STATE" save start "$repeats" "request"
row "save + restore round trip" round-trip start "$repeats" "round trip"
row "mode set: 1024 x 768 at 8 bits" mode-set start "$repeats" "mode set"
row "1,000 colour-table requests (one entry each)" colours graphics 1 "1,000 requests"
for h in requests restore session identification; do
  row "fuzz harness $h, its ${inputs[$h]} corpus inputs" "$h" "$h-none" "${inputs[$h]}" "input"
done

# ---- fuzzing speed: ASan + UBSan, one harness at a time, from the corpus
((fuzzruns > 0)) || exit 0
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz >/dev/null
export ASAN_OPTIONS="detect_leaks=0${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
fuzzrunner=()
if ! build/fuzz/fuzz/requests_fuzzer -help=1 >/dev/null 2>&1; then fuzzrunner=(qemu-i386); fi
echo
echo "fuzzing, ${fuzzrunner[*]:-natively}, each harness alone for $fuzzruns executions from its" \
  "corpus (seed 1)"
printf '%-16s %10s %8s %9s %8s %12s   %s\n' harness executions exec/s "wall s" "cpu s" \
  "exec/cpu s" "load average before, after"
TIMEFORMAT='%R %U %S'
for h in requests restore session identification; do
  scratch="$work/fuzz-$h"
  rm -rf "$scratch"
  mkdir -p "$scratch"
  find "$PWD/fuzz/corpus/$h" -type f | paste -sd, - >"$scratch.seeds"
  before=$(cut -d' ' -f1 /proc/loadavg)
  { time "${fuzzrunner[@]}" "build/fuzz/fuzz/${h}_fuzzer" -seed=1 -runs="$fuzzruns" \
    -detect_leaks=0 -print_final_stats=1 -seed_inputs="@$scratch.seeds" "$scratch" \
    >"$scratch.log" 2>&1; } 2>"$scratch.time"
  read -r real user sys <"$scratch.time"
  speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$scratch.log")
  awk -v h="$h" -v n="$fuzzruns" -v e="${speed:--}" -v r="$real" -v u="$user" -v s="$sys" \
    -v b="$before" -v a="$(cut -d' ' -f1 /proc/loadavg)" 'BEGIN {
      printf "%-16s %10d %8s %9.2f %8.2f %12.0f   %s, %s\n", h, n, e, r, u + s, n / (u + s), b, a }'
done
