#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for the given seconds.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-15}
CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DJVS_BUILD_FUZZ=ON -DJVS_BUILD_TESTS=OFF -DJVS_SANITIZE=address,undefined -DJVS_WERROR=ON >/dev/null
targets=()
for src in fuzz/fuzz_*.cpp; do targets+=("$(basename "$src" .cpp)"); done
cmake --build build/fuzz -j"$(nproc)" --target "${targets[@]}"
for name in "${targets[@]}"; do
  target=build/fuzz/fuzz/$name
  corpus=build/fuzz/corpus/$name
  mkdir -p "$corpus"
  seeds=()
  [ -d "fuzz/seeds/${name#fuzz_}" ] && seeds=("fuzz/seeds/${name#fuzz_}")
  echo "fuzz: $name for ${seconds}s"
  # A crash makes libFuzzer exit non-zero, which fails the run.
  "$target" -max_total_time="$seconds" -print_final_stats=1 "$corpus" "${seeds[@]}" >build/fuzz/$name.log 2>&1 ||
    { tail -n 40 build/fuzz/$name.log; exit 1; }
  grep -E 'stat::number_of_executed_units|stat::peak_rss' build/fuzz/$name.log | tr '\n' ' '; echo
done
