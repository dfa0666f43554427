#!/usr/bin/env bash
# Sets up the machine if needed, builds zelctl and plays the demo: the driver
# on the simulated Zel adapter, step by step, with screenshots in zel-demo/
# (arguments go to `zelctl demo`, e.g. --out DIR, --mode 1024x768x16, memory=2M).
set -euo pipefail
exec bash "$(dirname "$0")/zelctl.sh" demo "$@"
