#!/usr/bin/env bash
# The main job on the virtual instrument, from a fresh checkout: installs what is missing, builds the tools,
# then plays an ECG complex with pacemaker pulses for 10 s and writes what the instrument played to
# capture.edf (EDF+) and capture.svg (a plot), in the repository's folder.
#   scripts/demo.sh              as above
#   scripts/demo.sh --fast       the same 10 s of output without waiting for them
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target qolt_cli qolt_sim_tool qolt_example_play_sine

build/bin/qolt --virtual play ecg --frequency 1 --amplitude 1000 --pacing-amplitude 2 --duration 10 \
    --capture capture.edf --plot capture.svg "$@"
