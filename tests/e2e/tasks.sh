#!/usr/bin/env bash
# Task entry in a real window: keys in the tree, the in-place editor, rows in the database,
# the clipboard and the tray's Paste to Task.
# Usage: tasks.sh <staged jotboard executable>
. "$(dirname "$0")/lib.bash"
e2e_require trayer
e2e_setup tasks
e2e_start_x 79 tray

HOME1=$(e2e_make_home home)
DB="$HOME1/zvData.zvb"
e2e_start_app "$HOME1"
APP=$APP_PID
check "the window appears" wait_until 15 window_shown
W=$(main_window)
sleep 1.5 # the frames load on posted messages after the first show
xdotool windowactivate --sync "$W" 2>/dev/null
sleep 0.3

rows() { q "select count(*) from tasks"; }
rows_are() { [ "$(rows)" = "$1" ]; }
GUID_RE='^\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\}$'

# Enter: a new task in the in-place editor; Enter inside it is a line break.
xdotool key Return
sleep 0.6
xdotool type --delay 30 "first line"
xdotool key Return
xdotool type --delay 30 "second line"
sleep 0.3
shot editor-open
check "nothing is stored while the editor is open" rows_are 0
xdotool key ctrl+Return
check "Ctrl+Enter stores one row" wait_until 5 rows_are 1
NOW=$(now_days)
IFS='|' read -r TID PID HEX CHECK ALARM DUE CT ET < <(q "select tid, pid, hex(content), checkFlag, alarmFlag, dueFlag, createTime, editTime from tasks")
check "the id is a GUID in braces, upper case ($TID)" bash -c "[[ '$TID' =~ $GUID_RE ]]"
check "pid is 'root' ($PID)" [ "$PID" = root ]
EXPECT=$(printf 'first line\r\nsecond line' | od -An -tx1 | tr -d ' \n' | tr a-f A-F)
check "content is \"first line\" CR LF \"second line\" ($HEX)" [ "$HEX" = "$EXPECT" ]
check "the flags start cleared" [ "$CHECK|$ALARM|$DUE" = "0|0|0" ]
check "createTime is now ($CT)" within_s "$CT" "$NOW" 60
check "editTime is now ($ET)" within_s "$ET" "$NOW" 60

# F2 then Esc: the stored task keeps its text and its edit time.
BEFORE=$(q "select content, editTime from tasks")
xdotool key F2
sleep 0.6
xdotool type --delay 30 " changed"
sleep 0.2
xdotool key Escape
sleep 0.8
check "F2, typing, Esc leaves the row unchanged" [ "$(q "select content, editTime from tasks")" = "$BEFORE" ]
check "F2 and Esc add no row" rows_are 1

# Ctrl+Enter on a top-level task adds a sub-task.
xdotool key ctrl+Return
sleep 0.6
xdotool type --delay 30 "sub"
xdotool key ctrl+Return
check "Ctrl+Enter, typing, Ctrl+Enter stores a sub-task" wait_until 5 rows_are 2
check "the sub-task's pid is the first task's tid" \
    [ "$(q "select pid from tasks where content='sub'")" = "$TID" ]

# Delete on the top-level task, answered with OK, removes the task and its sub-task.
xdotool key Home
sleep 0.3
xdotool key Delete
if wait_until 5 bash -c "xdotool search --onlyvisible --name '^Ask\$' >/dev/null 2>&1"; then
    pass "Delete asks (box \"Ask\")"
    TITLE=$(shown_title "$(xdotool search --onlyvisible --name '^Ask$' | head -1)")
    check "the question's title bar reads \"Ask\" (\"$TITLE\")" [ "$TITLE" = Ask ]
    shot delete-question
    xdotool key Return
else
    fail "Delete asks (box \"Ask\")"
fi
check "Delete with OK removes the task and its sub-task" wait_until 5 rows_are 0

# Three tasks x, y, z; Ctrl+A, Ctrl+C: x CR y CR z on the clipboard.
for t in x y z; do
    xdotool key Return
    sleep 0.5
    xdotool type --delay 30 "$t"
    xdotool key ctrl+Return
    sleep 0.6
