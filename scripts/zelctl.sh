#!/usr/bin/env bash
# Sets up the machine if needed, builds zelctl (default preset) and runs it
# with the given arguments, under qemu-i386 where the kernel cannot run i386
# executables itself.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
bash scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default --target zelctl >/dev/null
runner=()
if ! build/default/i386-probe/probe 2>/dev/null; then runner=(qemu-i386); fi
exec env ASAN_OPTIONS=detect_leaks=0 "${runner[@]}" build/default/tools/zelctl/zelctl "$@"
