#!/usr/bin/env bash
# Sets up the machine if needed, builds every target of the default preset
# (i386, AddressSanitizer, UBSan) and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset default
cmake --build --preset default
ctest --preset default -j"$(nproc)"
