#!/usr/bin/env bash
# Builds and runs every test: the default build, then the ASan+UBSan and TSan builds, then a short run of
# each fuzz target, then a one-minute soak. Every stage runs even when an earlier one failed (a failing
# default build says nothing about what the sanitizers would find); at the end one line per stage tells
# how it went and how long it took, and the exit code is non-zero when any stage failed.
#   scripts/check.sh            everything
#   scripts/check.sh default    one build only (default, asan, tsan or fuzz), the short soak (soak:
#                               scripts/soak.sh), or the installation packages (package:
#                               scripts/package.sh); several may be named
# QOLT_SKIP_DEPS=1 leaves out the package step (scripts/install-deps.sh), for a machine set up by hand.
set -uo pipefail
cd "$(dirname "$0")/.."

stages=("$@")
if ((${#stages[@]} == 0)); then
    stages=(default asan tsan fuzz soak package)
fi
need_fuzz=0
for s in "${stages[@]}"; do
    case "$s" in
        default | asan | tsan | soak | package) ;;
        fuzz) need_fuzz=1 ;;
        *)
            echo "unknown stage: $s (default, asan, tsan, fuzz, soak or package)" >&2
            exit 2
            ;;
    esac
done

summary=()
failed=0
# run_stage NAME COMMAND...: runs the command, notes how it went and how long it took.
run_stage() {
    local name=$1
    shift
    echo "=== $name ==="
    local start=$SECONDS status
    if "$@"; then
        status=passed
    else
        status="FAILED (exit $?)"
        failed=1
    fi
    summary+=("$(printf '%-8s %-18s %5d s' "$name" "$status" $((SECONDS - start)))")
}

if [[ "${QOLT_SKIP_DEPS:-0}" != 1 ]]; then
    run_stage deps env QOLT_WITH_FUZZ=$need_fuzz scripts/install-deps.sh
fi
for s in "${stages[@]}"; do
    case "$s" in
        default | asan | tsan) run_stage "$s" cmake --workflow --preset "$s" ;;
        fuzz) run_stage fuzz scripts/fuzz.sh "${QOLT_FUZZ_SECONDS:-30}" ;;
        soak) run_stage soak scripts/soak.sh ;;
        package) run_stage package scripts/package.sh ;;
    esac
done

echo "=== summary ==="
printf '%s\n' "${summary[@]}"
if ((failed)); then
    echo "some checks failed"
    exit 1
fi
echo "all checks passed"
