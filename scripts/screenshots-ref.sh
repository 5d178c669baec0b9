#!/usr/bin/env bash
# Starts the real program under Xvfb on a fresh database holding a few areas, payment
# methods, purposes and operators, logs in, opens the five settings dialogs from the menu
# and takes a picture of each. Needs xvfb, xdotool, x11-apps and imagemagick (developer
# tools, not run by CI). Usage: scripts/screenshots-ref.sh [build dir] [output dir]
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
"$work"/chengyue-admin init --db "$db" >/dev/null
sql() { "$work"/chengyue-admin sql --db "$db" "$1" >/dev/null; }
sql "INSERT INTO SArea (theName, Remark) VALUES ('东城花园', '2008年交付')"
sql "INSERT INTO SArea (theName, Remark) VALUES ('西湖小区', '')"
sql "INSERT INTO SArea (theName, Remark) VALUES ('南苑新村', '含商铺两栋')"
sql "INSERT INTO SArea (theName, Remark) VALUES ('北站家园', '')"
sql "INSERT INTO SMType (theName, Remark) VALUES ('现金', '')"
sql "INSERT INTO SMType (theName, Remark) VALUES ('银行转账', '到账后开票')"
sql "INSERT INTO SMType (theName, Remark) VALUES ('微信', '')"
sql "INSERT INTO SPrice (theName, thePrice, Remark) VALUES ('住宅', 25, '')"
sql "INSERT INTO SPrice (theName, thePrice, Remark) VALUES ('商铺', 38.5, '临街')"
sql "INSERT INTO SPrice (theName, thePrice, Remark) VALUES ('办公', 32, '')"
sql "INSERT INTO SUser (theName, thePass, Remark) VALUES ('张丽', '580913', '白班收费员')"
sql "INSERT INTO SUser (theName, thePass, Remark) VALUES ('王强', '580913', '夜班')"
sql "UPDATE SUser SET theMT = '现金', theHT = '住宅', theAN = '东城花园' "
sql "UPDATE SDept SET theName = '澄岳热力有限公司' WHERE ID = 1"

disp=:58
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

# Clicks the menu title at x, then its item number (from 0), waits for the dialog with
# that caption, takes its picture and closes it with Escape. Without a window manager the
# keys go to the window under the pointer, so the pointer is moved onto the dialog first.
dialog() {
    local titlex=$1 item=$2 caption=$3 file=$4 typing=${5:-}
    xdotool mousemove "$titlex" 10 click 1
    sleep 0.6
    xdotool mousemove $((titlex + 30)) $((34 + 24 * item)) click 1
    sleep 1.5
    local w
    w=$(xdotool search --name "^$caption\$" | head -1 || true)
    if [ -z "$w" ]; then
        echo "no window $caption" >&2
        return 1
    fi
    eval "$(xdotool getwindowgeometry --shell "$w")"
    xdotool mousemove $((X + WIDTH - 10)) $((Y + HEIGHT - 10))
    if [ -n "$typing" ]; then
        xdotool type "$typing"
        sleep 0.3
    fi
    shot "$file" "${WIDTH}x${HEIGHT}+${X}+${Y}"
    xdotool key Escape
    sleep 0.8
}
file_menu=40
base_menu=290
dialog $base_menu 2 "小区设置" dialog-areas.png
dialog $base_menu 0 "收款方式设置" dialog-payment-methods.png
dialog $base_menu 1 "单价设置" dialog-prices.png
dialog $base_menu 3 "默认项设置" dialog-defaults.png
dialog $file_menu 1 "用户设置" dialog-operators.png
dialog $file_menu 2 "修改密码" dialog-password.png secret
dialog $file_menu 0 "使用单位设置" dialog-using-unit.png
echo "screenshots written to $out"
