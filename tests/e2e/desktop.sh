#!/usr/bin/env bash
# At home on a desktop, in a real X server: installed into a scratch XDG data folder, the
# menu entry is valid and starts the installed program, whose window and tray icon come
# from the installed icon theme; a second start brings back a maximised window that was
# minimised still maximised; a tray host appearing while the window sits minimised on the
# task bar hides nothing; with ZVJ_HOME set, the autostart entry's Exec opens the same data
# and starts no second instance; a reminder fired with the window hidden reaches the
# stand-in notification server of a private session bus; uninstalling keeps the data.
# Usage: desktop.sh <staged jotboard executable>

# Everything runs on a private session bus whose configuration starts no service on demand
# (a notification daemon installed here must not be started on it).
if [ -z "${ZVJ_E2E_PRIVATE_BUS:-}" ] && command -v dbus-run-session >/dev/null 2>&1; then
    conf=$(mktemp /tmp/jotboard-e2e-bus.XXXXXX)
    cat >"$conf" <<'EOF'
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig><type>session</type><listen>unix:tmpdir=/tmp</listen><auth>EXTERNAL</auth>
<policy context="default"><allow send_destination="*"/><allow eavesdrop="true"/><allow own="*"/></policy>
</busconfig>
EOF
    ZVJ_E2E_PRIVATE_BUS=1 ZVJ_E2E_BUS_CONF=$conf exec dbus-run-session --config-file="$conf" -- bash "$0" "$@"
fi
[ -n "${ZVJ_E2E_BUS_CONF:-}" ] && rm -f "$ZVJ_E2E_BUS_CONF"

. "$(dirname "$0")/lib.bash"
e2e_require trayer cmake identify
BUILD=$(cd "$(dirname "$E2E_EXE")/.." && pwd)
SOURCE=$(cd "$(dirname "$ZVJ_SCHEMA")/.." && pwd)
[ -f "$BUILD/cmake_install.cmake" ] || e2e_skip "no build folder with install rules beside $E2E_EXE"
e2e_setup desktop

# ---- Install --------------------------------------------------------------------------
DATA="$E2E_TMP/xdg data"
PROG="$E2E_TMP/my programs/zorvik-jotboard"
BIN="$E2E_TMP/xdg bin"
XDG_DATA_HOME="$DATA" XDG_BIN_HOME="$BIN" cmake --install "$BUILD" --prefix "$PROG" >"$E2E_TMP/install.log" 2>&1
check "cmake --install into a scratch XDG_DATA_HOME succeeds" [ $? -eq 0 ]
ENTRY="$DATA/applications/zorvik-jotboard.desktop"
check "the menu entry is in \$XDG_DATA_HOME/applications" [ -f "$ENTRY" ]
if command -v desktop-file-validate >/dev/null 2>&1; then
    check "desktop-file-validate accepts the entry" bash -c "out=\$(desktop-file-validate '$ENTRY' 2>&1) && [ -z \"\$out\" ]"
else
    echo "SKIP: desktop-file-validate is missing (package desktop-file-utils)"
fi
check "the entry offers the actions New Task and New Memo" grep -qx 'Actions=new-task;new-memo;' "$ENTRY"
check "New Task runs the installed program with --new-task" grep -qxF "Exec=\"$PROG/jotboard\" --new-task" "$ENTRY"
check "New Memo runs it with --new-memo" grep -qxF "Exec=\"$PROG/jotboard\" --new-memo" "$ENTRY"
check "the command jotboard is a link to the installed program" [ "$(readlink "$BIN/jotboard")" = "$PROG/jotboard" ]
for size in 16 22 24 32 48 64 128 256; do
    icon="$DATA/icons/hicolor/${size}x$size/apps/zorvik-jotboard.png"
    check "the ${size}px icon is in the hicolor theme" bash -c "[ \"\$(identify -format %wx%h '$icon' 2>/dev/null)\" = ${size}x$size ]"
done
check "the scalable icon is in the hicolor theme" grep -q '^<svg ' "$DATA/icons/hicolor/scalable/apps/zorvik-jotboard.svg"
entry_key() { sed -n "s/^$2=//p" "$1" | head -1; }

