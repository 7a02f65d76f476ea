#!/usr/bin/env bash
# The program as a native Wayland client under a headless weston (pixman, a private
# XDG_RUNTIME_DIR, no Xwayland), with the test tray host and a stand-in notification server
# on a private session bus. xdotool cannot reach a Wayland window: the script drives the
# program through its command line, its socket (zvsocket.py reads the window's state) and
# the tray host's menu. Checked: the wayland platform is taken with QT_QPA_PLATFORM unset
# (also with an X display there), xcb still when asked; start hidden in the tray, come back
# through the host; --add-task with the program running; a second start that cannot bring
# the window forward says "Zorvik Jotboard is already running" in a notification; "Stay on
# top" is greyed; the saved placement keeps its corner and takes only the size; "E&xit"
# through the tray menu.
# Usage: wayland.sh <staged jotboard executable>

if [ -z "${ZVJ_E2E_PRIVATE_BUS:-}" ] && command -v dbus-run-session >/dev/null 2>&1; then
    exec env ZVJ_E2E_PRIVATE_BUS=1 dbus-run-session -- bash "$0" "$@"
fi

. "$(dirname "$0")/lib.bash"
# In the sanitizer build: allocation stacks by the slow unwinder, so that the leak Mesa's
# EGL start-up leaves (tests/sanitizers/lsan.supp) is recorded with the libraries that are
# still loaded at exit, not only the driver that is gone by then. Other builds ignore it.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}fast_unwind_on_malloc=0"
[ -n "$E2E_EXE" ] && [ -x "$E2E_EXE" ] || e2e_skip "program not built: '$E2E_EXE'"
[ -n "${ZVJ_MKDB:-}" ] && [ -x "$ZVJ_MKDB" ] || e2e_skip "ZVJ_MKDB not set"
for tool in weston sqlite3 python3; do
    command -v "$tool" >/dev/null 2>&1 || e2e_skip "$tool is missing (package $tool)"
done
[ -n "${DBUS_SESSION_BUS_ADDRESS:-}" ] || e2e_skip "no private session bus (dbus-run-session, package dbus)"
e2e_find_dbus_python || e2e_skip "no python3 with dbus and gi (packages python3-dbus, python3-gi)"
BUILD=$(cd "$(dirname "$E2E_EXE")/.." && pwd)
STANDIN="$BUILD/tests/platform_tst_notify"
e2e_setup wayland
unset DISPLAY

# ---- A headless compositor --------------------------------------------------------------
WL=wayland-jotboard
e2e_bg weston --backend=headless-backend.so --use-pixman --socket="$WL" --idle-time=0 --width=1280 \
    --height=800 >"$E2E_TMP/weston.log" 2>&1
WESTON=$E2E_LAST
wait_until 10 test -S "$XDG_RUNTIME_DIR/$WL" || { echo "FAIL: weston did not start (see $E2E_TMP/weston.log)"; exit 1; }
export WAYLAND_DISPLAY=$WL
echo "weston on $WAYLAND_DISPLAY"

host_start
NOTIFY_LOG="$E2E_TMP/notifications.jsonl"
if [ -x "$STANDIN" ]; then
    e2e_bg "$STANDIN" --stand-in-notification-server --log "$NOTIFY_LOG" >"$E2E_TMP/standin.log" 2>&1
    has_server() {
        dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
            org.freedesktop.DBus.NameHasOwner string:org.freedesktop.Notifications 2>/dev/null | grep -q 'boolean true'
    }
    wait_until 10 has_server || STANDIN=
else
    STANDIN=
fi

HOME1=$(e2e_make_home home)
DB="$HOME1/zvData.zvb"
# Placed once on X11: the corner must survive, the size is taken.
printf '[form]\r\nSaved=1\r\nMaximized=0\r\nLeft=300\r\nTop=200\r\nRight=900\r\nBottom=700\r\n[option]\r\nrunMinimizedEn=1\r\n' \
    >"$HOME1/zvConf.ini"
jot() { ZVJ_HOME="$HOME1/" "$E2E_EXE" "$@"; }
state_file="$E2E_TMP/state.json"
state_is() { # state_is PYTHON-CONDITION (s is the window's state)
    python3 "$E2E_DIR/zvsocket.py" "$HOME1" state >"$state_file" 2>/dev/null &&
        python3 -c "import json, sys; s = json.loads(json.load(open(sys.argv[1]))['message']); sys.exit(0 if ($1) else 1)" "$state_file"
}
notified() { # notified COUNT: that many "already running" notifications
    [ "$(grep -c 'Zorvik Jotboard is already running' "$NOTIFY_LOG" 2>/dev/null)" -ge "$1" ]
}

