#!/usr/bin/env bash
# Crash safety: takes payments and imports owners with the admin tool and kills it with
# SIGKILL at random moments, over and over; then checks that the database file is whole,
# that every stored payment moved its house's paid-up date, that receipt numbers are
# unique and without gaps, that every receipt number the tool reported is stored, and
# that running the import once more adds exactly the rows the killed runs did not.
#
#   KILL_SECONDS=60 IMPORT_KILL_SECONDS=30 ADMIN=build/bin/chengyue-admin tests/stress/kill-charge.sh
#
# Bounded by the two durations (plus a few seconds of set-up and checks); works in a
# temporary folder that it removes.
set -euo pipefail
cd "$(dirname "$0")/../.."
. tests/stress/common.sh
secs=${KILL_SECONDS:-60}
import_secs=${IMPORT_KILL_SECONDS:-30}
import_rows=${IMPORT_ROWS:-5000}
pid=
cleanup() {
  if [ -n "$pid" ]; then kill -9 "$pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
now_ms() { date +%s%3N; }
rand_ms() { echo $(( (RANDOM * 32768 + RANDOM) % ($1 + 1) )); }
sleep_ms() { sleep "$(printf '%d.%03d' $(($1 / 1000)) $(($1 % 1000)))"; }

"$ADMIN" demo --db "$db" --houses 300 --charge-date 2024-10-10 >/dev/null 2>&1
cdate=2031-01-15
mapfile -t houses < <(sql "SELECT AName || '|' || theNum FROM UHouse WHERE theDel = '否'")

# Run with a random delay before the kill, up to a little more than a whole run takes,
# so that the kills land everywhere: start-up, key derivation, look-up, transaction, exit.
# Sets: status (exit status, 137 when killed), and the run's output in $work/out, $work/err.
run_killed() { # max_delay_ms command...
  local max=$1; shift
  "$@" >"$work/out" 2>"$work/err" &
  pid=$!
  sleep_ms "$(rand_ms "$max")"
  kill -9 "$pid" 2>/dev/null || true
  set +e
  { wait "$pid"; } 2>/dev/null
  status=$?
  set -e
  pid=
}

# Both run the tool in place of the (sub)shell that calls them, so that the kill reaches it.
charge_one() { # area|room
  exec "$ADMIN" charge --db "$db" --area "${1%%|*}" --room "${1#*|}" --years 1 --charge-date "$cdate"
}

# How long one payment takes from start to exit.
t0=$(now_ms)
for i in 1 2 3; do
  (charge_one "${houses[$((RANDOM % ${#houses[@]}))]}") >>"$work/reported" 2>/dev/null
done
run_ms=$(( ($(now_ms) - t0) / 3 ))

kills=0; completed=3; errors=0
end=$(( $(date +%s) + secs ))
while [ "$(date +%s)" -lt "$end" ]; do
  h=${houses[$((RANDOM % ${#houses[@]}))]}
  run_killed $((run_ms * 13 / 10)) charge_one "$h"
  if [ "$status" -eq 137 ]; then
    kills=$((kills + 1))
  elif [ "$status" -eq 0 ]; then
    completed=$((completed + 1))
    cat "$work/out" >>"$work/reported"
  else
    errors=$((errors + 1))
    grep -v XDG_RUNTIME "$work/err" | head -2 >&2 || true
  fi
done
charge_kills=$kills

# Owner import of a sheet larger than one write batch, killed at a random moment, each
# time into a new area; then the same import again, which must add exactly the rows the
# killed run did not store, and nothing twice.
sheet=$work/owners.csv
{
  echo '房号,面积,房屋用途,单价,到期日期,业主名称,手机号码,备注'
  for ((i = 1; i <= import_rows; i++)); do
    printf 'K-%05d,%d.5,住宅,2.5,2024-04-10,业主%d,139%08d,第%d行\n' "$i" $((60 + i % 90)) "$i" "$i" "$i"
  done
} >"$sheet"
import_into() { exec "$ADMIN" import --db "$db" "$sheet" --area "$1" --charge-date 2024-10-10; }
in_area() { sql "SELECT COUNT(*) FROM UHouse WHERE AName = '$1' AND theDel = '否'"; }
sql "INSERT INTO SArea (theName, Remark) VALUES ('计时小区', '')" >/dev/null
t0=$(now_ms)
(import_into 计时小区) >/dev/null 2>&1
import_ms=$(( $(now_ms) - t0 ))

import_kills=0; partial=0; rerun_added=0; rerun_wrong=0; dup_rooms=0
end=$(( $(date +%s) + import_secs ))
n=0
while [ "$(date +%s)" -lt "$end" ]; do
  n=$((n + 1))
  area=断电小区$n
  sql "INSERT INTO SArea (theName, Remark) VALUES ('$area', '')" >/dev/null
  run_killed $((import_ms * 12 / 10)) import_into "$area"
  if [ "$status" -eq 137 ]; then
    import_kills=$((import_kills + 1))
  elif [ "$status" -ne 0 ]; then
    errors=$((errors + 1))
    grep -v XDG_RUNTIME "$work/err" | head -2 >&2 || true
  fi
  stored=$(in_area "$area")
  if [ "$stored" -gt 0 ] && [ "$stored" -lt "$import_rows" ]; then partial=$((partial + 1)); fi
  added=$( (import_into "$area") 2>/dev/null | grep -o '[0-9]\+' | head -1)
  rerun_added=$((rerun_added + ${added:-0}))
  if [ "${added:-x}" != $((import_rows - stored)) ] || [ "$(in_area "$area")" != "$import_rows" ]; then
    rerun_wrong=$((rerun_wrong + 1))
  fi
  d=$(sql "SELECT COUNT(*) FROM (SELECT theNum FROM UHouse WHERE AName = '$area' AND theDel = '否' GROUP BY theNum HAVING COUNT(*) > 1)")
  dup_rooms=$((dup_rooms + d))
done
kills=$((charge_kills + import_kills))

# The checks.
check "integrity_check" ok "$(sql 'PRAGMA integrity_check')"
payments=$(sql "SELECT COUNT(*) FROM UCharge")
behind=$(sql "SELECT COUNT(*) FROM UCharge c JOIN UHouse h ON h.ID = c.HID WHERE h.EndDate < c.JZDate")
orphans=$(sql "SELECT COUNT(*) FROM UCharge c LEFT JOIN UHouse h ON h.ID = c.HID WHERE h.ID IS NULL")
dups=$(sql "SELECT COUNT(*) FROM (SELECT theNum FROM UCharge GROUP BY theNum HAVING COUNT(*) > 1)")
stamped=$(sql "SELECT COUNT(*) FROM UCharge WHERE theDate = '$cdate'")
highest=$(sql "SELECT IFNULL(MAX(CAST(substr(theNum, 7) AS INTEGER)), 0) FROM UCharge WHERE theDate = '$cdate'")
reported=$(sort -u "$work/reported" | grep -c . || true)
if [ "$reported" -gt 0 ]; then
  list=$(sort -u "$work/reported" | sed "s/.*/'&'/" | paste -sd,)
  stored=$(sql "SELECT COUNT(*) FROM UCharge WHERE theNum IN ($list)")
else
  stored=0
fi
check "paid-up dates behind their charge" 0 "$behind"
check "charges of no house" 0 "$orphans"
check "duplicate receipt numbers" 0 "$dups"
check "receipt numbers of $cdate without gaps" "$stamped" "$highest"
check "reported receipt numbers stored" "$reported" "$stored"
check "re-runs of the import that did not add exactly the missing rows" 0 "$rerun_wrong"
check "rooms imported twice" 0 "$dup_rooms"
check "failures other than the kills" 0 "$errors"

echo "kill-charge: ${secs}s of payments, ${import_secs}s of imports (a payment takes ${run_ms} ms, the ${import_rows}-row import ${import_ms} ms)"
echo "  kills survived:               $kills (payments $charge_kills, imports $import_kills)"
echo "  payments completed:           $completed, reported numbers stored: $stored of $reported"
echo "  payments checked:             $payments (paid-up date behind its charge: $behind)"
echo "  duplicates found:             $dups duplicate receipt numbers, $dup_rooms rooms imported twice"
echo "  receipt numbers of $cdate: $stamped stored, highest sequence $highest"
echo "  imports killed and re-run:    $n ($partial left part of the sheet stored; the re-runs added $rerun_added rows, wrong $rerun_wrong)"
echo "  integrity_check:              $(sql 'PRAGMA integrity_check')"
[ "$failures" -eq 0 ] && echo "kill-charge: all checks passed" || { echo "kill-charge: $failures checks FAILED"; exit 1; }
