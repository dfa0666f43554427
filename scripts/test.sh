#!/usr/bin/env bash
# Sets up the machine if needed, configures the default preset (i386,
# AddressSanitizer, UBSan), runs the static analysis of the driver on its
# compile database (scripts/static_analysis.sh), builds every target of the
# preset and runs every test; builds the release preset (-O3, no
# sanitizers) and runs its tests, so that the optimiser meets the driver
# too; measures the driver's coverage and checks it against
# docs/coverage.md (scripts/coverage.sh, about two minutes, nearly all of
# it the build); then gives each fuzz harness a short run (scripts/fuzz.sh
# --short, about a minute in all). The release run leaves out the image.* tests:
# zel.sys is built with the same flags in both presets.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset default
bash scripts/static_analysis.sh
cmake --build --preset default
ctest --preset default -j"$(nproc)"
cmake --preset release
cmake --build --preset release
ctest --preset release -j"$(nproc)"
bash scripts/coverage.sh
bash scripts/fuzz.sh --short
