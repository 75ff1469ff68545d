#!/usr/bin/env bash
# The installation packages, made and tried as a user would, in build-pkg/:
#   1. a plain configure that sees no package but the compiler and CMake (tests, benchmarks and EDFlib
#      hidden): it must succeed and build the library, the tools and the Python package;
#   2. the Debian packages (cpack), listed, their dependencies checked with apt's resolver;
#   3. the packages unpacked into a clean root: a consumer program built there with pkg-config and with
#      find_package and run against qolt-sim from that root; the Python module imported from it and its tests
#      run against it;
#   4. the wheel, built offline with Debian's python3-build, checked (tag against the library inside) and
#      its tests run from the unpacked wheel.
# Run by scripts/check.sh package; needs what scripts/install-deps.sh installs.
set -euo pipefail
cd "$(dirname "$0")/.."
root_dir=$PWD
build=build-pkg
python=/usr/bin/python3
[[ -x $python ]] || python=$(command -v python3)
version=$(head -n1 VERSION)

step() { printf '\n--- %s (%ds)\n' "$1" "$SECONDS"; }

step "plain configure: only the compiler and CMake"
rm -rf "$build"
# Every prefix the packages could be found under is ignored: GoogleTest, Google Benchmark and EDFlib are
# then missing, as on a machine with nothing else installed.
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQOLT_WERROR=ON -DCMAKE_INSTALL_PREFIX=/usr \
    -DCMAKE_IGNORE_PREFIX_PATH="/usr;/usr/local;/" | tee "$build.configure.log" | grep -E "skipped|Build files"
for skipped in "GoogleTest not found" "Google Benchmark not found"; do
    grep -q "$skipped" "$build.configure.log" || { echo "expected: $skipped" >&2; exit 1; }
done
mv "$build.configure.log" "$build/"
cmake --build "$build" -j2

