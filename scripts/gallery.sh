#!/usr/bin/env bash
# The gallery of every screen, with realistic data, into docs/ (or the given folder).
#
# Builds the program, makes a demo database with `chengyue-admin demo`, starts the real
# program under Xvfb and works it the way an operator does, with the keyboard only
# (menus by their access keys, Tab, the arrow keys, Enter, the Menu key for the grids'
# pop-up menus, Escape to close), taking a picture of each screen. xdotool stands in for
# the person at the keyboard; without a window manager it also hands the keyboard to the
# window in front, which a window manager would do. The receipt is written as a PDF by
# the admin tool and turned into a PNG with pdftoppm.
#
# Needs xvfb, xdotool, imagemagick (import, convert) and poppler-utils (pdftoppm).
# Usage: scripts/gallery.sh [build dir] [output dir]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
out=$(realpath -m "${2:-docs}")
mkdir -p "$out"
for tool in Xvfb xdotool import convert pdftoppm; do
    command -v "$tool" >/dev/null || { echo "gallery: $tool is missing" >&2; exit 1; }
done

if [ ! -f "$build/build.ninja" ] && [ ! -f "$build/Makefile" ]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
fi
cmake --build "$build" --target chengyue chengyue-admin

work=$(mktemp -d)
pid=
xpid=
cleanup() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null
    [ -n "$xpid" ] && kill "$xpid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
cp "$build"/bin/chengyue "$build"/bin/chengyue-admin "$work"/
db="$work/Data/db.edb"
admin() { "$work"/chengyue-admin "$@" 2>/dev/null; }

# A fee office with 2,000 houses, three seasons of payments and today's first payments.
admin demo --db "$db" --houses 2000 --years 3
today=$(date +%F)

# The workbook of the import picture: the eight headings and a few new houses.
book="$work/new-owners.xlsx"
if command -v python3 >/dev/null; then
    python3 - "$book" <<'PY'
import sys, zipfile
from xml.sax.saxutils import escape
rows = [
    ["房号", "面积", "房屋用途", "单价", "到期日期", "业主名称", "手机号码", "备注"],
    ["12-1-101", 89.62, "住宅", 22.5, "2026-04-10", "林海涛", "13904710001", ""],
    ["12-1-102", 76.15, "住宅", 22.5, "2026-04-10", "郑秀兰", "13904710002", "新交房"],
    ["12-1-201", 89.62, "住宅", 22.5, "2026-04-10", "马志强", "13904710003", ""],
    ["12-1-202", 76.15, "住宅", 22.5, "2026-04-10", "高玉兰", "13904710004", ""],
    ["12-1-301", 89.62, "住宅", 22.5, "2026-04-10", "韩建国", "13904710005", "东边户"],
    ["12-1-302", 76.15, "住宅", 22.5, "2026-04-10", "唐春梅", "13904710006", ""],
    ["12-商-01", 156.8, "商铺", 35, "2026-04-10", "罗记粮油店", "13904710007", "临街"],
    ["12-商-02", 132.4, "商铺", 35, "2026-04-10", "宋氏药房", "13904710008", "临街"],
]
def cell(r, c, v):
    ref = "ABCDEFGH"[c] + str(r + 1)
    if isinstance(v, (int, float)):
        return f'<c r="{ref}"><v>{v}</v></c>'
    if v == "":
        return ""
    return f'<c r="{ref}" t="inlineStr"><is><t>{escape(v)}</t></is></c>'
sheet = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>'
         '<worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"><sheetData>'
         + "".join(f'<row r="{r + 1}">' + "".join(cell(r, c, v) for c, v in enumerate(row)) + "</row>"
                   for r, row in enumerate(rows))
         + "</sheetData></worksheet>")
parts = {
    "[Content_Types].xml": '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>'
        '<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
        '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
        '<Default Extension="xml" ContentType="application/xml"/>'
        '<Override PartName="/xl/workbook.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"/>'
        '<Override PartName="/xl/worksheets/sheet1.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml"/>'
        '</Types>',
    "_rels/.rels": '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>'
        '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
        '<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" Target="xl/workbook.xml"/>'
        '</Relationships>',
    "xl/workbook.xml": '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>'
        '<workbook xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" '
        'xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships">'
        '<sheets><sheet name="Sheet1" sheetId="1" r:id="rId1"/></sheets></workbook>',
    "xl/_rels/workbook.xml.rels": '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>'
        '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
        '<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet" Target="worksheets/sheet1.xml"/>'
        '</Relationships>',
    "xl/worksheets/sheet1.xml": sheet,
}
with zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_DEFLATED) as z:
    for name, text in parts.items():
        z.writestr(name, text)
