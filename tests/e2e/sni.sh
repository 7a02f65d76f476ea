#!/usr/bin/env bash
# The StatusNotifierItem tray in a real X server, read and driven by a test tray host
# (trayhost.py) on a private session bus, as a desktop's panel would: the program started
# before the panel registers its own item; started after it, Qt's own item serves. Both
# show the title, the hint with the incomplete tasks, the icon and every tray command over
# com.canonical.dbusmenu; Activate brings the hidden window back, "&Add Task" opens the
# editor, "E&xit" ends the program with its placement saved. Quick capture from the command
# line reaches the running program and its hint.
# Usage: sni.sh <staged jotboard executable>

if [ -z "${ZVJ_E2E_PRIVATE_BUS:-}" ] && command -v dbus-run-session >/dev/null 2>&1; then
    exec env ZVJ_E2E_PRIVATE_BUS=1 dbus-run-session -- bash "$0" "$@"
fi

. "$(dirname "$0")/lib.bash"
e2e_require
[ -n "${DBUS_SESSION_BUS_ADDRESS:-}" ] || e2e_skip "no private session bus (dbus-run-session, package dbus)"
e2e_find_dbus_python || e2e_skip "no python3 with dbus and gi (packages python3-dbus, python3-gi)"
e2e_setup sni
e2e_start_x

HOME1=$(e2e_make_home home)
DB="$HOME1/zvData.zvb"
jot() { ZVJ_HOME="$HOME1/" "$E2E_EXE" "$@"; }
item_of_app() { host items | grep -q "^org.kde.StatusNotifierItem-$APP-zv"; }

# ---- The panel comes after the program (autostart) ---------------------------------------
e2e_start_app "$HOME1"
APP=$APP_PID
check "the window appears" wait_until 15 window_shown
app_settled
host_start
check "a watcher coming late gets the program's own item" wait_until 10 item_of_app
describe_is() { # describe_is PYTHON-CONDITION (d is the item as JSON)
    host describe --wait 5 >"$E2E_TMP/item.json" &&
        python3 -c "import json, sys; d = json.load(open(sys.argv[1])); sys.exit(0 if ($1) else 1)" "$E2E_TMP/item.json"
}
MENU='["&Open Zorvik Jotboard", "", "&Add Task", "Paste to &Task", "", "A&dd Memo", "Paste to &Memo", "", "E&xit"]'
check_item() { # check_item WHOSE
    check "$1: its title is the program's" describe_is 'd["Title"] == "Zorvik Jotboard" and d["Status"] == "Active"'
    check "$1: its tool tip is the hint of incomplete tasks" describe_is 'd["ToolTip"]["title"].startswith("Incomplete Tasks:")'
    check "$1: it has the tray icon's picture" describe_is 'any(w == 16 and h == 16 and n == 1024 for w, h, n in d["IconPixmap"]) or d["IconName"]'
    check "$1: its menu lists every tray command, enabled" \
        describe_is "[m['caption'] for m in d['menu']] == $MENU and all(m['enabled'] for m in d['menu'])"
}
check_item "own item"
cp "$E2E_TMP/item.json" "$E2E_TMP/own-item.json"

jot --add-task "milk"
check "--add-task with the program running ends with 0" [ $? -eq 0 ]
check "the task is stored at once" [ "$(q "select count(*) from tasks where content='milk'")" = 1 ]
check "the item's hint lists it" wait_until 5 describe_is '"(1) milk" in d["ToolTip"]["title"]'

wmctrl -c "$E2E_TITLE"
check "with the item as tray, closing the window hides it" wait_until 5 window_hidden
app_settled "$APP"
check "the program still runs" alive "$APP"
shot hidden
host activate
check "Activate brings the window back" wait_until 5 window_shown
host secondary
app_settled "$APP"
check "SecondaryActivate leaves the window as it is" window_shown

wmctrl -c "$E2E_TITLE"
wait_until 5 window_hidden
host menu "&Add Task"
check "the menu's \"&Add Task\" shows the window" wait_until 5 window_shown
W=$(main_window)
activate "$W"
app_settled
xdotool type --delay 30 "typed in"
xdotool key ctrl+Return
check "... with a new task in the editor" wait_until 5 bash -c "[ \"\$(sqlite3 '$DB' \"select count(*) from tasks where content='typed in'\")\" = 1 ]"
shot own-item-added

jot
check "a second start ends with 0" [ $? -eq 0 ]
host menu "E&xit"
check "the menu's \"E&xit\" ends the program" wait_until 10 gone "$APP"
wait "$APP" 2>/dev/null
check "... with status 0" [ $? -eq 0 ]
check "... with its placement saved" grep -q '^Saved=1' "$HOME1/zvConf.ini"
check "the item goes with the program" wait_until 5 bash -c "! \"$E2E_DBUS_PYTHON\" '$E2E_DIR/trayhost.py' items | grep -q ."

# ---- The panel was there first: Qt's own item ------------------------------------------------
e2e_start_app "$HOME1"
APP=$APP_PID
check "the window appears again" wait_until 15 window_shown
check "with the watcher there at the start an item registers" wait_until 10 bash -c "\"$E2E_DBUS_PYTHON\" '$E2E_DIR/trayhost.py' items | grep -q ."
check "... and it is Qt's own, not a second one" bash -c "[ \$(\"$E2E_DBUS_PYTHON\" '$E2E_DIR/trayhost.py' items | wc -l) = 1 ] && ! \"$E2E_DBUS_PYTHON\" '$E2E_DIR/trayhost.py' items | grep -q -- '-zv'"
check_item "Qt's item"
wmctrl -c "$E2E_TITLE"
wait_until 5 window_hidden
host activate
check "Activate on Qt's item brings the window back" wait_until 5 window_shown
host menu "E&xit"
check "\"E&xit\" on Qt's item ends the program" wait_until 10 gone "$APP"
e2e_finish
