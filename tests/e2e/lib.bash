# Shared helpers of the end-to-end checks: a private X server with a window manager (and,
# when asked, a tray host), a program folder with a fresh database, PASS/FAIL bookkeeping.
# Sourced by the tests/e2e/*.sh scripts; not a check of its own.

E2E_EXE=${1:-}
E2E_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
E2E_TITLE="Zorvik Jotboard"
E2E_PIDS=()
E2E_FAILS=0
E2E_PASSES=0
# The interpreter itself, found once: a version manager's shim in front of python3 costs
# a third of a second a call, and the scripts call it often.
E2E_PYTHON=$(command python3 -c 'import sys; print(sys.executable)' 2>/dev/null)
[ -n "$E2E_PYTHON" ] && python3() { "$E2E_PYTHON" "$@"; }

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
    local i pid tries
    for ((i = ${#E2E_PIDS[@]} - 1; i >= 0; i--)); do
        ours "${E2E_PIDS[i]}" && kill "${E2E_PIDS[i]}" 2>/dev/null
    done
    # Give each a moment to end by itself (the X server removes its socket), then insist.
    for ((i = ${#E2E_PIDS[@]} - 1; i >= 0; i--)); do
        pid=${E2E_PIDS[i]}
        for ((tries = 0; tries < 20; tries++)); do
            alive "$pid" || break
            sleep 0.05
        done
        ours "$pid" && kill -9 "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
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
    e2e_own_copy
}

# e2e_own_copy: the staged program folder and zvmkdb copied into the work folder, so that a
# rebuild of the build folder while the script runs (others build there all the time)
# neither replaces the program under test nor leaves a half-written executable to start.
e2e_own_copy() {
    local stage tries before after
    stage=$(dirname "$E2E_EXE")
    for ((tries = 0; tries < 30; tries++)); do
        before=$(stat -c '%Y %s' "$E2E_EXE" "$ZVJ_MKDB" 2>/dev/null)
        # A link in progress: the files are younger than two seconds.
        if [ $(($(date +%s) - $(stat -c %Y "$E2E_EXE" "$ZVJ_MKDB" | sort -n | tail -1))) -ge 2 ]; then
            rm -rf "${E2E_TMP:?}/program" "${E2E_TMP:?}/bin"
            mkdir -p "$E2E_TMP/bin"
            cp -r "$stage" "$E2E_TMP/program" && cp "$ZVJ_MKDB" "$E2E_TMP/bin/zvmkdb" &&
                after=$(stat -c '%Y %s' "$E2E_EXE" "$ZVJ_MKDB" 2>/dev/null) && [ "$before" = "$after" ] && break
        fi
        sleep 1
    done
    [ "$before" = "${after:-}" ] || { echo "FAIL: the staged program keeps changing"; exit 1; }
    E2E_EXE="$E2E_TMP/program/$(basename "$E2E_EXE")"
    ZVJ_MKDB="$E2E_TMP/bin/zvmkdb"
}

e2e_bg() { # run in background, remember the pid in E2E_LAST
    "$@" &
    E2E_LAST=$!
    E2E_PIDS+=("$E2E_LAST")
}

# e2e_start_x [tray]: a private X server on a display number the server picks itself
# (-displayfd: no two servers can take the same one, whoever else starts servers at the
# same time), a window manager that really manages windows, and when asked a tray host.
# A number first (the display once preferred) is still accepted and ignored.
e2e_start_x() {
    [[ "${1:-}" =~ ^[0-9]+$ ]] && shift
    local tries started=$EPOCHREALTIME
    for ((tries = 0; tries < 3; tries++)); do
        e2e_try_x && break
        e2e_stop "${E2E_WM:-}"
        e2e_stop "${E2E_XVFB:-}"
        unset DISPLAY
    done
    [ -n "${DISPLAY:-}" ] || { echo "FAIL: no X server with a window manager (see $E2E_TMP/*.log)"; exit 1; }
    if [ "${1:-}" = tray ]; then
        command -v trayer >/dev/null 2>&1 || e2e_skip "trayer is missing"
        e2e_bg trayer --edge top --align right --widthtype request --height 24 \
            --transparent false --tint 0xffffff >"$E2E_TMP/trayer.log" 2>&1
        E2E_TRAYER=$E2E_LAST
        wait_until 10 tray_host_up || { echo "FAIL: the tray host did not start"; exit 1; }
    fi
    echo "X server on $DISPLAY, ready after $(awk -v a="$started" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.1f", b - a }') s"
}

e2e_stop() { # e2e_stop PID: ends one of our own processes and waits for it
    [ -n "${1:-}" ] || return 0
    ours "$1" && kill "$1" 2>/dev/null
    wait "$1" 2>/dev/null
    return 0
}

e2e_try_x() {
    local n
    : >"$E2E_TMP/display"
    e2e_bg Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$E2E_TMP/display" >"$E2E_TMP/xvfb.log" 2>&1
    E2E_XVFB=$E2E_LAST
    # The server writes its display number once it listens (or ends).
    wait_until 10 x_numbered
    grep -q '^[0-9][0-9]*$' "$E2E_TMP/display" || return 1
    n=$(head -1 "$E2E_TMP/display")
    export DISPLAY=":$n"
    alive "$E2E_XVFB" && xwininfo -root >/dev/null 2>&1 || return 1
    e2e_bg openbox >"$E2E_TMP/openbox.log" 2>&1
    E2E_WM=$E2E_LAST
    wait_until 10 wm_ready
}

x_numbered() { grep -q '^[0-9][0-9]*$' "$E2E_TMP/display" || ! alive "$E2E_XVFB"; }

# The window manager manages windows: it runs, its check window names itself on the root
# window and on itself (a property left by another manager does not count), and wmctrl
# can read the client list.
wm_ready() {
    local check
    alive "$E2E_WM" || return 1
    check=$(xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | awk '/window id/ {print $NF}')
    [ -n "$check" ] || return 1
    [ "$(xprop -id "$check" _NET_SUPPORTING_WM_CHECK 2>/dev/null | awk '/window id/ {print $NF}')" = "$check" ] ||
        return 1
    wmctrl -m >/dev/null 2>&1 && wmctrl -l >/dev/null 2>&1
}

tray_host_up() { alive "$E2E_TRAYER" && xdotool search --onlyvisible --class trayer >/dev/null 2>&1; }

# e2e_make_home NAME: a program folder with a fresh database and the staged data files.
e2e_make_home() {
    local home="$E2E_TMP/$1"
    mkdir -p "$home/Temp"
    "$ZVJ_MKDB" "$ZVJ_SCHEMA" "$home/zvData.zvb" >&2 || { echo "FAIL: zvmkdb" >&2; exit 1; }
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

# Seconds scaled for slow instrumented builds (ZVJ_TIMEOUT_SCALE), in microseconds.
e2e_scaled_us() {
    awk -v s="$1" -v f="${ZVJ_TIMEOUT_SCALE:-1}" 'BEGIN { if (f < 1) f = 1; printf "%d", s * f * 1000000 }'
}

# wait_until SECONDS command...: polls every 0.05 s until the command succeeds; the limit
# is only a ceiling (scaled by ZVJ_TIMEOUT_SCALE), a quiet machine never waits it out.
wait_until() {
    local end=$((${EPOCHREALTIME/./} + $(e2e_scaled_us "$1")))
    shift
    while ((${EPOCHREALTIME/./} < end)); do
        "$@" && return 0
        sleep 0.05
    done
    "$@"
}

# app_settled [PID]: the program (by default the last one started) has handled every key,
# click and request sent to it so far, and the events those posted in turn: it answered
# several _NET_WM_PING in a row (xping.py). This is the wait after a key whose effect stays
# inside the window (an in-place editor opening, a selection moving): X shows no sign of it.
app_settled() {
    local pid=${1:-$APP_PID} s
    s=$(awk -v f="${ZVJ_TIMEOUT_SCALE:-1}" 'BEGIN { if (f < 1) f = 1; print 10 * f }')
    # shellcheck disable=SC2046
    python3 "$E2E_DIR/xping.py" "$s" 5 $(xdotool search --pid "$pid" 2>/dev/null)
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
# A process of ours: our child. One of ours that has ended and been reaped may already be
# somebody else's process (pids come round within a minute on a busy machine): no check
# may take it for ours, and no kill may reach it.
ours() {
    local stat
    stat=$(cat "/proc/$1/stat" 2>/dev/null) || return 1
    stat=${stat##*) } # after the command name, which may hold spaces and parentheses
    # shellcheck disable=SC2086
    set -- $stat # state, parent, ...
    [ "$2" = "$$" ]
}
alive() {
    ours "$1" || return 1
    local stat
    stat=$(cat "/proc/$1/stat" 2>/dev/null) || return 1
    stat=${stat##*) }
    [ "${stat%% *}" != Z ]
}
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

# A pop-up of the program is on screen: a menu or a drop-down list. Qt gives each its own
# override-redirect window; so are the docked tray icon (icon-sized) and the balloon (a
# tool tip), which do not count.
popup_shown() {
    local w info
    for w in $(xdotool search --onlyvisible --pid "${1:-$APP_PID}" 2>/dev/null); do
        info=$(xwininfo -id "$w" 2>/dev/null)
        grep -q 'Override Redirect State: yes' <<<"$info" || continue
        [ "$(awk '/^ +Width:/ {print $2}' <<<"$info")" -gt 32 ] || continue
        xprop -id "$w" _NET_WM_WINDOW_TYPE 2>/dev/null | grep -q TOOLTIP && continue
        return 0
    done
    return 1
}
no_popup() { ! popup_shown "$@"; }

# Opens the tray menu and waits until it is there and the program has caught up (the menu
# holds the keyboard from then on).
tray_menu_open() {
    # A click can be lost while the menu picked a moment ago is still closing on a busy
    # machine: one more try after Escape.
    local try
    for try in 1 2; do
        tray_click 3 || { echo "(no tray icon to click)"; return 1; }
        if wait_until 5 popup_shown; then
            app_settled
            return 0
        fi
        xdotool key Escape 2>/dev/null
    done
    echo "(the tray menu did not open)"
    return 1
}

# Opens the tray menu and picks the item N steps up from the bottom (1 = E&xit).
tray_menu_from_bottom() {
    tray_menu_open || return 1
    xdotool key --repeat "$1" --delay 80 Up
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
    tray_menu_open || return 1
    xdotool key "$1"
}
window_active() { [ "$(xdotool getactivewindow 2>/dev/null)" = "$1" ]; }
# activate WINDOW: asks the window manager to activate it and waits until it is active,
# with a ceiling (xdotool's own --sync waits for ever on a window that has gone).
activate() {
    [ -n "${1:-}" ] || return 1
    xdotool windowactivate "$1" 2>/dev/null
    wait_until 5 window_active "$1"
}
window_state_is() { xprop -id "$1" WM_STATE 2>/dev/null | grep -q "window state: $2"; } # Normal, Iconic
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

# An id as the program makes them: a GUID in braces, upper case.
GUID_RE='^\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\}$'
# The clipboard's text as hex bytes.
clip_hex() { timeout 5 xclip -selection clipboard -o 2>/dev/null | od -An -tx1 | tr -d ' \n'; }
clip_is() { [ "$(clip_hex)" = "$1" ]; }
# The program's question box ("Ask").
# A window of the program in front of the main one W (a dialog, a box).
other_window() {
    local a
    a=$(xdotool getactivewindow 2>/dev/null) && [ -n "$a" ] && [ "$a" != "$W" ]
}
# answer_file_dialog PATH: the file dialog that is opening gets PATH in its name field.
answer_file_dialog() {
    wait_until 10 other_window && app_settled
    xdotool key ctrl+a
    xdotool type --delay 20 "$1"
    xdotool key Return
}

ask_box() { xdotool search --onlyvisible --name '^Ask$' 2>/dev/null | head -1; }
ask_shown() { [ -n "$(ask_box)" ]; }
ask_gone() { ! ask_shown; }

# e2e_open_on_new_home: a fresh program folder (HOME1, its database DB), the program on it
# (APP), its window shown, settled and active (W).
e2e_open_on_new_home() {
    HOME1=$(e2e_make_home home)
    DB="$HOME1/zvData.zvb"
    e2e_start_app "$HOME1"
    APP=$APP_PID
    check "the window appears" wait_until 15 window_shown
    W=$(main_window)
    app_settled # the frames load on posted messages after the first show
    activate "$W"
}

# hide_with_clipboard TEXT: the window closed to the tray, TEXT owned on the clipboard by an
# xclip whose pid is XCLIP (stop it with e2e_stop when done).
hide_with_clipboard() {
    wmctrl -c "$E2E_TITLE"
    check "the window hides" wait_until 5 window_hidden
    printf '%b' "$1" | xclip -selection clipboard -quiet >/dev/null 2>&1 &
    XCLIP=$!
    E2E_PIDS+=("$XCLIP")
    wait_until 5 clip_is "$(printf '%b' "$1" | od -An -tx1 | tr -d ' \n')"
}

# ---- The test tray host (StatusNotifierItem) -------------------------------------------------
# e2e_find_dbus_python: an interpreter with Debian's python3-dbus and python3-gi (a version
# manager's python3 in front of the system's usually lacks them), in E2E_DBUS_PYTHON.
e2e_find_dbus_python() {
    local p
    for p in /usr/bin/python3 "$(command -v python3 2>/dev/null)"; do
        [ -x "$p" ] && "$p" -c 'import dbus, dbus.mainloop.glib, gi.repository.GLib' 2>/dev/null && {
            E2E_DBUS_PYTHON=$p
            return 0
        }
    done
    return 1
}
host() { "$E2E_DBUS_PYTHON" "$E2E_DIR/trayhost.py" "$@"; }
host_serving() { grep -q '"serving"' "$E2E_TMP/host.log" 2>/dev/null; }
# host_start: the watcher with a registered host, as a panel brings it; its pid in HOST.
host_start() {
    e2e_bg "$E2E_DBUS_PYTHON" "$E2E_DIR/trayhost.py" serve --log "$E2E_TMP/host.log"
    HOST=$E2E_LAST
    wait_until 10 host_serving || { echo "FAIL: the test tray host did not start"; exit 1; }
}
