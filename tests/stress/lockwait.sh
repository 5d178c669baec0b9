#!/usr/bin/env bash
# Two desks on one database, one of them holding the write lock again and again:
#   desk A: the admin tool's `sql` with an UPDATE and a slow statement in one transaction,
#           so that the write lock is held for about a second at a time;
#   desk B: the charge entry window (stress-charge-desk: the window's own look-up and save,
#           the program's lock-wait window and receipt preview, and an operator who looks at
#           each rendered receipt for a moment and closes it), a few payments per start;
#   between two starts of desk B, a backup is taken, and at the next pause the database is
#   restored from it with `chengyue-admin restore` (desk A paused meanwhile). A server is
#   backed up and restored with its own tools: with --server there are no restores.
# Counts crashes of desk B (none may happen), its payments that waited for desk A behind the
# lock-wait window, and receipt numbers issued twice: every number desk B reports must be
# reported once over the whole run, restores included. At the end the database must hold no
# number twice, every reported payment that no restore took back exactly once, and be whole.
#
#   LOCKWAIT_SECONDS=40 (30 with --server) DESK_PAYMENTS=4 ADMIN=build/bin/chengyue-admin \
#     DESK=build/bin/stress-charge-desk tests/stress/lockwait.sh [--server]
#
# Bounded by LOCKWAIT_SECONDS plus the setup and the last start of desk B (under a minute
# in all by default); works in a temporary folder (and with --server a throwaway server of its
# own, tests/support/test-server.sh) that it removes.
set -euo pipefail
cd "$(dirname "$0")/../.."
. tests/stress/common.sh
DESK=${DESK:-build/bin/stress-charge-desk}
if [ ! -x "$DESK" ]; then
  echo "charge desk not found: $DESK (build it: cmake --build build --target stress-charge-desk)" >&2
  exit 2
fi
server=0
[ "${1:-}" = --server ] && server=1
# The server's own start takes about ten seconds of the minute.
secs=${LOCKWAIT_SECONDS:-$((40 - 10 * server))}
per_start=${DESK_PAYMENTS:-4}
state=$work/server
cleanup() {
  local j
  touch "$work/stop" 2>/dev/null || true
  for j in $(jobs -p); do kill "$j" 2>/dev/null || true; done
  wait 2>/dev/null || true
  [ $server -eq 1 ] && { tests/support/test-server.sh stop "$state" >/dev/null 2>&1 || true; }
  rm -rf "$work"
}
trap cleanup EXIT

if [ $server -eq 1 ]; then
  tests/support/test-server.sh start "$state" >&2
  base=$(cat "$state/url")
  psql "$base" -qAtc "CREATE DATABASE lockwait" >/dev/null
  db=${base%/postgres}/lockwait
  "$ADMIN" init --db "$db" >/dev/null
  hold="UPDATE SDept SET F1 = F1 WHERE ID = 1; SELECT pg_sleep(1.2)"
else
  hold="UPDATE SDept SET F1 = F1 WHERE ID = 1; WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 3000000) SELECT COUNT(*) FROM c"
fi
"$ADMIN" demo --db "$db" --houses 400 --years 1 --charge-date 2024-10-10 >/dev/null 2>&1
sql "SELECT AName || '|' || theNum FROM UHouse WHERE theDel = '否'" >"$work/houses"
cdate=2031-03-01

# Desk A: holds the write lock for a while, then lets go for a moment; stops at "pause"
# (answering with "paused" once no statement of its own runs) and at "stop".
holder() {
  : >"$work/holder.ms"; : >"$work/holder.err"
  while [ ! -e "$work/stop" ]; do
    if [ -e "$work/pause" ]; then
      touch "$work/paused"
      sleep 0.05
      continue
    fi
    sleep "0.$((RANDOM % 6 + 1))"
    [ -e "$work/pause" ] && continue
    local t=$(date +%s%3N)
    "$ADMIN" sql --db "$db" "$hold" >/dev/null 2>>"$work/holder.err" || true
    echo $(( $(date +%s%3N) - t )) >>"$work/holder.ms"
  done
}
pause_holder() { touch "$work/pause"; while [ ! -e "$work/paused" ]; do sleep 0.05; done; }
resume_holder() { rm -f "$work/pause" "$work/paused"; }

