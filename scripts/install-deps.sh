#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the tools need, skipping those already present.
# Usage: scripts/install-deps.sh [--fuzz]   (run as root, or with sudo available)
set -euo pipefail

packages=(cmake ninja-build g++ make libgtest-dev libgmock-dev libbenchmark-dev libedf-dev python3 binutils
    python3-pytest pkg-config dpkg-dev python3-build python3-setuptools python3-wheel)
if [[ "${1:-}" == "--fuzz" || "${QOLT_WITH_FUZZ:-0}" == "1" ]]; then
    packages+=(clang libclang-rt-dev)
fi

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]} == 0)); then
    exit 0
fi

echo "installing: ${missing[*]}"
sudo_cmd=()
if [[ $(id -u) -ne 0 ]]; then
    sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
