#!/usr/bin/env bash
# Static analysis of the driver (miniport/ detect/ modes/ services/ vdm/):
# clang-tidy with the checks of .clang-tidy and cppcheck, each over the
# driver's sources with the flags of the default preset's compile database
# (cmake --preset default writes it). Prints every finding as
# file:line: ... and exits 1 if there is any.
#
# clang-tidy sees the driver as the kernel image is built: -m32 from the
# database, plus -ffreestanding, and -Wglobal-constructors and
# -Wexit-time-destructors so that a static constructor is a finding;
# -Wno-missing-braces as in the clang build (the tables rely on brace
# elision).
# cppcheck checks the i386 configuration (-m32 defines __i386__, which the
# port header requires) with i386 type sizes. Its useStlAlgorithm advice is
# off: freestanding C++ has no <algorithm>, the driver loops by hand.
#
# A false positive is suppressed at its line with the reason next to it:
# NOLINT(check) for clang-tidy, cppcheck-suppress id for cppcheck.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
db=build/default/compile_commands.json
if [ ! -f "$db" ]; then
  echo "static_analysis: $db is missing: run cmake --preset default first" >&2
  exit 2
fi

work=build/default/static_analysis
rm -rf "$work"
mkdir -p "$work/tidy"
cmake -DIN="$db" -DOUT="$work/compile_commands.json" -DLIST="$work/sources" \
  -P scripts/driver_compile_commands.cmake
jobs=2

# clang-tidy, two files at a time, each file's report on its own; a header's
# findings come once per file that includes it and are counted once.
export root work
xargs -a "$work/sources" -P"$jobs" -I{} sh -c '
  log="$work/tidy/$(echo "$1" | tr / _).log"
  clang-tidy -p "$work" --quiet \
    --header-filter="^$root/(miniport|detect|modes|services|vdm)/" \
    --extra-arg=-ffreestanding --extra-arg=-Wglobal-constructors \
    --extra-arg=-Wexit-time-destructors --extra-arg=-Wno-missing-braces "$1" >"$log" 2>&1 || echo "$1" >>"$log.failed"
' sh {}
tidy=$(cat "$work"/tidy/*.log | grep -E '^[^ ]+:[0-9]+:[0-9]+: (warning|error):' |
  sed -e "s|^$root/||" -e 's/,-warnings-as-errors\]$/]/' | sort -u || true)
# A run that failed without a finding (a crash, a bad flag) is a failure too.
failed=$(cat "$work"/tidy/*.failed 2>/dev/null || true)

cppcheck_out=$(cppcheck --project="$work/compile_commands.json" -j"$jobs" --quiet \
  --enable=warning,style,performance,portability,information --inconclusive \
  --std=c++20 --platform=unix32 -D__i386__ --inline-suppr --suppress=useStlAlgorithm \
  --template='{file}:{line}: {severity}: {message} [{id}]' 2>&1 |
  sed "s|^$root/||" | sort -u || true)

status=0
if [ -n "$tidy" ]; then
  echo "$tidy"
  status=1
elif [ -n "$failed" ]; then
  echo "static_analysis: clang-tidy failed without a finding on:" >&2
  echo "$failed" >&2
  cat "$work"/tidy/*.log >&2
  status=1
fi
if [ -n "$cppcheck_out" ]; then
  echo "$cppcheck_out"
  status=1
fi
count=$(wc -l <"$work/sources")
if ((status == 0)); then
  echo "static_analysis: clang-tidy and cppcheck clean on $count driver sources"
else
  echo "static_analysis: findings in the driver (above)" >&2
fi
exit "$status"
