#!/usr/bin/env bash
# Task entry in a real window: keys in the tree, the in-place editor, rows in the database,
# the clipboard and the tray's Paste to Task.
# Usage: tasks.sh <staged jotboard executable>
. "$(dirname "$0")/lib.bash"
e2e_require trayer
e2e_setup tasks
e2e_start_x tray

e2e_open_on_new_home # HOME1, DB, APP and W

rows() { q "select count(*) from tasks"; }
rows_are() { [ "$(rows)" = "$1" ]; }
# Keys that open the in-place editor, or move inside the tree, change nothing X can see:
# each is followed by app_settled before the next keys.

# Enter: a new task in the in-place editor; Enter inside it is a line break.
xdotool key Return
app_settled
xdotool type --delay 30 "first line"
xdotool key Return
xdotool type --delay 30 "second line"
app_settled
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
app_settled
xdotool type --delay 30 " changed"
xdotool key Escape
app_settled
check "F2, typing, Esc leaves the row unchanged" [ "$(q "select content, editTime from tasks")" = "$BEFORE" ]
check "F2 and Esc add no row" rows_are 1

# Ctrl+Enter on a top-level task adds a sub-task.
xdotool key ctrl+Return
app_settled
xdotool type --delay 30 "sub"
xdotool key ctrl+Return
check "Ctrl+Enter, typing, Ctrl+Enter stores a sub-task" wait_until 5 rows_are 2
check "the sub-task's pid is the first task's tid" \
    [ "$(q "select pid from tasks where content='sub'")" = "$TID" ]

# Delete on the top-level task, answered with OK, removes the task and its sub-task.
xdotool key Home
app_settled
xdotool key Delete
if wait_until 5 ask_shown; then
    pass "Delete asks (box \"Ask\")"
    BOX=$(ask_box)
    TITLE=$(shown_title "$BOX")
    check "the question's title bar reads \"Ask\" (\"$TITLE\")" [ "$TITLE" = Ask ]
    shot delete-question
    wait_until 5 window_active "$BOX"
    xdotool key Return
else
    fail "Delete asks (box \"Ask\")"
fi
check "Delete with OK removes the task and its sub-task" wait_until 5 rows_are 0

# Three tasks x, y, z; Ctrl+A, Ctrl+C: x CR y CR z on the clipboard.
n=0
for t in x y z; do
    xdotool key Return
    app_settled
    xdotool type --delay 30 "$t"
    xdotool key ctrl+Return
    wait_until 5 rows_are $((n += 1))
done
check "three tasks stored" rows_are 3
xdotool key ctrl+a
app_settled
xdotool key ctrl+c
check "Ctrl+C on three tasks puts x CR y CR z on the clipboard" wait_until 5 clip_is 780d790d7a
echo "clipboard: $(clip_hex)"

# List view, switched on from the View menu.
xdotool key alt+v
wait_until 5 popup_shown && app_settled
shot view-menu
xdotool key l
view_list_stored() { [ "$(grep -i "^viewListEn=" "$HOME1/zvConf.ini" | tail -1 | tr -d "\r")" = viewListEn=1 ]; }
wait_until 5 view_list_stored
shot list-view
ini_list=$(grep -i "^viewListEn=" "$HOME1/zvConf.ini" | tail -1 | tr -d "\r")
check "View List from the View menu stores viewListEn=1 ($ini_list)" [ "${ini_list#*=}" = 1 ]

# Paste to Task from the tray menu while the window is hidden.
hide_with_clipboard 'pasted' # sets XCLIP, the clipboard owner
# "Paste to &Task" by its mnemonic.
tray_menu_key t
check "Paste to Task stores the clipboard text as a task" \
    wait_until 5 bash -c "[ \"\$(sqlite3 '$DB' \"select count(*) from tasks where content='pasted' and pid='root'\")\" = 1 ]"
app_settled
check "Paste to Task leaves the window hidden" window_hidden
shot after-tray-paste
e2e_stop "$XCLIP"

# "&Add Task" from the tray menu brings the window back with a new task in the editor.
tray_menu_key a
check "Add Task from the tray shows the window" wait_until 5 window_shown
wait_until 5 window_active "$(main_window)"
app_settled
xdotool type --delay 30 "from the tray"
shot tray-add-task
xdotool key ctrl+Return
check "Add Task from the tray stores the typed task" \
    wait_until 5 bash -c "[ \"\$(sqlite3 '$DB' \"select count(*) from tasks where content='from the tray' and pid='root'\")\" = 1 ]"

# Ctrl+F12 in the tree hides the window to the tray.
app_settled
xdotool key ctrl+F12
check "Ctrl+F12 in the tree hides the window" wait_until 5 window_hidden
tray_click 1
check "the tray icon brings it back" wait_until 5 window_shown
activate "$(main_window)"
app_settled

# Ending the program while a new task is being edited stores the typed text.
xdotool key Return
app_settled
xdotool type --delay 30 "typed before exit"
app_settled
check "the program still runs" alive "$APP"
ours "$APP" && kill -TERM "$APP"
check "SIGTERM ends the program" wait_until 10 gone "$APP"
check "SIGTERM while editing stores the typed task" \
    [ "$(q "select count(*) from tasks where content='typed before exit'")" = 1 ]

# A later start shows the stored tasks; the keyboard alone reaches them: Down in the
# focused tree selects the first task, and Delete asks about it (Cancel keeps it).
e2e_start_app "$HOME1"
APP=$APP_PID
check "the program starts again on the same folder" wait_until 15 window_shown
app_settled
activate "$(main_window)"
COUNT=$(rows)
xdotool key Down
app_settled
shot restart-down
xdotool key Delete
if wait_until 3 ask_shown; then
    pass "after a restart, Down then Delete asks about the first task"
    wait_until 5 window_active "$(ask_box)"
    xdotool key Escape
    wait_until 5 ask_gone
    app_settled
else
    fail "after a restart, Down then Delete asks about the first task (Down moved no selection)"
fi
check "Cancel keeps every task" rows_are "$COUNT"
# Ending the program while the question is open ends it cleanly and deletes nothing.
xdotool key Delete
wait_until 3 ask_shown
ours "$APP" && kill -TERM "$APP"
check "SIGTERM with the question open ends the program" wait_until 10 gone "$APP"
rc=running
gone "$APP" && { wait "$APP" 2>/dev/null; rc=$?; }
check "SIGTERM with the question open exits with 0 (rc $rc)" [ "$rc" = 0 ]
check "SIGTERM with the question open deletes nothing" rows_are "$COUNT"

e2e_finish
