#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and the sanitizers and runs each for a bounded
# time (FUZZ_SECONDS, default 60; FUZZ_TARGETS to pick some; FUZZ_BUILD for the build
# folder, default build-fuzz), each under a memory limit (-rss_limit_mb, -malloc_limit_mb:
# an input that takes more is a finding). Crashing inputs are kept under <build>/crashes/; copy them
# into tests/fixtures/fuzz/<target>/ so the unit tests (tst_fuzzregress) replay them.
set -euo pipefail
cd "$(dirname "$0")/../.."
secs=${FUZZ_SECONDS:-60}
bd=${FUZZ_BUILD:-build-fuzz}
command -v clang++ >/dev/null || apt-get install -y -qq clang libclang-rt-14-dev >/dev/null
CC=clang CXX=clang++ cmake -S . -B $bd -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DBUILD_TESTING=OFF -DCHENGYUE_FUZZ=ON >/dev/null
targets=${FUZZ_TARGETS:-$(cd tests/fuzz && ls fuzz_*.cpp | sed 's/\.cpp$//')}
# The admin tool is the helper in which .xls files are read (fuzz_xls, fuzz_any).
cmake --build $bd --target $targets chengyue-admin >/dev/null
mkdir -p $bd/crashes
# Crashing inputs of earlier runs stay; the table counts this run's.
started=$bd/crashes/.run-started
touch "$started"
printf '%-22s %12s %8s\n' target executions crashes
for t in $targets; do
  corpus=$bd/corpus/$t
  mkdir -p "$corpus" $bd/crashes/$t
  # FreeXL alone keeps meeting its own known faults: it runs on, counting every input
  # that upsets it (the program reads .xls in the helper, where these cost a message).
  extra=
  if [ "$t" = fuzz_xls_freexl ]; then
    extra="-fork=1 -ignore_crashes=1 -ignore_ooms=1 -ignore_timeouts=1"
  elif [ -d tests/fixtures/fuzz/$t ]; then
    cp -n tests/fixtures/fuzz/$t/* "$corpus"/ 2>/dev/null || true
  fi
  if [ -d tests/fixtures/fuzz/seed-$t ]; then cp -n tests/fixtures/fuzz/seed-$t/* "$corpus"/ 2>/dev/null || true; fi
  # The small hostile files (memory, limits, quotes) start every reader's run.
  case $t in
    fuzz_xlsx) hostile="*.xlsx" ;;
    fuzz_ods) hostile="*.ods" ;;
    fuzz_csv) hostile="*.csv" ;;
    fuzz_any) hostile="*" ;;
    *) hostile= ;;
  esac
  if [ -n "$hostile" ]; then
    for g in tests/fixtures/hostile/$hostile; do
      case $g in *.py) ;; *) if [ -f "$g" ]; then cp -n "$g" "$corpus"/; fi ;; esac
    done
  fi
  log=$bd/$t.log
  # A helper process ends with its own report when FreeXL fails; its leaks are no finding.
  case $t in fuzz_xls | fuzz_any) asan=detect_leaks=0 ;; *) asan= ;; esac
  set +e
  ASAN_OPTIONS=$asan QT_QPA_PLATFORM=offscreen $bd/bin/$t -max_total_time="$secs" -timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=2048 \
    -artifact_prefix=$bd/crashes/$t/ $extra "$corpus" >"$log" 2>&1
  set -e
  execs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || true)
  [ -n "$execs" ] || execs=$(grep -Eo '#[0-9]+' "$log" | tail -1 | tr -d '#')
  crashes=$(find $bd/crashes/$t -type f -newer "$started" | wc -l)
  printf '%-22s %12s %8s\n' "$t" "${execs:-?}" "$crashes"
  rm -f /dev/shm/cy-fuzz-* "${TMPDIR:-/tmp}"/cy-fuzz-*
done