# The arguments of an entry's Exec, one a line, read by the Desktop Entry rules.
exec_args() {
    python3 - "$1" <<'EOF'
import sys
value = None
group = None
for line in open(sys.argv[1], encoding="utf-8").read().split("\n"):
    if line.startswith("["):
        group = line.strip()
    elif group == "[Desktop Entry]" and line.startswith("Exec="):
        value = line[5:]
unesc = {"s": " ", "n": "\n", "t": "\t", "r": "\r", "\\": "\\"}
out, i = "", 0
while i < len(value):
    c = value[i]
    if c == "\\" and i + 1 < len(value):
        out += unesc.get(value[i + 1], value[i + 1]); i += 2; continue
    out += c; i += 1
args, cur, inarg, i = [], "", False, 0
while i < len(out):
    c = out[i]
    if c == " ":
        if inarg: args.append(cur)
        cur, inarg = "", False
    elif c == '"' and not inarg:
        inarg, i = True, i + 1
        while out[i] != '"':
            if out[i] == "\\":
                i += 1
            if out[i] == "%":
                i += 1
            cur += out[i]; i += 1
    else:
        if c == "%":
            i += 1
        inarg, cur = True, cur + out[i]
    i += 1
if inarg: args.append(cur)
print("\n".join(args))
EOF
}
mapfile -t EXEC < <(exec_args "$ENTRY")
exec_is_program() { [ "${#EXEC[@]}" -eq 1 ] && [ "${EXEC[0]}" = "$PROG/jotboard" ]; }
check "the entry's Exec is the installed program (${EXEC[*]})" exec_is_program

# ---- The installed program in a real window -----------------------------------------------
e2e_start_x 85 tray
# A window manager that could not start yet gets a second chance: every check below needs one.
if ! wmctrl -m >/dev/null 2>&1; then
    e2e_bg openbox >>"$E2E_TMP/openbox.log" 2>&1
    wait_until 5 wmctrl -m >/dev/null 2>&1
fi
check "a window manager runs" wmctrl -m >/dev/null 2>&1
export XDG_DATA_HOME="$DATA"

STANDIN="$BUILD/tests/platform_tst_notify"
NOTIFY_LOG="$E2E_TMP/notifications.jsonl"
if [ -n "${ZVJ_E2E_PRIVATE_BUS:-}" ] && [ -x "$STANDIN" ]; then
    e2e_bg "$STANDIN" --stand-in-notification-server --log "$NOTIFY_LOG" >"$E2E_TMP/standin.log" 2>&1
    has_server() {
        dbus-send --session --print-reply --dest=org.freedesktop.DBus / org.freedesktop.DBus.NameHasOwner \
            string:org.freedesktop.Notifications 2>/dev/null | grep -q 'boolean true'
    }
    check "the stand-in notification server is on the private session bus" wait_until 10 has_server
else
    STANDIN=
    echo "SKIP (part): no private session bus or no stand-in server ($BUILD/tests/platform_tst_notify)"
fi

# A task whose reminder comes due while the window is hidden; its text has a line break.
DB="$PROG/zvData.zvb"
TID='{22222222-3333-4444-5555-666666666666}'
NOW=$(now_days)
DUE=$(now_days 25)
q "insert into tasks (tid, pid, content, checkFlag, dueFlag, alarmFlag, textColor, backgroundColor,
     createTime, editTime, alarmTime)
   values ('$TID', 'root', 'Call the dentist' || char(13) || char(10) || 'about <Tuesday> & Wednesday',
           0, 0, 1, 0, 0, $NOW, $NOW, $DUE)"

# Started as a launcher starts it: the entry's Exec, no ZVJ_HOME.
ZVJ_CHECKS=1 e2e_bg "${EXEC[@]}" >>"$E2E_TMP/app.log" 2>&1
APP=$E2E_LAST
check "the entry's Exec starts the program: the window appears" wait_until 15 window_shown
W=$(main_window)
check "the tray icon docks in the tray host" wait_until 10 tray_docked
sleep 1
wm_class=$(xprop -id "$W" WM_CLASS 2>/dev/null)
check "the window's class matches StartupWMClass ($wm_class)" \
    bash -c "[[ '$wm_class' == *'\"$(entry_key "$ENTRY" StartupWMClass)\"'* ]]"
