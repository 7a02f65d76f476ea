# Shared helpers of the end-to-end checks: a private X server with a window manager (and,
# when asked, a tray host), a program folder with a fresh database, PASS/FAIL bookkeeping.
# Sourced by the tests/e2e/*.sh scripts; not a check of its own.

E2E_EXE=${1:-}
E2E_TITLE="Zorvik Jotboard"
E2E_PIDS=()
E2E_FAILS=0
E2E_PASSES=0

e2e_skip() {
    echo "SKIP: $*"
    exit 77
}

e2e_require() {
    [ -n "$E2E_EXE" ] && [ -x "$E2E_EXE" ] || e2e_skip "program not built: '$E2E_EXE'"
    [ -n "${ZVJ_MKDB:-}" ] && [ -x "$ZVJ_MKDB" ] || e2e_skip "ZVJ_MKDB not set"
    [ -n "${ZVJ_SCHEMA:-}" ] && [ -f "$ZVJ_SCHEMA" ] || e2e_skip "ZVJ_SCHEMA not set"
    local tool
    for tool in Xvfb openbox xdotool wmctrl xprop xwininfo xclip import sqlite3 python3 "$@"; do
        command -v "$tool" >/dev/null 2>&1 || e2e_skip "$tool is missing"
    done
}

e2e_cleanup() {
    local i
    for ((i = ${#E2E_PIDS[@]} - 1; i >= 0; i--)); do
        kill "${E2E_PIDS[i]}" 2>/dev/null
    done
    sleep 0.3
    for ((i = ${#E2E_PIDS[@]} - 1; i >= 0; i--)); do
        kill -9 "${E2E_PIDS[i]}" 2>/dev/null
        wait "${E2E_PIDS[i]}" 2>/dev/null
    done
    [ -n "${E2E_TMP:-}" ] && echo "Work folder (screenshots, logs): $E2E_TMP"
}

# e2e_setup NAME: temp folder, isolated XDG folders, cleanup trap.
e2e_setup() {
    E2E_TMP=$(mktemp -d "/tmp/jotboard-e2e-$1.XXXXXX")
    mkdir -p "$E2E_TMP/run" "$E2E_TMP/config" "$E2E_TMP/shots"
    chmod 700 "$E2E_TMP/run"
    export XDG_RUNTIME_DIR="$E2E_TMP/run" XDG_CONFIG_HOME="$E2E_TMP/config"
    unset QT_QPA_PLATFORM WAYLAND_DISPLAY
    trap e2e_cleanup EXIT
    trap 'exit 130' INT TERM
}

e2e_bg() { # run in background, remember the pid in E2E_LAST
    "$@" &
    E2E_LAST=$!
    E2E_PIDS+=("$E2E_LAST")
}

# e2e_start_x PREFERRED_DISPLAY_NUMBER [tray]: the first free display from that number on.
# The display is ours only when its lock file names our server (two scripts starting at
# the same moment would otherwise share one server).
e2e_start_x() {
    local n=$1 tries owner
    for ((; n < $1 + 40; n++)); do
        [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
        e2e_bg Xvfb ":$n" -screen 0 1280x800x24 -nolisten tcp >"$E2E_TMP/xvfb.log" 2>&1
        for tries in $(seq 50); do
            owner=$(tr -d ' \n' <"/tmp/.X$n-lock" 2>/dev/null)
            [ -n "$owner" ] && DISPLAY=":$n" xwininfo -root >/dev/null 2>&1 && break
            kill -0 "$E2E_LAST" 2>/dev/null || break
            sleep 0.1
        done
        [ "$owner" = "$E2E_LAST" ] && alive "$E2E_LAST" && break
        kill "$E2E_LAST" 2>/dev/null
        wait "$E2E_LAST" 2>/dev/null
    done
    [ "$owner" = "$E2E_LAST" ] || e2e_skip "no X display of our own"
    export DISPLAY=":$n"
    e2e_bg openbox >"$E2E_TMP/openbox.log" 2>&1
    for tries in $(seq 50); do
        wmctrl -m >/dev/null 2>&1 && wmctrl -l >/dev/null 2>&1 && break
        sleep 0.1
    done
    if [ "${2:-}" = tray ]; then
        command -v trayer >/dev/null 2>&1 || e2e_skip "trayer is missing"
        e2e_bg trayer --edge top --align right --widthtype request --height 24 \
            --transparent false --tint 0xffffff >"$E2E_TMP/trayer.log" 2>&1
        E2E_TRAYER=$E2E_LAST
        for tries in $(seq 50); do
            xdotool search --class trayer >/dev/null 2>&1 && break
            sleep 0.1
        done
    fi
    echo "X server on $DISPLAY"
}

# e2e_make_home NAME: a program folder with a fresh database and the staged data files.
e2e_make_home() {
    local home="$E2E_TMP/$1"
    mkdir -p "$home"
    "$ZVJ_MKDB" "$ZVJ_SCHEMA" "$home/zvData.zvb" || { echo "FAIL: zvmkdb"; exit 1; }
    local stage
    stage=$(dirname "$E2E_EXE")
    cp -r "$stage/Images" "$stage/Sounds" "$home/" 2>/dev/null
    cp "$stage/jotboard-help.html" "$home/" 2>/dev/null
    echo "$home"
}

# e2e_start_app HOME: starts the program on that folder; its pid in APP_PID.
e2e_start_app() {
    ZVJ_CHECKS=1 ZVJ_HOME="$1/" e2e_bg "$E2E_EXE" >>"$E2E_TMP/app.log" 2>&1
    APP_PID=$E2E_LAST
}

pass() { echo "PASS: $*"; E2E_PASSES=$((E2E_PASSES + 1)); }
fail() { echo "FAIL: $*"; E2E_FAILS=$((E2E_FAILS + 1)); }
check() { # check "description" command...
    local what=$1
    shift
    if "$@"; then pass "$what"; else fail "$what"; fi
}

e2e_finish() {
    echo "$E2E_PASSES passed, $E2E_FAILS failed"
    [ "$E2E_FAILS" -eq 0 ]
    exit $?
}

# wait_until SECONDS command...: polls every 0.1 s.
wait_until() {
    local limit=$1 i
    shift
    for i in $(seq $((limit * 10))); do
        "$@" && return 0
        sleep 0.1
    done
    "$@"
}

# The main window when it is mapped (the tray icon's own window bears the title too,
# but is only icon-sized).
main_window() {
    local w width
    for w in $(xdotool search --onlyvisible --name "^$E2E_TITLE\$" 2>/dev/null); do
        width=$(xwininfo -id "$w" 2>/dev/null | awk '/Width:/ {print $2}')
        if [ "${width:-0}" -gt 64 ]; then
            echo "$w"
            return 0
        fi
    done
    return 1
}
window_shown() { main_window >/dev/null; }
window_hidden() { ! main_window >/dev/null; }
alive() { kill -0 "$1" 2>/dev/null && ! grep -q '^State:.*Z' "/proc/$1/status" 2>/dev/null; }
gone() { ! alive "$1"; }

shot() { # shot NAME: screenshot of the whole screen, path printed
    local f="$E2E_TMP/shots/$1.png"
    import -window root "$f" 2>/dev/null && echo "Screenshot: $f"
}

# The docked tray icon: the centre of the window inside trayer's panel that holds the
# program's icon window.
tray_icon_xy() {
    local panel socket
    for panel in $(xdotool search --class trayer 2>/dev/null); do
        for socket in $(xwininfo -id "$panel" -tree 2>/dev/null | awk '/^ +0x/ {print $1}'); do
            if xwininfo -id "$socket" -children 2>/dev/null | grep -q "^ *0x[0-9a-f]* \"$E2E_TITLE\""; then
                win_geom "$socket"
                echo "$((X + WIDTH / 2)) $((Y + HEIGHT / 2))"
                return 0
            fi
        done
    done
    return 1
}

tray_click() { # tray_click BUTTON
    local xy
    xy=$(tray_icon_xy) || return 1
    # shellcheck disable=SC2086
    xdotool mousemove $xy click "$1"
}

# Opens the tray menu and picks the item N steps up from the bottom (1 = E&xit).
tray_menu_from_bottom() {
    tray_click 3 || return 1
    sleep 0.8
    xdotool key --repeat "$1" --delay 80 Up
    sleep 0.2
    xdotool key Return
}

# Days since 1899-12-30 in local time, optionally shifted by seconds.
now_days() {
    python3 -c 'import sys, datetime as d
t = d.datetime.now() + d.timedelta(seconds=float(sys.argv[1]))
print(repr((t - d.datetime(1899, 12, 30)).total_seconds() / 86400))' "${1:-0}"
}
# |a - b| in seconds, for two day counts
days_diff_s() {
    python3 -c 'import sys; print(abs(float(sys.argv[1]) - float(sys.argv[2])) * 86400)' "$1" "$2"
}
within_s() { # within_s A B SECONDS
    python3 -c 'import sys; sys.exit(0 if abs(float(sys.argv[1]) - float(sys.argv[2])) * 86400 <= float(sys.argv[3]) else 1)' "$1" "$2" "$3"
}

q() { sqlite3 "$DB" "$@"; }
tray_docked() { tray_icon_xy >/dev/null; }
# Opens the tray menu and picks an item by its mnemonic letter.
tray_menu_key() {
    tray_click 3 || return 1
    sleep 0.8
    xdotool key "$1"
}
# win_geom WINDOW: X, Y, WIDTH, HEIGHT of its inside on the screen (xdotool's position
# counts the frame in under some window managers).
win_geom() {
    eval "$(xwininfo -id "$1" | awk '/Absolute upper-left X/ {print "X=" $4} /Absolute upper-left Y/ {print "Y=" $4}
        /^ +Width:/ {print "WIDTH=" $2} /^ +Height:/ {print "HEIGHT=" $2}')"
}
# The title the window manager shows (_NET_WM_NAME, else WM_NAME).
shown_title() {
    local t
    t=$(xprop -id "$1" _NET_WM_NAME 2>/dev/null | sed -n 's/^_NET_WM_NAME([^)]*) = "\(.*\)"$/\1/p')
    [ -n "$t" ] || t=$(xprop -id "$1" WM_NAME 2>/dev/null | sed -n 's/^WM_NAME([^)]*) = "\(.*\)"$/\1/p')
    printf '%s' "$t"
}
# A visible window of the program other than the main window and the tray icon (the
# balloon tip is one), by its size.
balloon_shown() {
    local w width height
    for w in $(xdotool search --onlyvisible --class jotboard 2>/dev/null); do
        eval "$(xwininfo -id "$w" 2>/dev/null | awk '/^ +Width:/ {print "width=" $2} /^ +Height:/ {print "height=" $2}')"
        if [ "${width:-0}" -gt 64 ] && [ "${height:-0}" -lt 200 ] && [ "${height:-0}" -gt 24 ]; then
            return 0
        fi
    done
    return 1
}
no_balloon() { ! balloon_shown; }
