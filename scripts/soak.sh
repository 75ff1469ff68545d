#!/usr/bin/env bash
# Builds the soak program in the default build and runs its short form: about 40 s of wall time with fast
# pacing (an hour of output), then 30 s in real time, resources sampled every 15 s. A failed check fails
# the run. The full soak (two hours of output, ten minutes in real time) is run by hand:
#   build/bench/qolt_soak
#   scripts/soak.sh [FAST_OUTPUT_SECONDS] [REALTIME_SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
fast=${1:-3600}
realtime=${2:-30}

cmake --preset default >/dev/null
cmake --build --preset default --target qolt_soak
build/bench/qolt_soak --fast-output "$fast" --realtime "$realtime" --sample-seconds 15 --seed "${QOLT_SOAK_SEED:-1}"
