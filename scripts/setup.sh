#!/usr/bin/env bash
# Installs what the build needs on a Debian 12 machine, when it is missing.
set -euo pipefail

# Full-screen sessions link the i386 Unicorn into the i386 simulator
# (multiarch, beside the amd64 one the bank-switch test uses), run Debian's
# SeaVGABIOS (seabios) and assemble their example program with nasm.
packages=(g++ g++-multilib cmake ninja-build libgtest-dev googletest clang-format qemu-user g++-mingw-w64-i686 mingw-w64-i686-dev libunicorn-dev libunicorn-dev:i386 seabios nasm libstb-dev clang libclang-rt-14-dev qemu-system-x86 clang-tidy cppcheck gcovr python3)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  if [ "$(id -u)" -ne 0 ]; then
    echo "setup: run as root to install packages" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  if ! dpkg --print-foreign-architectures | grep -qx i386; then dpkg --add-architecture i386; fi
  apt-get update -qq
  apt-get install -y -qq "${missing[@]}" >/dev/null
fi
