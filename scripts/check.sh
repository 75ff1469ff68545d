#!/usr/bin/env bash
# Builds and runs every test: the default build, then the ASan+UBSan and TSan builds, then a short run of
# each fuzz target. Exits non-zero on the first failure.
#   scripts/check.sh            everything
#   scripts/check.sh default    one build only (default, asan, tsan or fuzz), or the installation packages
#                               (package: .deb files, wheel, consumers, scripts/package.sh)
set -euo pipefail
cd "$(dirname "$0")/.."

stages=("$@")
if ((${#stages[@]} == 0)); then
    stages=(default asan tsan fuzz package)
fi

need_fuzz=0
for s in "${stages[@]}"; do [[ "$s" == fuzz ]] && need_fuzz=1; done
QOLT_WITH_FUZZ=$need_fuzz scripts/install-deps.sh

for s in "${stages[@]}"; do
    echo "=== $s ==="
    case "$s" in
        default | asan | tsan)
            cmake --workflow --preset "$s"
            ;;
        fuzz)
            scripts/fuzz.sh "${QOLT_FUZZ_SECONDS:-30}"
            ;;
        package)
            scripts/package.sh
            ;;
        *)
            echo "unknown stage: $s" >&2
            exit 2
            ;;
    esac
done
echo "all checks passed"
