#!/usr/bin/env bash
# A throwaway PostgreSQL server for the tests: "start STATE" makes a cluster in a new
# temporary folder, starts it on a free port of 127.0.0.1 (and a socket in that folder)
# and writes the maintenance URL to STATE/url; "stop STATE" stops it and removes the
# folder. The server never runs as root: as root it runs as the account "postgres" that
# the server's package creates (or "chengyue-test", made here when that is missing).
set -euo pipefail
action=${1:?start|stop}
state=${2:?state folder}
mkdir -p "$state"

bindir=$(pg_config --bindir 2>/dev/null || true)
if [ -z "$bindir" ] || [ ! -x "$bindir/initdb" ]; then
  bindir=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
fi
if [ -z "$bindir" ] || [ ! -x "$bindir/initdb" ]; then
  echo "test-server: PostgreSQL's initdb not found (scripts/install-deps installs postgresql)" >&2
  exit 1
fi

as_user=()
if [ "$(id -u)" -eq 0 ]; then
  account=postgres
  if ! id "$account" >/dev/null 2>&1; then
    account=chengyue-test
    id "$account" >/dev/null 2>&1 || useradd --system --no-create-home --shell /usr/sbin/nologin "$account"
  fi
  as_user=(runuser -u "$account" --)
fi

stop() {
  [ -f "$state/dir" ] || return 0
  local dir
  dir=$(cat "$state/dir")
  if [ -d "$dir/data" ]; then
    "${as_user[@]}" "$bindir/pg_ctl" -D "$dir/data" -m immediate -w stop >/dev/null 2>&1 || true
  fi
  rm -rf "$dir"
  rm -f "$state/dir" "$state/url"
}

case "$action" in
stop)
  stop
  echo "test-server: stopped"
  ;;
start)
  stop
  dir=$(mktemp -d /tmp/chengyue-pgtest.XXXXXX)
  echo "$dir" >"$state/dir"
  chmod 755 "$dir"
  [ ${#as_user[@]} -eq 0 ] || chown "${as_user[2]}" "$dir"
  "${as_user[@]}" "$bindir/initdb" -D "$dir/data" -U postgres --auth=trust -E UTF8 --locale=C.UTF-8 \
    >"$dir/initdb.log" 2>&1 || { cat "$dir/initdb.log" >&2; exit 1; }
  # Every role is trusted but cy_password, which must give its password: the tests of
  # passwords in a desk's URL. The first matching line counts, so these come first.
  hba="$dir/data/pg_hba.conf"
  { printf 'host all cy_password 127.0.0.1/32 scram-sha-256\nlocal all cy_password scram-sha-256\n'; cat "$hba"; } >"$dir/hba.new"
  cat "$dir/hba.new" >"$hba"
  rm -f "$dir/hba.new"
  started=0
  for attempt in 1 2 3 4 5 6 7 8 9 10; do
    port=$((20000 + RANDOM % 40000))
    # A port something already answers on is not free.
    if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then continue; fi
    if "${as_user[@]}" "$bindir/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 start -o \
      "-p $port -k $dir -c listen_addresses=127.0.0.1 -c fsync=off -c synchronous_commit=off -c full_page_writes=off -c max_connections=300 -c shared_buffers=64MB" \
      >/dev/null 2>&1; then
      started=1
      break
    fi
  done
  if [ $started -ne 1 ]; then
    echo "test-server: the PostgreSQL server did not start" >&2
    cat "$dir/server.log" >&2 || true
    exit 1
  fi
  echo "postgresql://postgres@127.0.0.1:$port/postgres" >"$state/url"
  echo "test-server: PostgreSQL $("$bindir/postgres" --version | awk '{print $3}') on 127.0.0.1:$port ($dir)"
  ;;
*)
  echo "usage: $0 start|stop STATE" >&2
  exit 2
  ;;
esac