# Our own pictures stop at 64 pixels; the installed theme icon has 24, 128 and 256 too.
icons=$(xprop -len 100000000 -id "$W" _NET_WM_ICON 2>/dev/null | grep -o 'Icon ([0-9]* x [0-9]*)' | sort -u | tr '\n' ' ')
check "the window's icon comes from the installed theme ($icons)" \
    bash -c "[[ '$icons' == *'256 x 256'* && '$icons' == *'24 x 24'* ]]"
shot window-and-tray
xy=$(tray_icon_xy) && read -r TX TY <<<"$xy" &&
    import -window root -crop "48x32+$((TX - 24))+$((TY - 16))" "$E2E_TMP/shots/tray-icon.png" 2>/dev/null &&
    echo "Screenshot: $E2E_TMP/shots/tray-icon.png"

# ---- A reminder with the window hidden ---------------------------------------------------------
wmctrl -c "$E2E_TITLE"
check "closing the window hides it to the tray" wait_until 5 window_hidden
dialog() { xdotool search --onlyvisible --name '^Task Reminder$' 2>/dev/null | head -1; }
has_dialog() { [ -n "$(dialog)" ]; }
check "\"Task Reminder\" appears while the window is hidden" wait_until 45 has_dialog
shot reminder
notified() { [ -s "$NOTIFY_LOG" ] && grep -q '"method":"Notify"' "$NOTIFY_LOG"; }
if [ -n "$STANDIN" ]; then
    check "the reminder reaches the notification server" wait_until 5 notified
    check "the notification's summary is \"Task Reminder\"" python3 - "$NOTIFY_LOG" <<'EOF'
import json, sys
calls = [json.loads(l) for l in open(sys.argv[1]) if l.strip()]
n = [c for c in calls if c["method"] == "Notify"][-1]
print("notification:", n["app_name"], "|", n["summary"], "|", n["body"], "|", n["app_icon"], "|", n["actions"])
sys.exit(0 if n["summary"] == "Task Reminder" and n["app_name"] == "Zorvik Jotboard" else 1)
EOF
    check "the notification's body is the task's text on one line" python3 - "$NOTIFY_LOG" <<'EOF'
import json, sys
calls = [json.loads(l) for l in open(sys.argv[1]) if l.strip()]
n = [c for c in calls if c["method"] == "Notify"][-1]
sys.exit(0 if n["body"] == "Call the dentist  about <Tuesday> & Wednesday" else 1)
EOF
    check "the notification names the installed icon" grep -q '"app_icon":"zorvik-jotboard"' "$NOTIFY_LOG"
