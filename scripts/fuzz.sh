#!/usr/bin/env bash
# Builds the fuzz preset (clang, i386, AddressSanitizer + UBSan, libFuzzer)
# and runs every harness from its seed corpus in fuzz/corpus/<harness>.
#
#   scripts/fuzz.sh [--short | --long SECONDS | --campaign RUNS [--jobs N]] [HARNESS...]
#
# --short (the default) runs each harness for 15 seconds, --long for the
# seconds given. --campaign runs each harness for RUNS executions, one
# harness after another, each in one process, or with --jobs N in N
# processes at once (libFuzzer's -fork), and then merges what it found into
# the checked-in corpus: the inputs that reach an edge the corpus does not
# (-merge=1 -use_counters=0) join fuzz/corpus/<harness> as campaign-*.
# Otherwise new corpus entries and crash inputs go to
# build/fuzz/runs/<harness>/, never into the checked-in seeds. Prints a line
# of figures per harness (executions, exec/s, coverage and features at the
# end, crashes, wall time; for a campaign the inputs merged) and how it ran.
# Exits non-zero when a harness found a crash, naming the input that
# reproduces it.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=15
runs=
jobs=1
while (($#)); do
  case "$1" in
    --short) shift ;;
    --long)
      seconds="${2:?--long needs a number of seconds}"
      shift 2
      ;;
    --campaign)
      runs="${2:?--campaign needs a number of executions}"
      shift 2
      ;;
    --jobs)
      jobs="${2:?--jobs needs a number of processes}"
      shift 2
      ;;
    *) break ;;
  esac
done
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

how="${runner[*]:-natively}"
if [[ -n "$runs" ]]; then
  how+=", $runs executions per harness"
  how+=$( ((jobs > 1)) && echo ", $jobs processes at once (-fork=$jobs)" || echo ", one process")
fi
echo "fuzzing $(date -u +%Y-%m-%dT%H:%MZ) on $(nproc) cores, $how, load average $(cut -d' ' -f1-3 /proc/loadavg)"

failed=0
printf '%-16s %11s %8s %6s %6s %7s %8s %7s\n' harness executions exec/s cov ft crashes "wall s" merged
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
  # A campaign stops after its executions, a timed run after its seconds;
  # the outer timeout only guards against a run that cannot stop.
  if [[ -n "$runs" ]]; then
    limit=(-runs="$runs")
    guard=$((7 * 24 * 3600))
    ((jobs > 1)) && limit+=(-fork="$jobs")
  else
    limit=(-max_total_time="$seconds")
    guard=$((seconds + 300))
  fi
  status=0
  start=$(date +%s)
  # -detect_leaks=0: the machine keeps memories of adapters gone for the
  # next ones, which libFuzzer would take for a leak and rerun every input.
  timeout "$guard" "${runner[@]}" "build/fuzz/fuzz/${harness}_fuzzer" "${limit[@]}" \
    -timeout=120 -rss_limit_mb=2560 -print_final_stats=1 -detect_leaks=0 \
    -artifact_prefix="$work/" "${seeds[@]}" "$work/corpus" >"$log" 2>&1 || status=$?
  wall=$(($(date +%s) - start))
  # One process ends with its final statistics; a fork run with its last
  # status line ("#N: cov: C ft: F corp: ... exec/s E oom/timeout/crash: ...").
  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
  if [[ -z "$executions" ]]; then
    executions=$(grep -o '^#[0-9]*: cov' "$log" | tail -1 | tr -dc 0-9)
    speed=$(grep -o 'exec/s [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
  fi
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
  ft=$(grep -o 'ft: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
  crashes=$(find "$work" -maxdepth 1 -name 'crash-*' -newer "$work/seeds" | wc -l)

  merged=-
  if [[ -n "$runs" && $status -eq 0 ]]; then
    if ((${#runner[@]})); then
      echo "$harness: merging needs a kernel that runs i386 code (libFuzzer lists the corpus)" >&2
    else
      # The corpus as checked in, then what the campaign found that reaches
      # an edge it does not; the additions keep their hash as a name.
      merge="$work/merge"
      rm -rf "$merge"
      mkdir -p "$merge"
      cp "fuzz/corpus/$harness/"* "$merge/"
      "build/fuzz/fuzz/${harness}_fuzzer" -merge=1 -use_counters=0 -detect_leaks=0 \
        "$merge" "$work/corpus" >"$work/merge.log" 2>&1
      merged=0
      for input in "$merge"/*; do
        name=$(basename "$input")
        [[ -e "fuzz/corpus/$harness/$name" ]] && continue
        cp "$input" "fuzz/corpus/$harness/campaign-${name:0:12}"
        merged=$((merged + 1))
      done
    fi
  fi
  printf '%-16s %11s %8s %6s %6s %7s %8s %7s\n' "$harness" "${executions:--}" "${speed:--}" \
    "${cov:--}" "${ft:--}" "$crashes" "$wall" "$merged"
  if ((status != 0)); then
    failed=1
    echo "$harness: the fuzzer stopped with status $status; its log is $log" >&2
    grep -E 'invariant broken|ERROR: AddressSanitizer|runtime error|deadly signal|Test unit written' \
      "$log" >&2 || tail -20 "$log" >&2
  fi
done
echo "load average at the end $(cut -d' ' -f1-3 /proc/loadavg)"
exit "$failed"