PY
else
    # Without python3 the same rows go into a CSV file, which the import reads as well.
    book="$work/new-owners.csv"
    printf '%s\n' '房号,面积,房屋用途,单价,到期日期,业主名称,手机号码,备注' \
        '12-1-101,89.62,住宅,22.5,2026-04-10,林海涛,13904710001,' \
        '12-1-102,76.15,住宅,22.5,2026-04-10,郑秀兰,13904710002,新交房' \
        '12-1-201,89.62,住宅,22.5,2026-04-10,马志强,13904710003,' >"$book"
fi

# The receipt of one of today's payments, as the print preview shows it.
number=$(admin sql --db "$db" "SELECT theNum FROM UCharge WHERE theDel = '否' ORDER BY ID DESC LIMIT 1" | tail -1)
admin receipt --db "$db" "$number" --pdf "$work/receipt.pdf" >/dev/null
pdftoppm -r 144 -aaVector no -png -singlefile "$work/receipt.pdf" "$out/receipt"
# The printed season statistics, as the admin tool writes the page the preview shows.
admin stats --db "$db" --pdf "$work/season-statistics.pdf" >/dev/null
pdftoppm -r 110 -png -singlefile "$work/season-statistics.pdf" "$out/season-statistics-print"

# ------------------------------------------------------------------ the program under Xvfb
. scripts/xvfb-program.sh
start_program_under_xvfb
typing() { xdotool type --delay 40 "$1"; sleep 0.3; }
settle() { sleep "${1:-0.8}"; }
# The keyboard to this window, as a window manager hands it to the window in front.
focus() { xdotool windowfocus "$1"; sleep 0.3; }
# A picture of the window, with a title bar holding its caption as a window manager
# would draw it (without one the windows have no frame).
shot() {
    local w=$1 file=$2 caption X Y WIDTH HEIGHT SCREEN
    caption=$(xdotool getwindowname "$w")
    eval "$(xdotool getwindowgeometry --shell "$w")"
    import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$work/shot.png"
    convert "$work/shot.png" -set colorspace sRGB -type TrueColor -background '#2f3b4c' -gravity north -splice 0x26 \
        -font /usr/share/fonts/truetype/wqy/wqy-microhei.ttc -pointsize 14 -fill white \
        -gravity northwest -annotate +10+4 "$caption" -bordercolor '#2f3b4c' -border 1 "$out/$file"
    echo "  $file"
}
screen() {
    import -window root "$work/shot.png"
    convert "$work/shot.png" -set colorspace sRGB -type TrueColor "$out/$1"
    echo "  $1"
}

main_caption="澄岳供热收费管理软件"
main() { window "$main_caption( - .*)?"; }
# Opens item n (from 0, separators not counted) of the menu with the access key.
menu() { focus "$(main)"; keys "alt+$1"; [ "$2" -gt 0 ] && keys $(printf 'Down %.0s' $(seq "$2")); keys Return; settle 1.2; }

echo "pictures:"
# Login: the operator list by keyboard (Alt+Down opens it, the choice moves on to the
# password), the password, the charging date of today.
w=$(window "软件登录")
focus "$w"
keys alt+Down
keys Down Return   # the names come sorted: 王丽, 管理员, 赵强
typing 580913
shot "$w" login.png
keys Return
settle 2
screen main-window.png

# The seven dialogs of the menus.
menu b 2; w=$(window "小区设置"); shot "$w" dialog-areas.png; keys Escape
menu b 0; w=$(window "收款方式设置"); shot "$w" dialog-payment-methods.png; keys Escape
menu b 1; w=$(window "单价设置"); typing "车库"; keys Tab; typing "12.5"; shot "$w" dialog-prices.png; keys Escape
menu b 3; w=$(window "默认项设置"); shot "$w" dialog-defaults.png; keys Escape
menu f 1; w=$(window "用户设置"); shot "$w" dialog-operators.png; keys Escape
menu f 2; w=$(window "修改密码"); typing 580913; shot "$w" dialog-password.png; keys Escape
menu f 0; w=$(window "使用单位设置"); shot "$w" dialog-using-unit.png; keys Escape

# Owner entry: the default area, purpose and price are there; a new house typed in.
menu b 4
w=$(window "业主录入")
keys Tab; typing "8-2-1101"; keys Tab; typing "96.45"
keys Tab Tab Tab Tab; typing "刘海峰"; keys Tab; typing "13904711234"; keys Tab; typing "新交房"
shot "$w" owner-entry.png
keys Escape

