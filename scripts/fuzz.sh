#!/usr/bin/env bash
# Builds the fuzz preset (clang, i386, AddressSanitizer + UBSan, libFuzzer)
# and runs every harness from its seed corpus in fuzz/corpus/<harness>.
#
#   scripts/fuzz.sh [--short | --long SECONDS] [HARNESS...]
#
# --short (the default) runs each harness for 15 seconds, --long for the
# seconds given. New corpus entries and crash inputs go to
# build/fuzz/runs/<harness>/, never into the checked-in seeds. Exits non-zero
# when a harness found a crash, naming the input that reproduces it.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=15
case "${1:-}" in
  --short) shift ;;
  --long)
    seconds="${2:?--long needs a number of seconds}"
    shift 2
    ;;
esac
harnesses=("$@")
if ((${#harnesses[@]} == 0)); then
  harnesses=(requests restore session identification)
fi

bash scripts/setup.sh
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

# i386 executables run natively where the kernel can, else under qemu-i386.
# LeakSanitizer cannot stop the world under qemu.
export ASAN_OPTIONS="detect_leaks=0${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
runner=()
if ! build/fuzz/fuzz/requests_fuzzer -help=1 >/dev/null 2>&1; then
  runner=(qemu-i386)
fi

failed=0
printf '%-16s %10s %8s %8s %8s\n' harness executions exec/s coverage features
for harness in "${harnesses[@]}"; do
  work="build/fuzz/runs/$harness"
  mkdir -p "$work/corpus"
  log="$work/log"
  # The seeds go by name: a 32-bit process under qemu cannot list a
  # directory whose entries carry 64-bit offsets, so libFuzzer would find
  # none in a corpus directory.
  find "fuzz/corpus/$harness" "$work/corpus" -type f | paste -sd, - >"$work/seeds"
  seeds=()
  if [[ -s "$work/seeds" ]]; then seeds=(-seed_inputs="@$work/seeds"); fi
  status=0
  # The fuzzer stops itself after max_total_time; the outer timeout only
  # guards against a run that cannot stop.
  # -detect_leaks=0: the machine keeps memories of adapters gone for the
  # next ones, which libFuzzer would take for a leak and rerun every input.
  timeout $((seconds + 300)) "${runner[@]}" "build/fuzz/fuzz/${harness}_fuzzer" \
    -max_total_time="$seconds" -timeout=120 -rss_limit_mb=2560 -print_final_stats=1 -detect_leaks=0 \
    -artifact_prefix="$work/" "${seeds[@]}" "$work/corpus" >"$log" 2>&1 || status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
  ft=$(grep -o 'ft: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
  printf '%-16s %10s %8s %8s %8s\n' "$harness" "${runs:--}" "${speed:--}" "${cov:--}" "${ft:--}"
  if ((status != 0)); then
    failed=1
    echo "$harness: the fuzzer stopped with status $status; its log is $log" >&2
    grep -E 'invariant broken|ERROR: AddressSanitizer|runtime error|deadly signal|Test unit written' \
      "$log" >&2 || tail -20 "$log" >&2
  fi
done
exit "$failed"