step "Debian packages"
(cd "$build" && cpack -G DEB -B "$PWD/packages" >/dev/null)
debs=("$build"/packages/*.deb)
((${#debs[@]} == 4)) || { echo "expected 4 packages, got ${#debs[@]}" >&2; exit 1; }
for deb in "${debs[@]}"; do
    echo "== $(basename "$deb"): $(dpkg-deb -f "$deb" Package) $(dpkg-deb -f "$deb" Version)" \
        "[$(dpkg-deb -f "$deb" Architecture)] Depends: $(dpkg-deb -f "$deb" Depends)"
    dpkg -c "$deb" | awk '{print "   " $1, $3, $6, $7, $8}'
done
# The packages' dependencies on each other and on the system resolve (a dry run of apt, no download).
apt-get install --simulate --no-install-recommends "${debs[@]/#/./}" >"$build/apt-simulate.log" ||
    { cat "$build/apt-simulate.log" >&2; exit 1; }
grep -E "^Inst (libqolt1|libqolt-dev|qolt-tools|python3-qolt) " "$build/apt-simulate.log"

step "clean root: unpacked packages"
clean=$(mktemp -d /tmp/qolt-root.XXXXXX)
trap 'rm -rf "$clean"' EXIT
for deb in "${debs[@]}"; do
    dpkg -x "$deb" "$clean"
done
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH 2>/dev/null || gcc -print-multiarch)
libdir=$clean/usr/lib/$multiarch
for file in "$libdir/libqolt.so.1" "$libdir/libqolt.so" "$clean/usr/include/qolt_api.h" \
    "$libdir/pkgconfig/qolt.pc" "$libdir/cmake/qolt/qoltConfig.cmake" "$libdir/cmake/qolt/qoltConfigVersion.cmake" \
    "$clean/usr/bin/qolt" "$clean/usr/bin/qolt-sim" "$clean/usr/lib/udev/rules.d/60-qolt-instrument.rules" \
    "$clean/usr/lib/udev/rules.d/70-qolt-uaccess.rules" "$clean/usr/lib/python3/dist-packages/qolt/__init__.py"; do
    [[ -e $file ]] || { echo "missing from the packages: ${file#"$clean"}" >&2; exit 1; }
done
export LD_LIBRARY_PATH=$libdir

# The virtual instrument from the clean root, for the consumers.
sim_ready=$clean/sim.ready
"$clean/usr/bin/qolt-sim" --fast --ready-file "$sim_ready" >/dev/null &
sim_pid=$!
trap 'kill "$sim_pid" 2>/dev/null || true; rm -rf "$clean"' EXIT
for _ in $(seq 100); do [[ -s $sim_ready ]] && grep -q '^serial' "$sim_ready" && break; sleep 0.1; done
format=$(awk '$1 == "format" {print $2}' "$sim_ready")
lock_dir=$(awk '$1 == "lock-dir" {print $2}' "$sim_ready")
port=$(awk '$1 == "port" {print $2}' "$sim_ready")

step "consumer with pkg-config"
consumers=$(mktemp -d /tmp/qolt-consumers.XXXXXX)
trap 'kill "$sim_pid" 2>/dev/null || true; rm -rf "$clean" "$consumers"' EXIT
pc_flags=$(PKG_CONFIG_PATH=$libdir/pkgconfig PKG_CONFIG_LIBDIR=$libdir/pkgconfig pkg-config --cflags --libs qolt)
echo "pkg-config --cflags --libs qolt: $pc_flags"
cc -std=c11 -Wall -Wextra -Werror tests/package/consumer.c $pc_flags -o "$consumers/consumer-pkg-config"
ldd "$consumers/consumer-pkg-config" | grep libqolt
"$consumers/consumer-pkg-config" "$format" "$lock_dir" "$port"

step "consumer with find_package"
cmake -S tests/package -B "$consumers/cmake" -G Ninja -DCMAKE_PREFIX_PATH="$clean/usr" >/dev/null
grep "qolt_DIR" "$consumers/cmake/CMakeCache.txt"
cmake --build "$consumers/cmake" >/dev/null
"$consumers/cmake/consumer" "$format" "$lock_dir" "$port"
# SameMajorVersion: a request for another major release is refused.
if cmake -S tests/package -B "$consumers/cmake-2" -DCMAKE_PREFIX_PATH="$clean/usr" -DQOLT_WANTED_VERSION=2.0 \
    >"$consumers/major.log" 2>&1; then
    echo "find_package(qolt 2.0) accepted release $version" >&2
    exit 1
fi
grep -q "qoltConfig.cmake, version: $version" "$consumers/major.log"
echo "find_package(qolt 2.0) refused, as it should be"
kill "$sim_pid" 2>/dev/null || true
wait "$sim_pid" 2>/dev/null || true

step "Python module from the clean root"
dist=$clean/usr/lib/python3/dist-packages
PYTHONPATH=$dist PATH=$clean/usr/bin:$PATH "$python" - "$clean" "$version" <<'EOF'
import sys
import qolt
root, version = sys.argv[1], sys.argv[2]
assert qolt.__file__.startswith(root), qolt.__file__
assert qolt.library_path().startswith(root), qolt.library_path()
assert qolt.library_version() == qolt.__version__ == version
assert qolt.find_qolt_sim().startswith(root), qolt.find_qolt_sim()
print(f"qolt {qolt.__version__} from {qolt.__file__}, library {qolt.library_path()}")
EOF
PYTHONPATH=$dist PATH=$clean/usr/bin:$PATH PYTHONDONTWRITEBYTECODE=1 \
    "$python" -m pytest -q -p no:cacheprovider "$root_dir/python/tests" | tail -n 3
unset LD_LIBRARY_PATH

step "wheel"
wheel_src=$consumers/wheel-src
cp -r "$build/python" "$wheel_src"
rm -rf "$wheel_src/qolt/__pycache__"
strip --strip-unneeded "$wheel_src/qolt/libqolt.so.1" "$wheel_src/qolt/bin/qolt-sim"
"$python" -m build --wheel --no-isolation --outdir "$build/wheel" "$wheel_src" >"$build/wheel.log" 2>&1 ||
    { cat "$build/wheel.log" >&2; exit 1; }
wheels=("$build"/wheel/qolt-*.whl)
((${#wheels[@]} == 1)) || { echo "expected one wheel, got ${#wheels[@]}" >&2; exit 1; }
wheel=${wheels[0]}
"$python" python/tools/check_wheel.py "$wheel" "$version"
"$python" -m zipfile -l "$wheel" | awk 'NR > 1 {print "   " $1, $NF}'
unpacked=$consumers/wheel
"$python" -m zipfile -e "$wheel" "$unpacked"
chmod +x "$unpacked/qolt/bin/qolt-sim"
# Only the wheel: the library and qolt-sim beside the package, nothing on the loader's path or PATH.
env -u LD_LIBRARY_PATH PATH=/usr/bin:/bin PYTHONPATH="$unpacked" PYTHONDONTWRITEBYTECODE=1 \
    "$python" -m pytest -q -p no:cacheprovider "$root_dir/python/tests" | tail -n 3

step "done"
