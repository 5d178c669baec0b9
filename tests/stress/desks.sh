#!/usr/bin/env bash
# Four desks on one PostgreSQL server: four admin-tool loops take payments (three charging
# dates, all houses shared), import owners and export the payment list at random, while a
# fifth loop kills one of their processes (SIGKILL) at random moments. Afterwards every
# receipt number a desk reported must be stored exactly once, no number twice, no gap in a
# date's numbers, no period charged twice, no paid-up date behind its payment, and each
# desk's import complete once run again.
#
#   DESK_SECONDS=60 ADMIN=build/bin/chengyue-admin tests/stress/desks.sh
#
# Starts its own throwaway server (tests/support/test-server.sh) in a temporary folder and
# removes both at the end.
set -euo pipefail
cd "$(dirname "$0")/../.."
. tests/stress/common.sh
secs=${DESK_SECONDS:-60}
rows=${IMPORT_ROWS:-300}
state=$work/server
cleanup() {
  local j
  touch "$work/stop" 2>/dev/null || true
  for j in $(jobs -p); do kill "$j" 2>/dev/null || true; done
  wait 2>/dev/null || true
  tests/support/test-server.sh stop "$state" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

tests/support/test-server.sh start "$state" >&2
base=$(cat "$state/url")
psql "$base" -qAtc "CREATE DATABASE desks" >/dev/null
db=${base%/postgres}/desks
"$ADMIN" init --db "$db" >/dev/null
"$ADMIN" demo --db "$db" --houses 600 --years 1 --charge-date 2024-10-10 >/dev/null 2>&1
sql "SELECT AName || '|' || theNum FROM UHouse WHERE theDel = '否'" >"$work/houses"
mapfile -t houses <"$work/houses"
dates=(2031-03-01 2031-03-02 2031-03-03)
for d in 1 2 3 4; do
  sql "INSERT INTO SArea (theName, Remark) VALUES ('窗口$d', '')" >/dev/null
  {
    echo '房号,面积,房屋用途,单价,到期日期,业主名称,手机号码,备注'
    for ((i = 1; i <= rows; i++)); do
      printf 'D%d-%04d,%d.5,住宅,2.5,2024-04-10,业主%d,139%08d,\n' "$d" "$i" $((40 + i % 90)) "$i" "$i"
    done
  } >"$work/sheet$d.csv"
done

desk() { # n deadline
  local n=$1 end=$2 h out rc r cdate
  : >"$work/desk$n.ok"; : >"$work/desk$n.err"
  while [ "$(date +%s)" -lt "$end" ] && [ ! -e "$work/stop" ]; do
    r=$((RANDOM % 20))
    set +e
    if [ $r -lt 15 ]; then
      h=${houses[$((RANDOM % ${#houses[@]}))]}
      cdate=${dates[$((RANDOM % 3))]}
      out=$("$ADMIN" charge --db "$db" --area "${h%%|*}" --room "${h#*|}" --years 1 --charge-date "$cdate" 2>"$work/desk$n.last")
      rc=$?
      if [ $rc -eq 0 ]; then
        echo "$out" >>"$work/desk$n.ok"
        echo charge >>"$work/desk$n.actions"
      elif [ $rc -eq 1 ] && ! grep -q '到期日期已由' "$work/desk$n.last"; then
        cat "$work/desk$n.last" >>"$work/desk$n.err"
      fi
    elif [ $r -lt 18 ]; then
      "$ADMIN" import --db "$db" "$work/sheet$n.csv" --area "窗口$n" --charge-date 2024-10-10 >/dev/null 2>"$work/desk$n.last"
      rc=$?
      [ $rc -eq 0 ] && echo import >>"$work/desk$n.actions"
      [ $rc -ne 0 ] && [ $rc -lt 128 ] && cat "$work/desk$n.last" >>"$work/desk$n.err"
    else
      "$ADMIN" export --db "$db" charges --out "$work/desk$n.xlsx" >/dev/null 2>"$work/desk$n.last"
      rc=$?
      [ $rc -eq 0 ] && echo export >>"$work/desk$n.actions"
      # Killed (128 + signal) is expected; any other failure, a refused command line too, is not.
      [ $rc -ne 0 ] && [ $rc -lt 128 ] && cat "$work/desk$n.last" >>"$work/desk$n.err"
    fi
    set -e
  done
}

killer() { # deadline
  local end=$1 victims
  while [ "$(date +%s)" -lt "$end" ]; do
    sleep "0.$((RANDOM % 9 + 1))"
    mapfile -t victims < <(pgrep -f "^$ADMIN (charge|import|export) " || true)
    if [ ${#victims[@]} -gt 0 ]; then
      kill -KILL "${victims[$((RANDOM % ${#victims[@]}))]}" 2>/dev/null && echo kill >>"$work/kills" || true
    fi
  done
}

end=$(( $(date +%s) + secs ))
for d in 1 2 3 4; do desk $d "$end" & done
killer "$end" &
wait
rm -f "$work/stop"

lines() { grep -c . "$1" 2>/dev/null || true; }
cat "$work"/desk?.ok >"$work/reported"
reported=$(lines "$work/reported")
errors=$(cat "$work"/desk?.err | grep -c . || true)
cat "$work"/desk?.err | head -5 >&2 || true
list=$(sed "s/.*/'&'/" "$work/reported" | paste -sd,)
stored_once=$(sql "SELECT COUNT(*) FROM (SELECT theNum FROM UCharge WHERE theNum IN (${list:-''}) GROUP BY theNum HAVING COUNT(*) = 1) AS once")
stored=$(sql "SELECT COUNT(*) FROM UCharge WHERE theDate IN ('2031-03-01', '2031-03-02', '2031-03-03')")
dups=$(sql "SELECT COUNT(*) FROM (SELECT theNum FROM UCharge GROUP BY theNum HAVING COUNT(*) > 1) AS d")
gaps=0
for cdate in "${dates[@]}"; do
  n=$(sql "SELECT COUNT(*) FROM UCharge WHERE theDate = '$cdate'")
  top=$(sql "SELECT COALESCE(MAX(CAST(substr(theNum, 7) AS INTEGER)), 0) FROM UCharge WHERE theDate = '$cdate'")
  [ "$n" = "$top" ] || gaps=$((gaps + 1))
done
overlaps=$(sql "SELECT COUNT(*) FROM UCharge a JOIN UCharge b ON a.HID = b.HID AND a.ID < b.ID WHERE a.QSDate <= b.JZDate AND b.QSDate <= a.JZDate")
behind=$(sql "SELECT COUNT(*) FROM UCharge c JOIN UHouse h ON h.ID = c.HID WHERE h.EndDate < c.JZDate")
# Killed imports are run once more: each adds exactly the rows it had not stored.
incomplete=0
for d in 1 2 3 4; do
  "$ADMIN" import --db "$db" "$work/sheet$d.csv" --area "窗口$d" --charge-date 2024-10-10 >/dev/null 2>&1 || true
  [ "$(sql "SELECT COUNT(*) FROM UHouse WHERE AName = '窗口$d' AND theDel = '否'")" = "$rows" ] || incomplete=$((incomplete + 1))
done
kills=$(lines "$work/kills")
count_of() { cat "$work"/desk?.actions 2>/dev/null | grep -c "^$1$" || true; }

check "errors reaching a desk" 0 "$errors"
check "reported payments stored exactly once" "$reported" "$stored_once"
check "duplicate receipt numbers" 0 "$dups"
check "dates with a gap in their numbers" 0 "$gaps"
check "periods charged twice" 0 "$overlaps"
check "paid-up dates behind their payment" 0 "$behind"
check "imports incomplete after a second run" 0 "$incomplete"
[ "$stored" -ge "$reported" ] || check "payments stored at least as many as reported" "$reported" "$stored"

echo "desks: four desks on one PostgreSQL server for ${secs}s, $kills processes killed at random"
echo "  payments:  $reported reported, $stored_once of them stored exactly once, $stored stored (the rest finished as their desk was killed)"
echo "  actions completed: $(count_of charge) payments, $(count_of import) imports, $(count_of export) exports"
echo "  duplicates: $dups receipt numbers; $gaps dates with gaps; $overlaps periods charged twice; $behind paid-up dates behind"
echo "  imports complete after one more run: $((4 - incomplete)) of 4"
[ "$failures" -eq 0 ] && echo "desks: all checks passed" || { echo "desks: $failures checks FAILED"; exit 1; }