done
check "three tasks stored" wait_until 5 rows_are 3
xdotool key ctrl+a
sleep 0.3
xdotool key ctrl+c
sleep 0.5
CLIP=$(timeout 5 xclip -selection clipboard -o | od -An -c | tr -s ' ' | sed 's/^ //')
echo "clipboard: $CLIP"
check "Ctrl+C on three tasks puts x CR y CR z on the clipboard" \
    [ "$(timeout 5 xclip -selection clipboard -o | od -An -tx1 | tr -d ' \n')" = "780d790d7a" ]

# List view, switched on from the View menu.
xdotool key alt+v
sleep 0.5
shot view-menu
xdotool key l
sleep 0.8
shot list-view
ini_list=$(grep -i "^viewListEn=" "$HOME1/zvConf.ini" | tail -1 | tr -d "\r")
check "View List from the View menu stores viewListEn=1 ($ini_list)" [ "${ini_list#*=}" = 1 ]

# Paste to Task from the tray menu while the window is hidden.
wmctrl -c "$E2E_TITLE"
check "the window hides" wait_until 5 window_hidden
printf 'pasted' | xclip -selection clipboard -quiet >/dev/null 2>&1 &
XCLIP=$!
E2E_PIDS+=("$XCLIP")
sleep 0.5
# "Paste to &Task" by its mnemonic.
tray_menu_key t
check "Paste to Task stores the clipboard text as a task" \
    wait_until 5 bash -c "[ \"\$(sqlite3 '$DB' \"select count(*) from tasks where content='pasted' and pid='root'\")\" = 1 ]"
sleep 0.5
check "Paste to Task leaves the window hidden" window_hidden
shot after-tray-paste
kill "$XCLIP" 2>/dev/null

# "&Add Task" from the tray menu brings the window back with a new task in the editor.
tray_menu_key a
check "Add Task from the tray shows the window" wait_until 5 window_shown
sleep 0.8
xdotool type --delay 30 "from the tray"
shot tray-add-task
xdotool key ctrl+Return
check "Add Task from the tray stores the typed task" \
    wait_until 5 bash -c "[ \"\$(sqlite3 '$DB' \"select count(*) from tasks where content='from the tray' and pid='root'\")\" = 1 ]"

# Ctrl+F12 in the tree hides the window to the tray.
sleep 0.5
xdotool key ctrl+F12
check "Ctrl+F12 in the tree hides the window" wait_until 5 window_hidden
tray_click 1
check "the tray icon brings it back" wait_until 5 window_shown
xdotool windowactivate --sync "$(main_window)" 2>/dev/null
sleep 0.5

# Ending the program while a new task is being edited stores the typed text.
xdotool key Return
sleep 0.6
xdotool type --delay 30 "typed before exit"
sleep 0.3
check "the program still runs" alive "$APP"
kill -TERM "$APP"
check "SIGTERM ends the program" wait_until 10 gone "$APP"
check "SIGTERM while editing stores the typed task" \
    [ "$(q "select count(*) from tasks where content='typed before exit'")" = 1 ]

# A later start shows the stored tasks; the keyboard alone reaches them: Down in the
# focused tree selects the first task, and Delete asks about it (Cancel keeps it).
e2e_start_app "$HOME1"
APP=$APP_PID
check "the program starts again on the same folder" wait_until 15 window_shown
sleep 1.5
xdotool windowactivate --sync "$(main_window)" 2>/dev/null
sleep 0.3
COUNT=$(rows)
xdotool key Down
sleep 0.4
shot restart-down
xdotool key Delete
if wait_until 3 bash -c "xdotool search --onlyvisible --name '^Ask\$' >/dev/null 2>&1"; then
    pass "after a restart, Down then Delete asks about the first task"
    xdotool key Escape
    sleep 0.5
else
    fail "after a restart, Down then Delete asks about the first task (Down moved no selection)"
fi
check "Cancel keeps every task" rows_are "$COUNT"
# Ending the program while the question is open ends it cleanly and deletes nothing.
xdotool key Delete
wait_until 3 bash -c "xdotool search --onlyvisible --name '^Ask\$' >/dev/null 2>&1"
kill -TERM "$APP"
check "SIGTERM with the question open ends the program" wait_until 10 gone "$APP"
wait "$APP" 2>/dev/null
rc=$?
check "SIGTERM with the question open exits with 0 (rc $rc)" [ "$rc" -eq 0 ]
check "SIGTERM with the question open deletes nothing" rows_are "$COUNT"

e2e_finish
