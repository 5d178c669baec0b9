#!/usr/bin/env bash
# The district-scale benchmark: builds the benchmark (Release, build-bench/), generates the
# district's database and owner sheet when they are missing, then measures and prints the
# table (Markdown) on standard output; progress goes to standard error.
#
#   bench/run.sh [--scale 10] [--server] [--dir DIR] [--runs N] [--only ROWS]
#     --scale 10      ten times today's district (1,000,000 houses, ~10,000,000 payments),
#                     in files of their own (district-x10.edb); generating it takes long
#     --server        the rows on a throwaway PostgreSQL server (started here as an
#                     unprivileged account, the district copied into it with
#                     `chengyue-admin copy`, stopped at the end) beside plain libpq; the
#                     import and the export also on the file, in the same run
#     --dir DIR       the data folder (default bench/data)
#     --runs N        runs per operation (default 5)
#     --only ROWS     owners,charges,arrears,sort,scroll,stats,save,lookup,find,import,adminimport,export,
#                     check,backup,start
#   bench/run.sh --install-peers ...   also installs the Debian peers (python3-openpyxl,
#                                      python3-xlsxwriter) measured beside the program
# Each row gives the longest time the window's event loop did not answer during it.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${BENCH_BUILD_DIR:-build-bench}
dir=bench/data
scale=1
server=0
args=()
while [ $# -gt 0 ]; do
  case "$1" in
  --install-peers)
    SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends \
      python3-openpyxl python3-xlsxwriter >/dev/null
    ;;
  --scale) scale=$2; shift ;;
  --dir) dir=$2; shift ;;
  --server) server=1 ;;
  *) args+=("$1") ;;
  esac
  shift
done
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target chengyue-bench chengyue-admin >/dev/null
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
"$build"/bin/chengyue-bench generate --scale "$scale" --dir "$dir"

if [ $server -eq 0 ]; then
  exec "$build"/bin/chengyue-bench run --scale "$scale" --dir "$dir" "${args[@]}"
fi

# A server of its own, durable as an office's would be (the test server's settings trade
# durability for speed), stopped whatever happens.
state=$(mktemp -d /tmp/chengyue-bench-server.XXXXXX)
stop_server() { tests/support/test-server.sh stop "$state" >/dev/null 2>&1 || true; rm -rf "$state"; }
trap stop_server EXIT
tests/support/test-server.sh start "$state" >&2
admin_url=$(cat "$state/url")
psql -q -v ON_ERROR_STOP=1 "$admin_url" >/dev/null <<'SQL'
ALTER SYSTEM SET fsync = on;
ALTER SYSTEM SET synchronous_commit = on;
ALTER SYSTEM SET full_page_writes = on;
SELECT pg_reload_conf();
CREATE DATABASE district;
SQL
url=${admin_url%/*}/district
file="$dir/district.edb"
[ "$scale" -eq 1 ] || file="$dir/district-x$scale.edb"
echo "copying $file to the server" >&2
start=$(date +%s)
"$build"/bin/chengyue-admin copy --from "$file" --to "$url" >&2
echo "copied in $(( $(date +%s) - start )) s" >&2
# The copy's writing to disk finished before anything is timed.
psql -q "$url" -c "VACUUM ANALYZE" -c "CHECKPOINT" >/dev/null
"$build"/bin/chengyue-bench run --scale "$scale" --dir "$dir" --server "$url" "${args[@]}"
