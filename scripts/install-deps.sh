#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs the Debian packages the project builds and tests with, or the
# PACKAGEs given, when they are missing. Safe to run again.
#   scripts/install-deps.sh [PACKAGE...]
set -euo pipefail

packages=("$@")
[ ${#packages[@]} -gt 0 ] || packages=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-serialport-dev libgtest-dev libbenchmark-dev fonts-dejavu-core
          clang libclang-rt-14-dev help2man dpkg-dev nftables iproute2 libasio-dev)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
