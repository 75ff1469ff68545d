#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, ASan+UBSan) and runs each for the given number of seconds on a copy
# of its seed corpus in fuzz/corpus/<target>/. Any finding fails the run.
#   scripts/fuzz.sh [SECONDS] [TARGET]
# The random seed is fixed (QOLT_FUZZ_SEED, default 1) so that a short run in CI explores the same inputs
# each time; long runs by hand should set QOLT_FUZZ_SEED=0 (a new seed per run).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
only=${2:-}

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
shopt -s nullglob
targets=(build-fuzz/fuzz/*_fuzz)
if ((${#targets[@]} == 0)); then
    echo "no fuzz targets yet"
    exit 0
fi
for t in "${targets[@]}"; do
    name=$(basename "$t")
    [[ -n "$only" && "$name" != "$only" ]] && continue
    work=$(mktemp -d)
    if [[ -d "fuzz/corpus/$name" ]]; then
        cp -r "fuzz/corpus/$name/." "$work/"
    fi
    echo "--- $name: ${seconds}s"
    (cd build-fuzz && "../$t" -seed="${QOLT_FUZZ_SEED:-1}" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 "$work") 2>&1 | tail -n 12
    rm -rf "$work"
done
