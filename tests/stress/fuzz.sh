#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and the sanitizers and runs each for a bounded
# time (FUZZ_SECONDS, default 60). Crashing inputs are kept under build-fuzz/crashes/;
# copy them into tests/fixtures/fuzz/<target>/ so the unit tests replay them.
set -euo pipefail
cd "$(dirname "$0")/../.."
secs=${FUZZ_SECONDS:-60}
command -v clang++ >/dev/null || apt-get install -y -qq clang libclang-rt-14-dev >/dev/null
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DBUILD_TESTING=OFF -DCHENGYUE_FUZZ=ON >/dev/null
targets=$(cd tests/fuzz && ls fuzz_*.cpp | sed 's/\.cpp$//')
cmake --build build-fuzz --target $targets >/dev/null
mkdir -p build-fuzz/crashes
printf '%-22s %12s %8s\n' target executions crashes
for t in $targets; do
  corpus=build-fuzz/corpus/$t
  mkdir -p "$corpus" build-fuzz/crashes/$t
  if [ -d tests/fixtures/fuzz/$t ]; then cp -n tests/fixtures/fuzz/$t/* "$corpus"/ 2>/dev/null || true; fi
  if [ -d tests/fixtures/fuzz/seed-$t ]; then cp -n tests/fixtures/fuzz/seed-$t/* "$corpus"/ 2>/dev/null || true; fi
  log=build-fuzz/$t.log
  set +e
  QT_QPA_PLATFORM=offscreen build-fuzz/bin/$t -max_total_time="$secs" -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix=build-fuzz/crashes/$t/ "$corpus" >"$log" 2>&1
  set -e
  execs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || true)
  [ -n "$execs" ] || execs=$(grep -Eo '#[0-9]+' "$log" | tail -1 | tr -d '#')
  crashes=$(ls build-fuzz/crashes/$t | wc -l)
  printf '%-22s %12s %8s\n' "$t" "${execs:-?}" "$crashes"
done
