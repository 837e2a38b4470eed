#!/usr/bin/env bash
# Installs what is missing, builds every flavour and runs the whole suite:
# release with warnings as errors, AddressSanitizer + UndefinedBehaviorSanitizer,
# the threaded tests under ThreadSanitizer, and a short run of every fuzz target.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
export QT_QPA_PLATFORM=offscreen
jobs=$(nproc)

echo "== release build =="
scripts/build.sh build/release -DJVS_WERROR=ON
ctest --test-dir build/release --output-on-failure -j"$jobs"

echo "== Debian package =="
scripts/check-package.sh build/release

echo "== AddressSanitizer + UndefinedBehaviorSanitizer =="
scripts/build.sh build/asan -DJVS_WERROR=ON -DJVS_SANITIZE=address,undefined -DCMAKE_BUILD_TYPE=Debug
# The USB tests run jvs under umockdev-run, whose library is preloaded ahead of
# the sanitizer runtime. Leaks fail a test, the programs it starts included.
ASAN_OPTIONS=detect_leaks=1:verify_asan_link_order=0 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build/asan --output-on-failure -j"$jobs"

echo "== ThreadSanitizer (threaded tests) =="
cmake -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DJVS_WERROR=ON -DJVS_SANITIZE=thread >/dev/null
threaded=$(ctest --test-dir build/tsan -N -L threaded | sed -n 's/^ *Test *#[0-9]*: *//p')
cmake --build build/tsan -j"$jobs" --target jvs $threaded
# The window's tests load Qt, which is not instrumented: scripts/tsan-qt.supp
# ignores only the calls Qt's own libraries make into the sanitizer.
TSAN_OPTIONS="halt_on_error=1 suppressions=$(pwd)/scripts/tsan-qt.supp" \
  ctest --test-dir build/tsan --output-on-failure -L threaded

echo "== fuzz targets (short run each) =="
scripts/fuzz.sh 15

echo "== whole suite once more, release (summary) =="
ctest --test-dir build/release -j"$jobs"