# Owner management: Enter in the criteria runs "查询"; then the grid, the Menu key for
# its pop-up menu and M for "修改 &M".
menu b 6
keys Return; settle 1.5
screen owner-management.png
keys shift+Tab; keys Down Down Down
keys Menu; settle 0.6
screen owner-management-popup.png
keys m; settle 1
w=$(window "业主修改"); shot "$w" owner-modify.png; keys Escape
focus "$(main)"; keys ctrl+F4

# Owner query narrowed to one area: Space ticks the box, Down picks the first area.
menu b 7
keys Tab; keys Down; keys Return; settle 1.5
screen owner-query.png
keys ctrl+F4

# Arrears reminder: the reference date (after the six criteria) moved on by a year with
# the arrow key, to the end of the season now being charged; Enter runs "查询".
menu m 0
keys $(printf 'Tab %.0s' $(seq 12)); keys Up; keys Return; settle 1.5
screen arrears.png
keys ctrl+F4

# Season statistics: the season of the charging date with its table and three charts;
# "打印" (Tab from the season picker past "统计") shows the page in the print preview.
menu m 1
settle 3
screen season-statistics.png
keys Tab Tab space; settle 2.5
screen season-statistics-preview.png
keys Escape; settle 1
focus "$(main)"; keys ctrl+F4

# Charge management over the last month; the pop-up's "打印 &P" shows the receipt again.
menu i 1
keys Return; settle 1.5
screen charge-management.png
keys shift+Tab; keys Menu; keys p; settle 2
screen receipt-preview.png
keys Escape; settle 1
focus "$(main)"; keys ctrl+F4

# Charge query of the last month: Space ticks the payment-date range.
menu i 2
keys Tab Tab space; keys Return; settle 1.5
screen charge-query.png
keys ctrl+F4

# Owner import: "打开" and the file dialog by keyboard, the sheet in the preview, an area.
menu b 5
w=$(window "业主导入")
keys Tab Tab space; settle 1.2
typing "$book"; keys Return; settle 1.5
focus "$w"; keys shift+Tab; keys Down
shot "$w" owner-import.png
keys Escape

# Charge entry: a house of the operator's default area looked up by its room number, two
# years proposed.
room=$(admin sql --db "$db" "SELECT theNum FROM UHouse WHERE AName = (SELECT theAN FROM SUser WHERE theName = '管理员') AND EndDate < '$today' ORDER BY theNum LIMIT 1" | tail -1)
menu i 0
w=$(window "收费录入")
typing "$room"; keys Return; settle 0.6
keys BackSpace; typing 2
shot "$w" charge-entry.png
keys Escape

# The office's accounts. Another desk (the admin tool) takes two payments, voids one of
# them and imports the new owners' workbook, so that the void query, the day close and
# the change record have something of today to show.
for room2 in $(admin sql --db "$db" "SELECT theNum FROM UHouse WHERE AName = (SELECT theAN FROM SUser WHERE theName = '管理员') AND EndDate < '$today' ORDER BY theNum LIMIT 2 OFFSET 1" | tail -n +2); do
    admin charge --db "$db" --area "$(admin sql --db "$db" "SELECT theAN FROM SUser WHERE theName = '管理员'" | tail -1)" \
        --room "$room2" --years 3 --charge-date "$today" --operator 管理员 >/dev/null
done
voided=$(admin sql --db "$db" "SELECT theNum FROM UCharge WHERE theDel = '否' ORDER BY ID DESC LIMIT 1" | tail -1)
kept=$(admin sql --db "$db" "SELECT theNum FROM UCharge WHERE theDel = '否' ORDER BY ID DESC LIMIT 1 OFFSET 1" | tail -1)
# A second 管理员, so that a 管理员's void of their own payment is approved by another.
admin sql --db "$db" "INSERT INTO SUser (theName, Remark, theRole) VALUES ('财务主管', '', '管理员')" >/dev/null
echo 580913 | admin passwd --db "$db" --operator 财务主管 >/dev/null
echo 580913 | admin void --db "$db" "$voided" --reason "收费年数录错，应为1年" --operator 管理员 --approver 财务主管 >/dev/null
admin import --db "$db" "$book" --area "$(admin sql --db "$db" "SELECT theName FROM SArea ORDER BY ID LIMIT 1" | tail -1)" \
    --charge-date "$today" --operator 管理员 >/dev/null

