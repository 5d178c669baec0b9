# Sourced by the picture scripts (gallery.sh, server-screenshot.sh): starts Xvfb on a free
# display and the program copied to $work under it, with its exports and settings kept in
# $work, and gives the helpers that find its windows and type into them. Sets $xpid and
# $pid for the caller's clean-up.

start_program_under_xvfb() {
    local disp=90
    while [ -e "/tmp/.X$disp-lock" ] || [ -e "/tmp/.X11-unix/X$disp" ]; do disp=$((disp + 1)); done
    Xvfb ":$disp" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
    xpid=$!
    export DISPLAY=":$disp"
    for _ in $(seq 50); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.1; done
    # The program's exports and settings stay in the scratch folder.
    export HOME="$work/home" TMPDIR="$work/tmp" XDG_RUNTIME_DIR="$work/run"
    mkdir -p "$HOME" "$TMPDIR" "$XDG_RUNTIME_DIR"
    chmod 700 "$XDG_RUNTIME_DIR"
    (cd / && exec "$work"/chengyue) &
    pid=$!
}

# The visible window whose caption is exactly $1; waits for it.
window() {
    local w
    for _ in $(seq 60); do
        w=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | tail -1 || true)
        if [ -n "$w" ]; then echo "$w"; return 0; fi
        sleep 0.2
    done
    echo "$(basename "$0" .sh): no window \"$1\"" >&2
    return 1
}
keys() { xdotool key --delay 60 "$@"; sleep 0.4; }
