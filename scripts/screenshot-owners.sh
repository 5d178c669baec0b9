#!/usr/bin/env bash
# Starts the real program under Xvfb on a demo database, logs in, opens owner entry from
# the tool bar and owner management from the menu, lists the owners and takes a picture of
# each. Needs xvfb, xdotool, x11-apps and imagemagick (developer tools, not run by CI).
# Usage: scripts/screenshot-owners.sh [build dir] [output dir]
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
admin demo --db "$db" --houses 300 --years 2 --charge-date 2024-10-10 >/dev/null
area=$(admin sql --db "$db" "SELECT theName FROM SArea ORDER BY ID LIMIT 1" | tail -1)
purpose=$(admin sql --db "$db" "SELECT theName FROM SPrice ORDER BY ID LIMIT 1" | tail -1)
admin sql --db "$db" "UPDATE SUser SET theAN = '$area', theHT = '$purpose' WHERE theName = '管理员'" >/dev/null

disp=:57
Xvfb $disp -screen 0 1280x800x24 >/dev/null 2>&1 &
xpid=$!
sleep 1
export DISPLAY=$disp
"$work"/chengyue &
pid=$!
sleep 3
shot() { /usr/bin/xwd -root -silent | /usr/bin/convert xwd:- -crop "$2" +repage "$out/$1"; }
win=$(xdotool search --name "软件登录" | head -1)
eval "$(xdotool getwindowgeometry --shell "$win")"
xdotool mousemove $((X + 190)) $((Y + 138)) click 1
sleep 0.5
xdotool key Down Return
sleep 0.5
xdotool type 580913
xdotool key Return
sleep 2

# Owner entry, the tool bar's fourth button: a house typed in, not saved.
xdotool mousemove 250 70 click 1
sleep 1.5
w=$(xdotool search --name "^业主录入\$" | head -1)
eval "$(xdotool getwindowgeometry --shell "$w")"
# Without a window manager the keys go to the window under the pointer.
xdotool mousemove $((X + WIDTH - 10)) $((Y + HEIGHT - 10))
xdotool key Tab
xdotool type "8-2-1101"
xdotool key Tab
xdotool type "96.45"
# The date picker takes Tab from section to section: year, month, day, then on.
xdotool key Tab Tab Tab Tab Tab Tab
xdotool type --delay 200 "刘海峰"
xdotool key Tab
xdotool type "13904711234"
sleep 0.5
shot owner-entry.png "${WIDTH}x${HEIGHT}+${X}+${Y}"
xdotool key Escape
sleep 0.5

# Owner management from the menu "基础信息": every owner listed.
main=$(xdotool search --onlyvisible --name "^澄岳供热收费管理软件\$" | head -1)
eval "$(xdotool getwindowgeometry --shell "$main")"
echo "main window ${WIDTH}x${HEIGHT}+${X}+${Y}" >&2
xdotool mousemove $((X + 290)) $((Y + 10)) click 1
sleep 0.6
xdotool mousemove $((X + 297)) $((Y + 180)) click 1
sleep 1.5
# "查询", to the right of the criteria.
xdotool mousemove $((X + 727)) $((Y + 184)) click 1
sleep 1
shot owner-management.png "${WIDTH}x${HEIGHT}+${X}+${Y}"
shot owner-management.png "${WIDTH}x${HEIGHT}+${X}+${Y}"
echo "screenshots written to $out"
