#!/usr/bin/env bash
# Starts the real program under Xvfb on a demo database, logs in, opens the charge query and
# the arrears reminder from the tool bar, runs "查询" in each and takes their pictures, then
# presses "Excel" on the charge query: the real opener starts LibreOffice Calc on the new
# workbook, whose window is the third picture. Needs xvfb, xdotool, x11-apps, imagemagick and
# libreoffice-calc (developer tools, not run by CI).
# Usage: scripts/screenshot-export.sh [build dir] [output dir]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
out=${2:-docs}
mkdir -p "$out"
work=$(mktemp -d)
pid=
xpid=
trap '[ -n "$pid" ] && kill $pid 2>/dev/null; [ -n "$xpid" ] && kill $xpid 2>/dev/null; rm -rf "$work"' EXIT
cp "$build"/bin/chengyue "$build"/bin/chengyue-admin "$work"/
db="$work/Data/db.edb"
admin() { "$work"/chengyue-admin "$@" 2>/dev/null; }
admin init --db "$db" >/dev/null
admin demo --db "$db" --houses 300 --years 2 >/dev/null
# The program's workbooks go to the temporary folder; LibreOffice gets a profile of its own.
export TMPDIR="$work/tmp"
export HOME="$work/home"
mkdir -p "$TMPDIR" "$HOME/.config/libreoffice/4/user"
# ...without the first-start tip and news bar.
cat > "$HOME/.config/libreoffice/4/user/registrymodifications.xcu" <<'XCU'
<?xml version="1.0" encoding="UTF-8"?>
<oor:items xmlns:oor="http://openoffice.org/2001/registry" xmlns:xs="http://www.w3.org/2001/XMLSchema" xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance">
<item oor:path="/org.openoffice.Office.Common/Misc"><prop oor:name="ShowTipOfTheDay" oor:op="fuse"><value>false</value></prop></item>
<item oor:path="/org.openoffice.Office.Common/Misc"><prop oor:name="FirstRun" oor:op="fuse"><value>false</value></prop></item>
<item oor:path="/org.openoffice.Setup/Product"><prop oor:name="ooSetupLastVersion" oor:op="fuse"><value>7.4</value></prop></item>
</oor:items>
XCU

disp=:61
Xvfb $disp -screen 0 1280x800x24 >/dev/null 2>&1 &
xpid=$!
sleep 1
export DISPLAY=$disp
shot() { /usr/bin/xwd -root -silent | /usr/bin/convert xwd:- -crop "$2" +repage "$out/$1"; }
"$work"/chengyue &
pid=$!
sleep 3
win=$(xdotool search --name "软件登录" | head -1)
eval "$(xdotool getwindowgeometry --shell "$win")"
xdotool mousemove $((X + 190)) $((Y + 138)) click 1
sleep 0.5
xdotool key Down Return
sleep 0.5
xdotool type 580913
xdotool key Return
sleep 2
# The main window fills the screen; the tool bar's second and third buttons open the
# charge query and the arrears reminder, each maximised in it.
xdotool mousemove 113 60 click 1
sleep 2
xdotool mousemove 825 215 click 1
sleep 2
shot charge-query.png 1280x800+0+0
xdotool mousemove 184 60 click 1
sleep 2
# A year later than the default reference date, so that last season's payers are listed.
xdotool mousemove 775 116 click 1
xdotool key Up
xdotool mousemove 727 184 click 1
sleep 2
shot arrears.png 1280x800+0+0
# A new charge query window, its list, and "Excel".
xdotool mousemove 113 60 click 1
sleep 2
xdotool mousemove 825 215 click 1
sleep 2
xdotool mousemove 910 215 click 1
calc=
for i in $(seq 1 90); do
  sleep 1
  calc=$(xdotool search --onlyvisible --name "收费报表.*LibreOffice Calc" 2>/dev/null | tail -1 || true)
  [ -n "$calc" ] && break
done
[ -n "$calc" ] || { echo "the spreadsheet program did not show the workbook" >&2; exit 1; }
sleep 4
eval "$(xdotool getwindowgeometry --shell "$calc")"
xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2))
sleep 1
shot export-workbook.png "${WIDTH}x${HEIGHT}+${X}+${Y}"
# The end of the sheet: the last rows and the totals row.
xdotool key ctrl+End Home
sleep 1
shot export-workbook-end.png "${WIDTH}x${HEIGHT}+${X}+${Y}"
# The spreadsheet program this run started, found by its window.
soffice=$(xdotool getwindowpid "$calc" 2>/dev/null || true)
[ -n "$soffice" ] && kill "$soffice"
echo "screenshots written to $out"
