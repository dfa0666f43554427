#!/usr/bin/env bash
# Line and branch coverage of the driver (miniport/ detect/ modes/
# services/ vdm/): builds the coverage preset (gcc --coverage on the driver
# alone, i386, -O0, no sanitizers), runs its ctest, which replays every fuzz
# corpus too, and prints the coverage per driver file with every branch the
# run did not reach. The HTML report, line by line, is
# build/coverage/html/index.html.
#
# Fails when a line of the driver is not reached, when an unreached branch is
# not explained in docs/coverage.md (or an explained one is reached now), or
# when branch coverage falls below kMinBranch (the figure documented there,
# rounded down).
set -euo pipefail
cd "$(dirname "$0")/.."

kMinBranch=99.7

bash scripts/setup.sh
cmake --preset coverage >/dev/null
cmake --build --preset coverage
# Counters from an earlier run would add to this one. Every test but the
# corpus replays runs first, for a figure of its own; then the replays add
# to it. (An -E here replaces the preset's exclusion of image.* and qemu.*,
# whose driver code carries no counters.)
find build/coverage -name '*.gcda' -delete
ctest --preset coverage -j"$(nproc)" -E '^(image|qemu|fuzz)\.'

# Only the driver's objects carry counters; the filter keeps the report to
# the driver's own files.
# --exclude-unreachable-branches drops branches gcc attaches to lines with no
# code (a closing brace, a bare else); --exclude-throw-branches drops the
# exception edges of calls (the driver has no exceptions, so none should
# appear). Lines with no code at all are never counted by gcovr 5.
gcovr_options=(--root . --object-directory build/coverage
  --filter '^(miniport|detect|modes|services|vdm)/'
  --exclude-unreachable-branches --exclude-throw-branches)
gcovr "${gcovr_options[@]}" --json build/coverage/suites.json
ctest --preset coverage -j"$(nproc)" -R '^fuzz\.'
mkdir -p build/coverage/html
gcovr "${gcovr_options[@]}" --json build/coverage/coverage.json \
  --html-details build/coverage/html/index.html --html-title "Zel driver coverage"
python3 scripts/coverage_report.py build/coverage/coverage.json docs/coverage.md \
  --min-branch "$kMinBranch" --suites build/coverage/suites.json
echo "coverage: HTML report in build/coverage/html/index.html"