# Charge entry's find and a house's past: the room number of the house with the voided
# payment typed in the room box, F3 lists every house whose name, phone or room holds it;
# Enter moves into the list, Down to that house, Enter loads it with its payments (the
# voided one with its reason) under the boxes.
vroom=$(admin sql --db "$db" "SELECT HNum FROM UCharge WHERE theNum = '$voided'" | tail -1)
varea=$(admin sql --db "$db" "SELECT AName FROM UCharge WHERE theNum = '$voided'" | tail -1)
line=$(admin find --db "$db" "$vroom" | tail -n +2 | grep -n -m1 "^$varea	$vroom	" | cut -d: -f1)
menu i 0
w=$(window "收费录入")
typing "$vroom"; keys F3; settle 1
p=$(window "查找业主")
shot "$p" charge-entry-find.png
keys Return
[ "${line:-1}" -gt 1 ] && keys $(printf 'Down %.0s' $(seq $((line - 1))))
keys Return; settle 1
shot "$w" charge-entry-history.png
keys Escape

# 收费作废: a receipt number typed, Enter shows the payment, the reason typed; the operator's
# own payment, so another 管理员 approves with their password.
menu i 3
w=$(window "收费作废")
typing "$kept"; keys Return; settle 0.6
typing "重复收费"
shot "$w" void-dialog.png
keys Escape

# 作废查询 of the last month: Enter runs "查询".
menu i 4
keys Return; settle 1.5
screen void-query.png
keys ctrl+F4

# 收费日报 of today; Ctrl+P shows it in the print preview.
menu i 5
settle 1
screen dayclose.png
keys ctrl+p; settle 2
screen dayclose-preview.png
keys Escape; settle 1
focus "$(main)"; keys ctrl+F4

# 操作记录 of the last month.
menu f 3
keys Return; settle 1.5
screen change-record.png
keys ctrl+F4

# The day close of today as the admin tool prints it.
admin dayclose --db "$db" --date "$today" --pdf "$work/dayclose.pdf" >/dev/null
pdftoppm -r 110 -aaVector no -png -singlefile "$work/dayclose.pdf" "$out/dayclose-pdf"
# The arrears notices at this year's end of the charging period (10 April), the first
# page (two notices) as printed.
admin notices --db "$db" --date "$(date +%Y)-04-10" --pdf "$work/notices.pdf" >/dev/null
pdftoppm -r 110 -aaVector no -png -f 1 -singlefile "$work/notices.pdf" "$out/arrears-notices"

# The exit question; Enter answers Yes and the program ends.
menu f 6
settle 0.6
w=$(window "确认退出"); shot "$w" exit-question.png
keys Return
for _ in $(seq 30); do kill -0 "$pid" 2>/dev/null || break; sleep 0.2; done
if kill -0 "$pid" 2>/dev/null; then echo "gallery: the program did not end after the exit question" >&2; exit 1; fi
pid=

# A receipt with parts, made last so that no other picture shows the rules: the office
# switches 报停 (30%, applications up to 12-31 of the season's first year) and a 1%
# discount on; a house paid ahead suspends the next season it has not paid, and pays it.
parea=$(admin sql --db "$db" "SELECT theAN FROM SUser WHERE theName = '管理员'" | tail -1)
proom=$(admin sql --db "$db" "SELECT theNum FROM UHouse WHERE AName = '$parea' AND theDel = '否' AND EndDate >= '$today' ORDER BY EndDate, theNum LIMIT 1" | tail -1)
pend=$(admin sql --db "$db" "SELECT EndDate FROM UHouse WHERE AName = '$parea' AND theNum = '$proom' AND theDel = '否'" | tail -1)
pbegin=$(admin sql --db "$db" "SELECT theBM || '-' || theBD FROM SDept" | tail -1)
pnext=$(date -d "$pend + 1 day" +%F)
pseason=${pnext:0:4}
[ "$(date -d "$pseason-${pbegin%-*}-${pbegin#*-}" +%F)" \< "$pnext" ] && pseason=$((pseason + 1))
admin rules --db "$db" --suspend-percent 30 --suspend-deadline 12-31 --discount 1 --discount-from 01-01 --discount-to 12-31 >/dev/null
admin suspend --db "$db" --area "$parea" --room "$proom" --season "$pseason" --reason "外出务工" >/dev/null
pnumber=$(admin charge --db "$db" --area "$parea" --room "$proom" --years 1 | head -1)
admin receipt --db "$db" "$pnumber" --pdf "$work/receipt-parts.pdf" >/dev/null
pdftoppm -r 144 -aaVector no -png -singlefile "$work/receipt-parts.pdf" "$out/receipt-parts"
echo "gallery written to $out"
