#!/usr/bin/env bash
# Sets up the machine if needed, builds every target of the default preset
# (i386, AddressSanitizer, UBSan) and runs every test, then gives each fuzz
# harness a short run (scripts/fuzz.sh --short, about a minute in all).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset default
cmake --build --preset default
ctest --preset default -j"$(nproc)"
bash scripts/fuzz.sh --short
