#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the tools need, skipping those already present, and
# generates a locale with a decimal comma (de_DE.UTF-8) for the test that numbers in files keep their meaning
# whatever locale the application set.
# With --cross (or QOLT_WITH_CROSS=1) also what the cross builds need: Debian's cross compilers, qemu-user,
# and the target's GoogleTest and EDFlib from the multiarch archive (the architectures are added first).
# Usage: scripts/install-deps.sh [--fuzz] [--windows] [--cross]   (run as root, or with sudo available)
set -euo pipefail

packages=(cmake ninja-build g++ make libgtest-dev libgmock-dev libbenchmark-dev libedf-dev nlohmann-json3-dev python3
    binutils locales python3-pytest pkg-config dpkg-dev python3-build python3-setuptools python3-wheel)
if [[ " $* " == *" --fuzz "* || "${QOLT_WITH_FUZZ:-0}" == "1" ]]; then
    packages+=(clang libclang-rt-dev)
fi
# The Windows build: the mingw-w64 cross compiler (POSIX thread model), wine to run it, a virtual display.
if [[ " $* " == *" --windows "* || "${QOLT_WITH_WINDOWS:-0}" == "1" ]]; then
    packages+=(g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine64 xvfb xauth)
fi
with_cross=0
if [[ " $* " == *" --cross "* || "${QOLT_WITH_CROSS:-0}" == "1" ]]; then
    with_cross=1
fi
cross_architectures=(i386 armhf arm64)
if [[ "$with_cross" == 1 ]]; then
    packages+=(qemu-user)
    for arch in "${cross_architectures[@]}"; do
        packages+=("crossbuild-essential-$arch" "libgtest-dev:$arch" "libgmock-dev:$arch" "libedf-dev:$arch")
    done
fi

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
sudo_cmd=()
if [[ $(id -u) -ne 0 ]]; then
    sudo_cmd=(sudo)
fi

if [[ "$with_cross" == 1 ]]; then
    known=" $(dpkg --print-foreign-architectures | tr '\n' ' ') "
    for arch in "${cross_architectures[@]}"; do
        if [[ "$known" != *" $arch "* ]]; then
            echo "adding the $arch architecture"
            "${sudo_cmd[@]}" dpkg --add-architecture "$arch"
        fi
    done
fi

if ((${#missing[@]} > 0)); then
    echo "installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    "${sudo_cmd[@]}" apt-get update -qq
    "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# A fresh Debian has only C and C.UTF-8.
if ! locale -a 2>/dev/null | grep -qiE '^de_DE\.utf-?8$'; then
    echo "generating the de_DE.UTF-8 locale"
    if ! grep -qE '^de_DE\.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null; then
        echo "de_DE.UTF-8 UTF-8" | "${sudo_cmd[@]}" tee -a /etc/locale.gen >/dev/null
    fi
    "${sudo_cmd[@]}" locale-gen >/dev/null
fi
