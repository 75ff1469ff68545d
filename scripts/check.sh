#!/usr/bin/env bash
# Builds and runs every test: the layer check, the default build, then the ASan+UBSan and TSan builds,
# a short run of each fuzz target, a one-minute soak, the installation packages, the Windows build under
# wine, and the cross builds for i386, armhf and arm64 with every test case under qemu-user. Every stage
# runs even when an earlier one failed (a failing default build says nothing about what the sanitizers
# would find); at the end one line per stage tells how it went and how long it took, and the exit code is
# non-zero when any stage failed.
#   scripts/check.sh            everything
#   scripts/check.sh default    one stage only: a build with its tests (default, asan, tsan, fuzz, i386,
#                               armhf or arm64), the include layers (layers: scripts/check-layers.sh), the
#                               short soak (soak: scripts/soak.sh), the installation packages (package:
#                               scripts/package.sh) or the Windows build under wine (windows:
#                               scripts/check-windows.sh); several may be named
# QOLT_SKIP_DEPS=1 leaves out the package step (scripts/install-deps.sh), for a machine set up by hand.
set -uo pipefail
cd "$(dirname "$0")/.."

stages=("$@")
if ((${#stages[@]} == 0)); then
    stages=(layers default asan tsan fuzz soak package windows i386 armhf arm64)
fi
need_fuzz=0
need_windows=0
need_cross=0
for s in "${stages[@]}"; do
    case "$s" in
        layers | default | asan | tsan | soak | package) ;;
        windows) need_windows=1 ;;
        fuzz) need_fuzz=1 ;;
        i386 | armhf | arm64) need_cross=1 ;;
        *)
            echo "unknown stage: $s (layers, default, asan, tsan, fuzz, soak, package, windows, i386, armhf or arm64)" >&2
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
    run_stage deps env QOLT_WITH_FUZZ=$need_fuzz QOLT_WITH_WINDOWS=$need_windows QOLT_WITH_CROSS=$need_cross scripts/install-deps.sh
fi
for s in "${stages[@]}"; do
    case "$s" in
        layers) run_stage layers scripts/check-layers.sh ;;
        default | asan | tsan | i386 | armhf | arm64) run_stage "$s" cmake --workflow --preset "$s" ;;
        fuzz) run_stage fuzz scripts/fuzz.sh "${QOLT_FUZZ_SECONDS:-30}" ;;
        soak) run_stage soak scripts/soak.sh ;;
        package) run_stage package scripts/package.sh ;;
        windows) run_stage windows scripts/check-windows.sh ;;
    esac
done

echo "=== summary ==="
printf '%s\n' "${summary[@]}"
if ((failed)); then
    echo "some checks failed"
    exit 1
fi
echo "all checks passed"
