#!/usr/bin/env bash
# Undo and Redo in a real window: by their keys in the tree, by the Edit menu and by the
# pop-up menu, each checked in the database through a second connection; then an import
# taken back by File > Undo Last Restore/Import (the database's dump as before).
# Usage: undo.sh <staged jotboard executable>
. "$(dirname "$0")/lib.bash"
e2e_require
e2e_setup undo
e2e_start_x

e2e_open_on_new_home # HOME1, DB, APP and W

tasks_are() { [ "$(q "select count(*) from tasks")" = "$1" ]; }
rows() { q "select rowid, quote(tid), quote(pid), quote(content), quote(checkFlag), quote(checkTime), quote(editTime) from tasks order by rowid"; }
rows_are() { [ "$(rows)" = "$1" ]; }
answer_ask() {
    wait_until 5 ask_shown && activate "$(ask_box)" && xdotool key Return
}
menu_key() { # menu_key ALT-KEY ITEM-KEY: an item of the menu bar by its access keys
    xdotool key "$1"
    wait_until 5 popup_shown && app_settled
    xdotool key "$2"
    app_settled
}

for t in one two three; do
    xdotool key Return
    app_settled
    xdotool type --delay 20 "$t"
    xdotool key ctrl+Return
    app_settled
done
xdotool key ctrl+Return
app_settled
xdotool type --delay 20 "under three"
xdotool key ctrl+Return
check "three tasks and a sub-task are stored" wait_until 5 tasks_are 4
ALL=$(rows)

# Delete the task with its sub-task, then Ctrl+Z: both come back, ids, times and rowids.
xdotool key Up
app_settled
xdotool key Delete
answer_ask
check "Delete takes the task and its sub-task" wait_until 5 tasks_are 2
AFTER=$(rows)
xdotool key ctrl+z
check "Ctrl+Z puts both rows back as they were" wait_until 5 rows_are "$ALL"
xdotool key ctrl+y
check "Ctrl+Y deletes them again" wait_until 5 rows_are "$AFTER"
xdotool key ctrl+shift+z
app_settled
check "Ctrl+Shift+Z with nothing to redo changes nothing" rows_are "$AFTER"

# The Edit menu names the step; its Undo and Redo by their access keys.
xdotool key alt+e
wait_until 5 popup_shown && app_settled
shot edit-menu
xdotool key u
check "Edit > Undo puts the rows back" wait_until 5 rows_are "$ALL"
menu_key alt+e r
check "Edit > Redo deletes them again" wait_until 5 rows_are "$AFTER"

# The pop-up menu over empty space: U&ndo.
eval "$(xdotool getwindowgeometry --shell "$W")"
xdotool mousemove --window "$W" $((WIDTH / 2)) $((HEIGHT / 2)) click 3
wait_until 5 popup_shown && app_settled
shot popup-menu
xdotool key n
check "the pop-up menu's Undo puts the rows back" wait_until 5 rows_are "$ALL"

# Space completes the focused task; Ctrl+Z reopens it with its old (unset) completion time.
xdotool key Home
app_settled
xdotool key space
check "Space completes the task" wait_until 5 bash -c "[ \"\$(sqlite3 '$DB' 'select count(*) from tasks where checkFlag=1')\" = 1 ]"
xdotool key ctrl+z
check "Ctrl+Z reopens it, its completion time unset again" wait_until 5 rows_are "$ALL"

# A backup, an import of it, and File > Undo Last Restore/Import: the dump as before.
BACKUP="$E2E_TMP/all.zvx"
menu_key alt+f b
answer_file_dialog "$BACKUP"
check "the backup is written" wait_until 10 test -s "$BACKUP"
app_settled
BEFORE_DUMP=$(q .dump)
menu_key alt+f i
answer_file_dialog "$BACKUP"
check "the import adds the four tasks again" wait_until 15 tasks_are 8
check "its copy of the database is kept in Snapshots" test -s "$HOME1/Snapshots/000001-import.zvb"
xdotool key ctrl+z
app_settled
check "after the import Ctrl+Z has nothing to undo" tasks_are 8
menu_key alt+f u
answer_ask
check "Undo Last Restore/Import takes the import back" wait_until 10 tasks_are 4
check "the database's dump is as before the import" [ "$(q .dump)" = "$BEFORE_DUMP" ]
app_settled
shot after-undo-import
xdotool key Return
app_settled
xdotool type --delay 20 "after"
xdotool key ctrl+Return
check "the program stores on after the database was put back" wait_until 5 tasks_are 5

ours "$APP" && kill -TERM "$APP"
check "SIGTERM ends the program" wait_until 10 gone "$APP"
check "the file is whole" [ "$(q 'PRAGMA integrity_check')" = ok ]
e2e_finish
