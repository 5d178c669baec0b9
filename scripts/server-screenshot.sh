#!/usr/bin/env bash
# A picture of the program logged in against a PostgreSQL server, into docs/ (or the given
# folder): a throwaway server (tests/support/test-server.sh), the demo office copied onto
# it with `chengyue-admin copy`, chengyue.ini beside the program naming it, and the
# program under Xvfb logged in with the keyboard as scripts/gallery.sh does.
#
# Needs xvfb, xdotool, imagemagick (import, convert) and the server's package.
# Usage: scripts/server-screenshot.sh [build dir] [output dir]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
out=$(realpath -m "${2:-docs}")
mkdir -p "$out"
for tool in Xvfb xdotool import convert; do
    command -v "$tool" >/dev/null || { echo "server-screenshot: $tool is missing" >&2; exit 1; }
done
cmake --build "$build" --target chengyue chengyue-admin

work=$(mktemp -d)
chmod 755 "$work"
pid=
xpid=
cleanup() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null
    [ -n "$xpid" ] && kill "$xpid" 2>/dev/null
    tests/support/test-server.sh stop "$work/server" >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT
cp "$build"/bin/chengyue "$build"/bin/chengyue-admin "$work"/
admin() { "$work"/chengyue-admin "$@" 2>/dev/null; }

tests/support/test-server.sh start "$work/server"
maintenance=$(cat "$work/server/url")
url="${maintenance%/*}/heating"
psql -q "$maintenance" -c "CREATE DATABASE heating"
admin demo --db "$work/demo.edb" --houses 2000 --years 3
admin copy --from "$work/demo.edb" --to "$url" >/dev/null
printf '[database]\nurl=%s\n' "$url" >"$work/chengyue.ini"

. scripts/xvfb-program.sh
start_program_under_xvfb

w=$(window "软件登录")
xdotool windowfocus "$w"; sleep 0.3
keys alt+Down
keys Down Return   # the names come sorted: 王丽, 管理员, 赵强
xdotool type --delay 40 580913; sleep 0.3
keys Return
window "澄岳供热收费管理软件( - .*)?" >/dev/null
sleep 2
import -window root "$work/shot.png"
convert "$work/shot.png" -set colorspace sRGB -type TrueColor "$out/server-main-window.png"
echo "  server-main-window.png"
