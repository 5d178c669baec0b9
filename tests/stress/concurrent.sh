#!/usr/bin/env bash
# Two copies at once on one database file:
#   1. two copies take payments under the same charging date, on different houses;
#   2. two copies take payments for the same few houses (each house charged by both);
#   3. two imports into different areas while a third copy takes payments.
# Every payment reported must be stored once, with no duplicate receipt number and no gap;
# no period may be charged twice; no "database is locked" may reach the operator: a copy
# waits for the other and then succeeds, or (phase 2) is told that the house was charged
# meanwhile.
#
#   CONCURRENT_SECONDS=20 IMPORT_ROWS=100000 ADMIN=build/bin/chengyue-admin tests/stress/concurrent.sh
#
# Bounded by 2 x CONCURRENT_SECONDS plus the imports; works in a temporary folder that it
# removes.
set -euo pipefail
cd "$(dirname "$0")/../.."
. tests/stress/common.sh
secs=${CONCURRENT_SECONDS:-20}
import_rows=${IMPORT_ROWS:-100000}
cleanup() {
  local j
  for j in $(jobs -p); do kill "$j" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

"$ADMIN" demo --db "$db" --houses 400 --charge-date 2024-10-10 >/dev/null 2>&1
cdate=2031-03-01
sql "SELECT AName || '|' || theNum FROM UHouse WHERE theDel = '否' AND ID % 2 = 0" >"$work/houses.even"
sql "SELECT AName || '|' || theNum FROM UHouse WHERE theDel = '否' AND ID % 2 = 1" >"$work/houses.odd"
sql "SELECT AName || '|' || theNum FROM UHouse WHERE theDel = '否' ORDER BY ID LIMIT 4" >"$work/houses.few"

# One copy taking payments until the deadline, on random houses of a list. Writes the
# receipt numbers it reported to $work/<name>.ok and every failure text to <name>.err.
charger() { # name house-list deadline
  local name=$1 end=$3 h out rc t
  mapfile -t hs <"$2"
  : >"$work/$name.ok"; : >"$work/$name.err"
  while [ "$(date +%s)" -lt "$end" ] && [ ! -e "$work/stop" ]; do
    h=${hs[$((RANDOM % ${#hs[@]}))]}
    t=$(date +%s%3N)
    set +e
    out=$("$ADMIN" charge --db "$db" --area "${h%%|*}" --room "${h#*|}" --years 1 --charge-date "$cdate" 2>"$work/$name.last")
    rc=$?
    set -e
    echo $(( $(date +%s%3N) - t )) >>"$work/$name.ms"
    if [ "$rc" -eq 0 ]; then
      echo "$out" >>"$work/$name.ok"
    else
      grep -v XDG_RUNTIME "$work/$name.last" >>"$work/$name.err" || true
    fi
  done
}
lines() { grep -c . "$1" || true; }
locked() { cat "$work"/*.err 2>/dev/null | grep -ci 'locked\|busy' || true; }

# 1. Different houses.
end=$(( $(date +%s) + secs ))
charger A "$work/houses.even" "$end" &
charger B "$work/houses.odd" "$end" &
wait
p1=$(( $(lines "$work/A.ok") + $(lines "$work/B.ok") ))
e1=$(( $(lines "$work/A.err") + $(lines "$work/B.err") ))
cat "$work/A.err" "$work/B.err" | head -3 >&2
check "phase 1 failures" 0 "$e1"
check "phase 1 payments stored" "$p1" "$(sql "SELECT COUNT(*) FROM UCharge WHERE theDate = '$cdate'")"
cat "$work/A.ok" "$work/B.ok" >"$work/reported"

# 2. The same four houses, charged by both copies at once.
end=$(( $(date +%s) + secs ))
charger C "$work/houses.few" "$end" &
charger D "$work/houses.few" "$end" &
wait
p2=$(( $(lines "$work/C.ok") + $(lines "$work/D.ok") ))
moved=$(cat "$work/C.err" "$work/D.err" | grep -c '到期日期已由' || true)
other2=$(( $(lines "$work/C.err") + $(lines "$work/D.err") - moved ))
cat "$work/C.err" "$work/D.err" | grep -v '到期日期已由' | head -3 >&2 || true
check "phase 2 failures other than 'charged meanwhile'" 0 "$other2"
cat "$work/C.ok" "$work/D.ok" >>"$work/reported"

# 3. Two imports into different areas, each larger than several write batches, while a
#    third copy takes payments.
sheet=$work/owners.csv
{
  echo '房号,面积,房屋用途,单价,到期日期,业主名称,手机号码,备注'
  for ((i = 1; i <= import_rows; i++)); do
    printf 'C-%05d,%d.25,住宅,2.5,2024-04-10,业主%d,138%08d,\n' "$i" $((50 + i % 100)) "$i" "$i"
  done
} >"$sheet"
sql "INSERT INTO SArea (theName, Remark) VALUES ('东区', '')" >/dev/null
sql "INSERT INTO SArea (theName, Remark) VALUES ('西区', '')" >/dev/null
importer() { # area
  set +e
  "$ADMIN" import --db "$db" "$sheet" --area "$1" --charge-date 2024-10-10 >"$work/import.$1.out" 2>"$work/import.$1.raw"
  echo $? >"$work/import.$1.rc"
  grep -v XDG_RUNTIME "$work/import.$1.raw" >"$work/import.$1.err" || true
}
t0=$(date +%s%3N)
end=$(( $(date +%s) + 600 ))
importer 东区 &
i1=$!
importer 西区 &
i2=$!
charger E "$work/houses.even" "$end" &
e=$!
wait "$i1" "$i2"
import_ms=$(( $(date +%s%3N) - t0 ))
# The payment under way when the imports end is finished, not killed.
touch "$work/stop"
wait "$e"
p3=$(lines "$work/E.ok")
cat "$work/E.ok" >>"$work/reported"
cat "$work/import.东区.err" "$work/import.西区.err" "$work/E.err" | head -3 >&2
for a in 东区 西区; do
  check "import into $a exit status" 0 "$(cat "$work/import.$a.rc")"
  check "import into $a message" "成功导入业主数据 $import_rows 条！" "$(cat "$work/import.$a.out")"
  check "houses of $a" "$import_rows" "$(sql "SELECT COUNT(*) FROM UHouse WHERE AName = '$a' AND theDel = '否'")"
done
check "phase 3 payment failures" 0 "$(lines "$work/E.err")"

# Over all phases.
reported=$(grep -c . "$work/reported" || true)
list=$(sed "s/.*/'&'/" "$work/reported" | paste -sd,)
stored_once=$(sql "SELECT COUNT(*) FROM (SELECT theNum FROM UCharge WHERE theNum IN ($list) GROUP BY theNum HAVING COUNT(*) = 1)")
stamped=$(sql "SELECT COUNT(*) FROM UCharge WHERE theDate = '$cdate'")
highest=$(sql "SELECT IFNULL(MAX(CAST(substr(theNum, 7) AS INTEGER)), 0) FROM UCharge WHERE theDate = '$cdate'")
dups=$(sql "SELECT COUNT(*) FROM (SELECT theNum FROM UCharge GROUP BY theNum HAVING COUNT(*) > 1)")
overlaps=$(sql "SELECT COUNT(*) FROM UCharge a JOIN UCharge b ON a.HID = b.HID AND a.ID < b.ID WHERE (a.theDate = '$cdate' OR b.theDate = '$cdate') AND a.QSDate <= b.JZDate AND b.QSDate <= a.JZDate")
behind=$(sql "SELECT COUNT(*) FROM UCharge c JOIN UHouse h ON h.ID = c.HID WHERE h.EndDate < c.JZDate")
lockedall=$(locked)
lockedall=$((lockedall + $(cat "$work"/import.*.err | grep -ci 'locked\|busy' || true)))
check "reported payments stored exactly once" "$reported" "$stored_once"
check "payments of $cdate stored beyond those reported" "$reported" "$stamped"
check "receipt numbers without gaps" "$stamped" "$highest"
check "duplicate receipt numbers" 0 "$dups"
check "periods charged twice" 0 "$overlaps"
check "paid-up dates behind their charge" 0 "$behind"
check "'database is locked' reaching the operator" 0 "$lockedall"
check "integrity_check" ok "$(sql 'PRAGMA integrity_check')"

echo "concurrent: two copies for ${secs}s on different houses, ${secs}s on the same 4 houses; two ${import_rows}-row imports"
echo "  payments checked:                 $reported reported, $stored_once stored exactly once, $stamped stamped $cdate"
echo "    different houses:               $p1 payments"
echo "    same houses:                    $p2 payments, $moved refused as charged meanwhile by the other copy"
echo "    during the two imports:         $p3 payments, the longest took $(sort -n "$work/E.ms" | tail -1) ms"
echo "  duplicates found:                 $dups duplicate receipt numbers, $overlaps periods charged twice"
echo "  receipt sequence of $cdate:  highest $highest for $stamped payments"
echo "  longest payment (start to exit):  $(cat "$work"/*.ms | sort -n | tail -1) ms"
echo "  imports:                          2 x $import_rows rows into 东区 and 西区 at once in ${import_ms} ms"
echo "  'database is locked' reported:    $lockedall"
echo "  integrity_check:                  $(sql 'PRAGMA integrity_check')"
[ "$failures" -eq 0 ] && echo "concurrent: all checks passed" || { echo "concurrent: $failures checks FAILED"; exit 1; }