ZVJ_CHECKS=1 ZVJ_HOME="$HOME1/" e2e_bg "$E2E_EXE" >>"$E2E_TMP/app.log" 2>&1
APP=$E2E_LAST
check "the program answers on its socket" wait_until 15 state_is 'True'
check "it is a native Wayland client" state_is 's["platform"] == "wayland"'
check "the tray is there (the host's item)" wait_until 5 state_is 's["tray"]'
check "\"Run program minimized\" starts it hidden in the tray" wait_until 10 state_is 's["window"] == "hidden"'
check "\"Stay on top\" is greyed on Wayland" state_is 'not s["stayOnTop"]'
check "the item is on the host" wait_until 5 bash -c "\"$E2E_DBUS_PYTHON\" '$E2E_DIR/trayhost.py' items | grep -q ."

jot
check "a second start while hidden ends with 0" [ $? -eq 0 ]
check "... and leaves the window hidden" state_is 's["window"] == "hidden"'
if [ -n "$STANDIN" ]; then
    check "... and says \"Zorvik Jotboard is already running\" in a notification" wait_until 5 notified 1
else
    echo "SKIP (part): no stand-in notification server ($BUILD/tests/platform_tst_notify)"
fi

host activate
check "Activate on the tray item brings the window back" wait_until 5 state_is 's["window"] == "shown"'
check "the saved size is taken" state_is 's["width"] == 600 and s["height"] == 500'

jot --add-task "milk"
check "--add-task with the program running ends with 0" [ $? -eq 0 ]
check "the task is stored" [ "$(q "select count(*) from tasks where content='milk'")" = 1 ]
check "the window stays as it was" state_is 's["window"] == "shown"'
# Qt's item shows the balloon of the start in its tool tip for the balloon's ten seconds.
check "the item's hint lists the task" wait_until 15 bash -c "\"$E2E_DBUS_PYTHON\" '$E2E_DIR/trayhost.py' describe | grep -q '(1) milk'"

before=$(grep -c 'Zorvik Jotboard is already running' "$NOTIFY_LOG" 2>/dev/null)
jot
check "a second start while shown ends with 0" [ $? -eq 0 ]
# Without a token the compositor lets nothing take the focus: the start is announced
# instead, unless the window already had it.
came_forward_or_said() { state_is 's["active"]' || notified $((${before:-0} + 1)); }
[ -n "$STANDIN" ] && check "... the window comes forward or a notification says it runs" wait_until 5 came_forward_or_said

host menu "A&dd Memo"
check "the tray menu's \"A&dd Memo\" keeps the window shown" wait_until 5 state_is 's["window"] == "shown"'
host menu "E&xit"
check "the tray menu's \"E&xit\" ends the program" wait_until 10 gone "$APP"
wait "$APP" 2>/dev/null
check "... with status 0" [ $? -eq 0 ]
ini_key() { sed -n "s/^$1=\([-0-9]*\).*/\1/p" "$HOME1/zvConf.ini" | head -1; }
check "the placement keeps the corner saved on X11" [ "$(ini_key Left)/$(ini_key Top)" = "300/200" ]
check "... and the size" [ "$(($(ini_key Right) - $(ini_key Left)))x$(($(ini_key Bottom) - $(ini_key Top)))" = 600x500 ]
check "nothing else was stored" [ "$(q "select count(*) from tasks") $(q "select count(*) from memos")" = "1 0" ]

# ---- With an X display there as well ------------------------------------------------------
if command -v Xvfb >/dev/null 2>&1; then
    e2e_bg Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$E2E_TMP/display" >"$E2E_TMP/xvfb.log" 2>&1
    XVFB=$E2E_LAST
    wait_until 10 grep -q '^[0-9]' "$E2E_TMP/display"
    export DISPLAY=":$(head -1 "$E2E_TMP/display")"
    sed -i 's/^runMinimizedEn=1/runMinimizedEn=0/' "$HOME1/zvConf.ini"
    for platform in "" xcb; do
        ZVJ_HOME="$HOME1/" e2e_bg env ${platform:+QT_QPA_PLATFORM=$platform} "$E2E_EXE" >>"$E2E_TMP/app.log" 2>&1
        APP=$E2E_LAST
        if [ -z "$platform" ]; then
            check "with DISPLAY set too and QT_QPA_PLATFORM unset it is still wayland" \
                wait_until 15 state_is 's["platform"] == "wayland"'
        else
            check "QT_QPA_PLATFORM=xcb still gives X11" wait_until 15 state_is 's["platform"] == "xcb"'
        fi
        host menu "E&xit"
        wait_until 10 gone "$APP"
    done
    e2e_stop "$XVFB"
fi
e2e_finish
