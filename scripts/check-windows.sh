#!/usr/bin/env bash
# The Windows stage: QOLT300x64.dll and the test programs cross-built with mingw-w64 (preset windows), run
# under wine in the build's own prefix, inside a virtual display (the device-change window needs one). The
# suites that talk to the instrument use the Linux virtual instrument, built first in build-wine-sim, on a
# COM port that wine maps to its pseudo-terminal.
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=${QOLT_JOBS:-2}
sim_build=build-wine-sim
cmake -S . -B "$sim_build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF -DQOLT_BUILD_BENCH=OFF \
    >/dev/null
cmake --build "$sim_build" -j "$jobs" --target qolt_sim_tool
sim="$PWD/$sim_build/bin/qolt-sim"

cmake --preset windows -DQOLT_LINUX_SIM="$sim"
cmake --build --preset windows -j "$jobs"

export WINEPREFIX="$PWD/build-windows/wineprefix"
export WINEDEBUG=-all
# Ends this prefix's wine server however the tests end (it would linger a few seconds otherwise).
trap '/usr/lib/wine/wineserver -k 2>/dev/null || wineserver -k 2>/dev/null || true' EXIT
xvfb-run -a ctest --preset windows
