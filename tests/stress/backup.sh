#!/usr/bin/env bash
# Backups while the office works: two copies take payments and a third imports owners
# while the admin tool takes one backup after the other. Every backup must pass the
# engine's full integrity check on its own (opened with the program's key), hold no fewer
# payments than the one before, and no payment reported to an operator may be missing
# from the source afterwards.
#
#   BACKUP_SECONDS=30 IMPORT_ROWS=20000 ADMIN=build/bin/chengyue-admin tests/stress/backup.sh
#
# Bounded by BACKUP_SECONDS plus the end of the import; works in a temporary folder that
# it removes.
set -euo pipefail
cd "$(dirname "$0")/../.."
. tests/stress/common.sh
secs=${BACKUP_SECONDS:-30}
import_rows=${IMPORT_ROWS:-20000}
cleanup() {
  local j
  for j in $(jobs -p); do kill "$j" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

"$ADMIN" demo --db "$db" --houses 2000 --charge-date 2024-10-10 >/dev/null 2>&1
cdate=2031-03-01
sql "SELECT AName || '|' || theNum FROM UHouse WHERE theDel = '否' AND ID % 2 = 0" >"$work/houses.even"
sql "SELECT AName || '|' || theNum FROM UHouse WHERE theDel = '否' AND ID % 2 = 1" >"$work/houses.odd"
sql "INSERT INTO SArea (theName, Remark) VALUES ('新区', '')" >/dev/null
sheet=$work/owners.csv
{
  echo '房号,面积,房屋用途,单价,到期日期,业主名称,手机号码,备注'
  for ((i = 1; i <= import_rows; i++)); do
    printf 'N-%05d,%d.25,住宅,2.5,2024-04-10,业主%d,138%08d,\n' "$i" $((50 + i % 100)) "$i" "$i"
  done
} >"$sheet"

charger() { # name house-list
  local name=$1 h out rc
  mapfile -t hs <"$2"
  : >"$work/$name.ok"; : >"$work/$name.err"
  while [ ! -e "$work/stop" ]; do
    h=${hs[$((RANDOM % ${#hs[@]}))]}
    set +e
    out=$("$ADMIN" charge --db "$db" --area "${h%%|*}" --room "${h#*|}" --years 1 --charge-date "$cdate" 2>"$work/$name.last")
    rc=$?
    set -e
    if [ "$rc" -eq 0 ]; then echo "$out" >>"$work/$name.ok"; else cat "$work/$name.last" >>"$work/$name.err"; fi
  done
}
lines() { grep -c . "$1" || true; }

charger A "$work/houses.even" &
charger B "$work/houses.odd" &
( set +e; "$ADMIN" import --db "$db" "$sheet" --area 新区 --charge-date 2024-10-10 >"$work/import.out" 2>"$work/import.err"
  echo $? >"$work/import.rc" ) &
imp=$!

end=$(( $(date +%s) + secs ))
n=0; backup_failures=0; longest=0
while [ "$(date +%s)" -lt "$end" ] || [ ! -e "$work/import.rc" ]; do
  n=$((n + 1))
  t=$(date +%s%3N)
  if ! "$ADMIN" backup --db "$db" --out "$work/Backup/b$n.edb" >"$work/backup.$n.out" 2>&1; then
    backup_failures=$((backup_failures + 1)); head -3 "$work/backup.$n.out" >&2
  fi
  ms=$(( $(date +%s%3N) - t )); [ "$ms" -gt "$longest" ] && longest=$ms
done
touch "$work/stop"
wait

# Every backup on its own: whole, and never fewer payments than the one before.
whole=0; prev=0; shrank=0
for ((i = 1; i <= n; i++)); do
  f=$work/Backup/b$i.edb
  [ -f "$f" ] || continue
  if "$ADMIN" check --db "$f" >/dev/null 2>&1; then whole=$((whole + 1)); else echo "backup $i not whole" >&2; fi
  c=$("$ADMIN" sql --db "$f" "SELECT COUNT(*) FROM UCharge" | tail -1)
  [ "$c" -lt "$prev" ] && shrank=$((shrank + 1))
  prev=$c
done
cat "$work/A.ok" "$work/B.ok" >"$work/reported"
reported=$(lines "$work/reported")
list=$(sed "s/.*/'&'/" "$work/reported" | paste -sd,)
stored_once=$(sql "SELECT COUNT(*) FROM (SELECT theNum FROM UCharge WHERE theNum IN (${list:-''}) GROUP BY theNum HAVING COUNT(*) = 1)")
check "backups that failed" 0 "$backup_failures"
check "backups whole" "$n" "$whole"
check "backups holding fewer payments than the one before" 0 "$shrank"
check "payment failures" 0 "$(( $(lines "$work/A.err") + $(lines "$work/B.err") ))"
check "import exit status" 0 "$(cat "$work/import.rc")"
check "imported houses" "$import_rows" "$(sql "SELECT COUNT(*) FROM UHouse WHERE AName = '新区' AND theDel = '否'")"
check "reported payments stored exactly once" "$reported" "$stored_once"
check "integrity_check" ok "$(sql 'PRAGMA integrity_check')"

echo "backup: ${secs}s of backups while two copies charge and one imports ${import_rows} owners"
echo "  backups taken:                    $n, $whole whole (full integrity check, opened with the key), longest $longest ms"
echo "  payments reported:                $reported, $stored_once stored exactly once in the source"
echo "  payments in the last backup:      $prev of $(sql 'SELECT COUNT(*) FROM UCharge') in the source at the end"
[ "$failures" -eq 0 ] && echo "backup: all checks passed" || { echo "backup: $failures checks FAILED"; exit 1; }
