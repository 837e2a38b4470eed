#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for the given seconds.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-15}
CC=clang CXX=clang++ scripts/build.sh build/fuzz -DJVS_BUILD_FUZZ=ON -DJVS_BUILD_TESTS=OFF \
  -DJVS_SANITIZE=address,undefined -DCMAKE_BUILD_TYPE=RelWithDebInfo
shopt -s nullglob
for target in build/fuzz/fuzz/fuzz_*; do
  [ -x "$target" ] || continue
  name=$(basename "$target")
  corpus=build/fuzz/corpus/$name
  mkdir -p "$corpus"
  seeds=fuzz/seeds/${name#fuzz_}
  echo "fuzz: $name for ${seconds}s"
  if [ -d "$seeds" ]; then
    "$target" -max_total_time="$seconds" -print_final_stats=1 "$corpus" "$seeds" 2>&1 | tail -n 3
  else
    "$target" -max_total_time="$seconds" -print_final_stats=1 "$corpus" 2>&1 | tail -n 3
  fi
done
