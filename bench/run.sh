#!/usr/bin/env bash
# The district-scale benchmark: builds the benchmark (Release, build-bench/), generates the
# district's database and owner sheet in bench/data/ when they are missing, then measures
# and prints the table (Markdown) on standard output; progress goes to standard error.
#
#   bench/run.sh [--runs N] [--only owners,charges,arrears,scroll,stats,save,lookup,import,export,check,backup,start]
#   bench/run.sh --install-peers ...   also installs the Debian peers (python3-openpyxl,
#                                      python3-xlsxwriter) measured beside the program
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BENCH_BUILD_DIR:-build-bench}
args=()
for a in "$@"; do
  if [ "$a" = "--install-peers" ]; then
    SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends \
      python3-openpyxl python3-xlsxwriter >/dev/null
  else
    args+=("$a")
  fi
done
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target chengyue-bench >/dev/null
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
"$build"/bin/chengyue-bench generate --dir bench/data
exec "$build"/bin/chengyue-bench run --dir bench/data "${args[@]}"