holder &
starts=0 crashes=0 failed=0 restores=0 backups=0 restore_failures=0
crash_text=
end=$(( $(date +%s) + secs ))
# The payments the database should hold now: every one reported, less those a restore took.
expected=$work/expected
: >"$expected"
while [ "$(date +%s)" -lt "$end" ]; do
  starts=$((starts + 1))
  set +e
  "$DESK" --db "$db" --houses "$work/houses" --charge-date "$cdate" --payments "$per_start" \
    --out "$work/desk.$starts.ok" 2>"$work/desk.$starts.raw"
  rc=$?
  set -e
  touch "$work/desk.$starts.ok"
  grep -v 'XDG_RUNTIME\|propagateSizeHints' "$work/desk.$starts.raw" >"$work/desk.$starts.err" || true
  cut -f1 "$work/desk.$starts.ok" >>"$expected"
  if [ $rc -ge 128 ]; then
    crashes=$((crashes + 1))
    crash_text=${crash_text:-$(grep -m1 -i 'free\|corrupt\|abort\|segm' "$work/desk.$starts.err" || echo "signal $((rc - 128))")}
  elif [ $rc -ne 0 ]; then
    failed=$((failed + 1))
    head -3 "$work/desk.$starts.err" >&2
  fi
  [ $server -eq 1 ] && continue
  # Between payments: a backup now, a restore of it at the next pause.
  if [ $((starts % 2)) -eq 1 ]; then
    "$ADMIN" backup --db "$db" --out "$work/backup.$starts.edb" >/dev/null 2>&1 && backups=$((backups + 1))
    cp "$expected" "$work/expected.$starts"
  else
    pause_holder
    if "$ADMIN" restore --db "$db" --from "$work/backup.$((starts - 1)).edb" >/dev/null 2>"$work/restore.err"; then
      restores=$((restores + 1))
      # What the desk reported since the backup went with the restore.
      cp "$work/expected.$((starts - 1))" "$expected"
    else
      restore_failures=$((restore_failures + 1))
      head -3 "$work/restore.err" >&2
    fi
    resume_holder
  fi
done
touch "$work/stop"
wait

cat "$work"/desk.*.ok | cut -f1 >"$work/reported"
reported=$(grep -c . "$work/reported" || true)
waited=$(cat "$work"/desk.*.ok | awk -F'\t' '$2 == 1' | grep -c . || true)
twice=$(sort "$work/reported" | uniq -d | grep -c . || true)
holds=$(grep -c . "$work/holder.ms" || true)
longest_hold=$(sort -n "$work/holder.ms" | tail -1)
# Checked in the database as it stands after the last restore.
checked=$(grep -c . "$expected" || true)
once=0
if [ "$checked" -gt 0 ]; then
  list=$(grep . "$expected" | sed "s/.*/'&'/" | paste -sd,)
  once=$(sql "SELECT COUNT(*) FROM (SELECT theNum FROM UCharge WHERE theNum IN ($list) GROUP BY theNum HAVING COUNT(*) = 1)")
fi
dups=$(sql "SELECT COUNT(*) FROM (SELECT theNum FROM UCharge GROUP BY theNum HAVING COUNT(*) > 1)")
check "desk B crashes" 0 "$crashes"
check "desk B starts with a payment not stored or not previewed" 0 "$failed"
check "restores refused" 0 "$restore_failures"
check "payments reported and not taken back by a restore, stored exactly once" "$checked" "$once"
check "duplicate receipt numbers in the database" 0 "$dups"
check "receipt numbers issued twice across the restores" 0 "$twice"
[ $server -eq 0 ] && check "integrity_check" ok "$(sql 'PRAGMA integrity_check')"
[ "$waited" -gt 0 ] || echo "note: no payment waited for desk A (a very busy machine?)" >&2

echo "lockwait: ${secs}s on the $([ $server -eq 1 ] && echo server || echo file); desk A held the write lock $holds times (longest $longest_hold ms)"
echo "  desk B (charge entry window):     $starts starts, $crashes crashes${crash_text:+ ($crash_text)}, $failed with a failed payment"
echo "  payments:                         $reported reported and previewed, $waited of them behind the lock-wait window"
echo "  backups and restores:             $backups backups, $restores restores between payments"
echo "  receipt numbers issued twice:     $twice (over the whole run, across the restores)"
echo "  in the database now:              $once of the $checked payments reported and not taken back by a restore stored once; $dups duplicate numbers"
if [ "$twice" -gt 0 ]; then
  echo "  (a restore brought back a copy whose last receipt number is lower, and the numbers taken after"
  echo "   the copy were issued again to other payments)"
fi
[ "$failures" -eq 0 ]