fi
D=$(dialog)
if [ -n "$D" ] && [ -n "$STANDIN" ] && notified; then
    # Another window in front; a click on the notification brings the dialog back. (The
    # notification stays, as a resident one does, so closing the dialog must close it.)
    e2e_bg xmessage -name other -geometry 500x300+380+250 "another window"
    OTHER=$E2E_LAST
    wait_until 5 bash -c "xdotool search --onlyvisible --class xmessage >/dev/null"
    OW=$(xdotool search --onlyvisible --class xmessage | head -1)
    [ -n "$OW" ] && xdotool windowactivate --sync "$OW" 2>/dev/null
    sleep 0.3
    check "another window is active" bash -c "[ \"\$(xdotool getactivewindow 2>/dev/null)\" != '$D' ]"
    ID=$(python3 -c 'import json, sys
print([json.loads(l) for l in open(sys.argv[1]) if "\"Notify\"" in l][-1]["id"])' "$NOTIFY_LOG")
    dbus-send --session --print-reply --dest=org.freedesktop.Notifications /StandIn \
        org.zorvik.StandIn.Report string:action uint32:"$ID" >/dev/null
    check "a click on the notification brings the reminder dialog to the front" \
        wait_until 5 bash -c "[ \"\$(xdotool getactivewindow 2>/dev/null)\" = '$D' ]"
    shot notification-clicked
    kill "$OTHER" 2>/dev/null
fi
if [ -n "$D" ]; then
    # Return is Snooze, the default button.
    xdotool windowactivate --sync "$D" 2>/dev/null || xdotool windowfocus --sync "$D" 2>/dev/null
    sleep 0.3
    xdotool key Return
    check "Snooze closes the reminder" wait_until 5 bash -c "! xdotool search --onlyvisible --name '^Task Reminder\$' >/dev/null"
    closed() { grep -q '"method":"CloseNotification"' "$NOTIFY_LOG" 2>/dev/null; }
    [ -n "$STANDIN" ] && check "closing the dialog closes its notification" wait_until 3 closed
fi
tray_click 1
check "a click on the tray icon brings the window back" wait_until 5 window_shown

# ---- Without a tray host: a second start keeps the maximised state ----------------------------------
kill "$E2E_TRAYER" 2>/dev/null
wait "$E2E_TRAYER" 2>/dev/null
# The program looks for the host every two seconds.
sleep 3
W=$(main_window)
wmctrl -i -r "$W" -b add,maximized_vert,maximized_horz
maximised() { xprop -id "$W" _NET_WM_STATE | grep -q _NET_WM_STATE_MAXIMIZED_VERT; }
iconic() { xprop -id "$W" WM_STATE | grep -q Iconic; }
check "the window is maximised" wait_until 5 maximised
sleep 0.5
xdotool windowminimize "$W"
check "without a tray host minimising leaves the window on the task bar" wait_until 5 iconic
check "the minimised window stays listed by the window manager" bash -c "wmctrl -l | grep -q '$E2E_TITLE\$'"
"${EXEC[@]}" >>"$E2E_TMP/second.log" 2>&1
rc=$?
check "a second start ends with 0 (rc $rc)" [ "$rc" -eq 0 ]
check "a second start restores the minimised window" wait_until 5 bash -c "xprop -id $W WM_STATE | grep -q Normal"
sleep 0.5
check "the restored window is still maximised" maximised
shot second-start-maximised

# ---- A tray host appearing while the window sits minimised ---------------------------------------
xdotool windowminimize "$W"
check "minimised again, on the task bar" wait_until 5 iconic
e2e_bg trayer --edge top --align right --widthtype request --height 24 --transparent false --tint 0xffffff \
    >>"$E2E_TMP/trayer.log" 2>&1
E2E_TRAYER=$E2E_LAST
check "the tray icon docks in the new tray host" wait_until 10 tray_docked
sleep 3
check "a tray host appearing later leaves the window minimised, not hidden" iconic
check "the window stays listed by the window manager" bash -c "wmctrl -l | grep -q '$E2E_TITLE\$'"
shot tray-host-later
kill -TERM "$APP"
check "SIGTERM ends the program" wait_until 10 gone "$APP"

# ---- Autostart with ZVJ_HOME: the same data, no second instance ---------------------------------
HOME2=$(e2e_make_home "data dir")
ZVJ_CHECKS=1 ZVJ_HOME="$HOME2/" e2e_bg "$PROG/jotboard" >>"$E2E_TMP/app.log" 2>&1
APP2=$E2E_LAST
check "with ZVJ_HOME the window appears" wait_until 15 window_shown
W=$(main_window)
xdotool windowactivate --sync "$W" 2>/dev/null || xdotool windowfocus --sync "$W"
sleep 0.5
xdotool key alt+f
sleep 0.6
xdotool key o
options() { xdotool search --onlyvisible --name '^Options$' 2>/dev/null | head -1; }
check "File > Options... opens the Options dialog" wait_until 5 bash -c "[ -n \"\$(xdotool search --onlyvisible --name '^Options\$' 2>/dev/null)\" ]"
O=$(options)
if [ -n "$O" ]; then
    xdotool windowactivate --sync "$O" 2>/dev/null || xdotool windowfocus --sync "$O" 2>/dev/null
    sleep 0.3
    shot options-before
    # "Start with Windows" is the first box and has the focus.
    xdotool key space
    sleep 0.2
    shot options-ticked
    xdotool key Return
    check "OK closes the Options dialog" wait_until 5 bash -c "[ -z \"\$(xdotool search --onlyvisible --name '^Options\$' 2>/dev/null)\" ]"
fi
AUTOSTART="$XDG_CONFIG_HOME/autostart/Zorvik Jotboard.desktop"
check "\"Start with Windows\" writes the autostart entry" wait_until 3 test -f "$AUTOSTART"
if [ -f "$AUTOSTART" ]; then
    echo "autostart Exec=$(entry_key "$AUTOSTART" Exec)"
    mapfile -t AUTO < <(exec_args "$AUTOSTART")
    auto_keeps_home() {
        [ "${#AUTO[@]}" -eq 3 ] && [ "${AUTO[0]}" = env ] && [ "${AUTO[1]}" = "ZVJ_HOME=$HOME2/" ] &&
            [ "${AUTO[2]}" = "$PROG/jotboard" ]
    }
    check "the autostart Exec carries ZVJ_HOME (${AUTO[*]})" auto_keeps_home
    if command -v desktop-file-validate >/dev/null 2>&1; then
        check "desktop-file-validate accepts the autostart entry" \
            bash -c "out=\$(desktop-file-validate '$AUTOSTART' 2>&1) && [ -z \"\$out\" ]"
    fi
    # As the session would run it (from another folder, without ZVJ_HOME of its own).
    (cd / && env -u ZVJ_HOME timeout 10 "${AUTO[@]}") >>"$E2E_TMP/second.log" 2>&1
    rc=$?
    check "the autostart Exec finds the running instance and ends (rc $rc)" [ "$rc" -eq 0 ]
    check "the first instance still runs" alive "$APP2"
    check "one window only" bash -c "[ \$(wmctrl -l | grep -c '$E2E_TITLE\$') -eq 1 ]"
    kill -TERM "$APP2"
    check "SIGTERM ends the first instance" wait_until 10 gone "$APP2"
    (cd / && exec env -u ZVJ_HOME "${AUTO[@]}") >>"$E2E_TMP/app.log" 2>&1 &
    APP3=$!
    E2E_PIDS+=("$APP3")
    check "the autostart Exec starts the program when none runs" wait_until 15 window_shown
    opens_data() {
        local p
        for p in $(pgrep -f "$PROG/jotboard"); do
            ls -l "/proc/$p/fd" 2>/dev/null | grep -qF "$HOME2/zvData.zvb" && return 0
        done
        return 1
    }
    check "the program started by the autostart entry opens the ZVJ_HOME data" wait_until 5 opens_data
    shot autostart-started
    for p in $(pgrep -f "$PROG/jotboard"); do kill -TERM "$p"; done
    wait_until 10 bash -c "! pgrep -f '$PROG/jotboard' >/dev/null"
fi

# ---- Uninstall ---------------------------------------------------------------------------------
before=$(md5sum "$DB" | cut -d' ' -f1)
XDG_DATA_HOME="$DATA" XDG_BIN_HOME="$BIN" cmake -DZVJ_PREFIX="$PROG" -P "$SOURCE/resources/desktop/uninstall.cmake" >"$E2E_TMP/uninstall.log" 2>&1
check "the uninstall step succeeds" [ $? -eq 0 ]
check "the command's link goes with it" [ ! -e "$BIN/jotboard" ] && [ ! -L "$BIN/jotboard" ]
check "it says where the data stays" grep -qF "Your data stays in $PROG/" "$E2E_TMP/uninstall.log"
check "the menu entry is gone" [ ! -e "$ENTRY" ]
check "the icons are gone" bash -c "! ls '$DATA'/icons/hicolor/*/apps/zorvik-jotboard.* >/dev/null 2>&1"
check "the program is gone" [ ! -e "$PROG/jotboard" ]
check "the database stays, unchanged" [ "$(md5sum "$DB" | cut -d' ' -f1)" = "$before" ]
check "the settings stay" [ -f "$PROG/zvConf.ini" ]

e2e_finish
