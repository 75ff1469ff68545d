#!/usr/bin/env bash
# Builds the soak program in the default build and runs its short form: two hours of output with fast
# pacing (a few seconds of wall time), then 50 s in real time, resources sampled every 15 s. A failed
# check fails the run. The full soak (two hours of output, ten minutes in real time) is run by hand:
#   build/bench/qolt_soak
#   scripts/soak.sh [FAST_OUTPUT_SECONDS] [REALTIME_SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
fast=${1:-7200}
realtime=${2:-50}

cmake --preset default >/dev/null
cmake --build --preset default --target qolt_soak
build/bench/qolt_soak --fast-output "$fast" --realtime "$realtime" --sample-seconds 15 --seed "${QOLT_SOAK_SEED:-1}"
