#!/usr/bin/env bash
# Starts the real program under Xvfb on a demo database, logs in, opens charge entry from
# the tool bar, looks up a house and takes a picture of the window; also writes the PNG of
# a receipt through the admin tool. Needs xvfb, xdotool, x11-apps, imagemagick and
# poppler-utils (developer tools, not run by CI).
# Usage: scripts/screenshot-charge.sh [build dir] [output dir]
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
admin demo --db "$db" --houses 200 --years 2 --charge-date 2024-10-10 >/dev/null
admin sql --db "$db" "UPDATE SUser SET theAN = '阳光小区', theMT = '现金' WHERE theName = '管理员'" >/dev/null

# The receipt of a charge of the demo data, as the preview shows it.
number=$(admin sql --db "$db" "SELECT theNum FROM UCharge WHERE theDate = '2024-10-10' ORDER BY ID LIMIT 1 OFFSET 10" | tail -1)
admin receipt --db "$db" "$number" --pdf "$work/receipt.pdf" >/dev/null
pdftoppm -r 144 -aaVector no -png -singlefile "$work/receipt.pdf" "$out/receipt"

disp=:59
Xvfb $disp -screen 0 1280x800x24 >/dev/null 2>&1 &
xpid=$!
sleep 1
export DISPLAY=$disp
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

# The tool bar's first button opens charge entry.
xdotool mousemove 40 70 click 1
sleep 1.5
w=$(xdotool search --name "^收费录入\$" | head -1)
eval "$(xdotool getwindowgeometry --shell "$w")"
# Without a window manager the keys go to the window under the pointer.
xdotool mousemove $((X + WIDTH - 10)) $((Y + HEIGHT - 10))
xdotool type "1-1-602"
xdotool key Return
sleep 1
/usr/bin/xwd -root -silent | /usr/bin/convert xwd:- -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$out/charge-entry.png"
echo "screenshots written to $out"
