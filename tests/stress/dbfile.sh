#!/usr/bin/env bash
# The database file on a read-only mount and on a full disk (small tmpfs), worked by the
# admin tool through the program's data layer: each failure gives a clear message, nothing
# is half stored, the file stays whole and is never truncated. Then the program's first
# start refusing a link planted where its database goes. Needs root (mount); skips
# cleanly without it. Bounded (a few seconds); removes its mounts and folders.
#
#   ADMIN=build/bin/chengyue-admin tests/stress/dbfile.sh
set -euo pipefail
cd "$(dirname "$0")/../.."
ADMIN=${ADMIN:-build/bin/chengyue-admin}
if [ "$(id -u)" -ne 0 ]; then
  echo "dbfile: skipped (needs root to mount a read-only folder and a small disk)"
  exit 0
fi
if [ ! -x "$ADMIN" ]; then
  echo "admin tool not found: $ADMIN (build it: cmake --build build --target chengyue-admin)" >&2
  exit 2
fi
ADMIN=$(readlink -f "$ADMIN")
work=$(mktemp -d)
mounts=()
cleanup() {
  local m
  for m in "${mounts[@]}"; do umount "$m" 2>/dev/null || umount -l "$m" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$work/xdg
mkdir -m 700 "$XDG_RUNTIME_DIR"
failures=0
check() { # name condition-result (0 = passed) detail
  if [ "$2" -ne 0 ]; then
    echo "FAILED: $1: $3" >&2
    failures=$((failures + 1))
  else
    echo "  ok: $1"
  fi
}
admin() { "$ADMIN" "$@" 2>&1 | { grep -v XDG_RUNTIME || true; }; return "${PIPESTATUS[0]}"; }
count() { admin sql --db "$1" "$2" | tail -n +2; }
sum() { sha256sum "$1" | cut -d' ' -f1; }

# A sheet of owners, for the imports below.
sheet=$work/owners.csv
{
  echo '房号,面积,房屋用途,单价,到期日期,业主名称,手机号码,备注'
  for ((i = 1; i <= 30000; i++)); do
    echo "D-$i,80.5,住宅,2.5,2024-04-10,业主$i,13900001111,第$i行的备注文字"
  done
} >"$sheet"

echo "dbfile: read-only folder"
ro=$work/ro
mkdir -p "$ro"
mount -t tmpfs -o size=8m tmpfs "$ro"
mounts+=("$ro")
mkdir "$ro/Data"
admin demo --db "$ro/Data/db.edb" --houses 100 --charge-date 2024-10-10 >/dev/null
admin sql --db "$ro/Data/db.edb" "INSERT INTO SArea (theName) VALUES ('只读区')" >/dev/null
before=$(sum "$ro/Data/db.edb")
mount -o remount,ro "$ro"
set +e
msg=$(admin sql --db "$ro/Data/db.edb" "SELECT COUNT(*) FROM UHouse"); rc=$?
check "reading on a read-only mount gives a clear message" $([ $rc -ne 0 ] && grep -q '只读\|写入权限' <<<"$msg"; echo $?) "$msg"
msg=$(admin charge --db "$ro/Data/db.edb" --area 阳光小区 --room 1-1-101 --years 1 --charge-date 2031-01-01); rc=$?
check "a payment on a read-only mount is refused clearly" $([ $rc -ne 0 ] && grep -q '只读\|写入权限' <<<"$msg"; echo $?) "$msg"
msg=$(admin import --db "$ro/Data/db.edb" "$sheet" --area 只读区); rc=$?
check "an import on a read-only mount is refused clearly" $([ $rc -ne 0 ] && grep -q '只读\|写入权限' <<<"$msg"; echo $?) "$msg"
msg=$(admin init --db "$ro/Data/new.edb"); rc=$?
check "init on a read-only mount is refused clearly" $([ $rc -ne 0 ] && [ -n "$msg" ]; echo $?) "$msg"
set -e
check "the file on the read-only mount is unchanged" $([ "$(sum "$ro/Data/db.edb")" = "$before" ]; echo $?) "checksum changed"
mount -o remount,rw "$ro"
check "after the mount is writable again the file is whole" $([ "$(count "$ro/Data/db.edb" 'PRAGMA integrity_check')" = ok ]; echo $?) "integrity"

echo "dbfile: missing Data folder"
set +e
msg=$(admin sql --db "$work/nowhere/Data/db.edb" "SELECT 1"); rc=$?
set -e
check "a missing Data folder gives a clear message and is not made" \
  $([ $rc -ne 0 ] && grep -q '找不到数据库文件' <<<"$msg" && [ ! -e "$work/nowhere" ]; echo $?) "$msg"

echo "dbfile: full disk"
full=$work/full
mkdir -p "$full"
mount -t tmpfs -o size=1200k tmpfs "$full"
mounts+=("$full")
db=$full/db.edb
admin init --db "$db" >/dev/null
admin sql --db "$db" "INSERT INTO SArea (theName) VALUES ('满区')" >/dev/null
admin sql --db "$db" "INSERT INTO SArea (theName) VALUES ('阳光小区')" >/dev/null
admin sql --db "$db" "INSERT INTO UHouse (AName, theNum, theArea, HType, thePrice, EndDate, theName, theDel, theDate, UName) VALUES ('阳光小区', '1-101', 100, '住宅', 2, '2024-04-10', '张三', '否', '2024-10-10', '管理员')" >/dev/null
# Fill the disk with the import; it stops at the batch that no longer fits.
set +e
msg=$(admin import --db "$db" "$sheet" --area 满区 --charge-date 2024-10-10); rc=$?
set -e
stored=$(count "$db" "SELECT COUNT(*) FROM UHouse WHERE AName = '满区'")
said=$(grep -o '此前已成功导入业主数据 [0-9]* 条' <<<"$msg" | grep -o '[0-9]\+' || echo '?')
check "an import onto a full disk stops with a clear message" $([ $rc -ne 0 ] && grep -q '磁盘空间不足\|读写数据库文件时出错' <<<"$msg"; echo $?) "$msg"
check "the import's message tells exactly what was stored ($stored)" $([ "$said" = "$stored" ]; echo $?) "said $said, stored $stored"
# Use up what is left of the disk, then take a payment.
dd if=/dev/zero of="$full/filler" bs=4k 2>/dev/null || true
set +e
msg=$(admin charge --db "$db" --area 阳光小区 --room 1-101 --years 1 --charge-date 2031-01-01); rc=$?
set -e
if [ $rc -eq 0 ]; then
  # The payment fitted into the journal's room; it must then be whole.
  check "a payment on a full disk is stored whole" $([ "$(count "$db" "SELECT EndDate FROM UHouse WHERE theNum = '1-101'")" = "$(count "$db" "SELECT JZDate FROM UCharge")" ]; echo $?) "$msg"
else
  check "a payment on a full disk is refused clearly" $(grep -q '磁盘空间不足\|读写数据库文件时出错' <<<"$msg"; echo $?) "$msg"
  check "the refused payment left nothing" $([ "$(count "$db" 'SELECT COUNT(*) FROM UCharge')" = 0 ] && [ "$(count "$db" "SELECT EndDate FROM UHouse WHERE theNum = '1-101'")" = 2024-04-10 ]; echo $?) "half stored"
fi
rm -f "$full/filler"
check "after the disk has room again the file is whole" $([ "$(count "$db" 'PRAGMA integrity_check')" = ok ]; echo $?) "integrity"

echo "dbfile: file size limit"
lim=$work/lim
mkdir -p "$lim"
admin demo --db "$lim/db.edb" --houses 100 --charge-date 2024-10-10 >/dev/null
size=$(stat -c %s "$lim/db.edb")
set +e
msg=$( (trap '' XFSZ; ulimit -f 40; "$ADMIN" demo --db "$lim/db2.edb" --houses 400 2>&1 | { grep -v XDG_RUNTIME || true; }) ); rc=$?
set -e
check "a file size limit gives a clear message" $(grep -q '磁盘空间不足\|读写数据库文件时出错\|文件大小' <<<"$msg"; echo $?) "$msg"
check "the existing file was not touched by the limited run" $([ "$(stat -c %s "$lim/db.edb")" = "$size" ]; echo $?) "size changed"

echo "dbfile: first start with a planted link"
# The program's first start on a new installation, with a link planted in the Data folder
# (as another account could where the folder was open to everybody): nothing is created
# through it, and the first start is kept for when the link is gone.
inst=$work/inst
mkdir -p "$inst/Data"
cp "$(dirname "$ADMIN")/chengyue" "$inst/"
touch "$inst/Data/first-start"
start() { (cd "$inst" && timeout 8 ./chengyue -platform offscreen >/dev/null 2>&1) || true; }
for planted in db.edb db.edb-wal; do
  ln -s "$work/victim-$planted" "$inst/Data/$planted"
  start
  check "the first start creates nothing through a link at $planted" $([ ! -e "$work/victim-$planted" ]; echo $?) "$(ls -l "$work")"
  check "the link at $planted and the first-start note stay, no database half made" \
    $([ -L "$inst/Data/$planted" ] && [ -e "$inst/Data/first-start" ] && { [ $planted = db.edb ] || [ ! -e "$inst/Data/db.edb" ]; }; echo $?) \
    "$(ls -la "$inst/Data")"
  rm "$inst/Data/$planted"
done
start
check "without the link the first start makes the database, 0660" $([ "$(stat -c %a "$inst/Data/db.edb" 2>/dev/null)" = 660 ] && [ ! -e "$inst/Data/first-start" ]; echo $?) "$(ls -la "$inst/Data")"

[ "$failures" -eq 0 ] && echo "dbfile: all checks passed" || { echo "dbfile: $failures checks FAILED"; exit 1; }
