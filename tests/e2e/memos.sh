#!/usr/bin/env bash
# The memo list in a real window: its tab clicked, entry in the in-place editor, the
# sub-memo, Esc on a new memo, list view, Delete with its question, and the tray's Paste
# to Memo and Add Memo.
# Usage: memos.sh <staged jotboard executable>
. "$(dirname "$0")/lib.bash"
e2e_require trayer
e2e_setup memos
e2e_start_x tray

e2e_open_on_new_home # HOME1, DB, APP and W

rows() { q "select count(*) from memos"; }
rows_are() { [ "$(rows)" = "$1" ]; }

# "Memos" is the second tab, right of "To-Do List", under the menu bar.
xdotool mousemove --window "$W" 165 38 click 1
app_settled
xdotool key Return
app_settled
xdotool type --delay 30 "first line"
xdotool key Return
xdotool type --delay 30 "second line"
app_settled
shot memo-editor-open
check "nothing is stored while the editor is open" rows_are 0
check "no task is made either" [ "$(q "select count(*) from tasks")" = 0 ]
xdotool key ctrl+Return
check "Ctrl+Enter stores one memo" wait_until 5 rows_are 1
NOW=$(now_days)
IFS='|' read -r MID PID HEX AT CT ET < <(q "select mid, pid, hex(content), assignTime, createTime, editTime from memos")
check "the id is a GUID in braces, upper case ($MID)" bash -c "[[ '$MID' =~ $GUID_RE ]]"
check "pid is 'root' ($PID)" [ "$PID" = root ]
EXPECT=$(printf 'first line\r\nsecond line' | od -An -tx1 | tr -d ' \n' | tr a-f A-F)
check "content is \"first line\" CR LF \"second line\" ($HEX)" [ "$HEX" = "$EXPECT" ]
check "createTime is now ($CT)" within_s "$CT" "$NOW" 60
check "assignTime is createTime ($AT)" [ "$AT" = "$CT" ]
check "editTime is now ($ET)" within_s "$ET" "$NOW" 60

# Ctrl+Enter on the memo adds a sub-memo.
xdotool key ctrl+Return
app_settled
xdotool type --delay 30 "sub"
xdotool key ctrl+Return
check "Ctrl+Enter, typing, Ctrl+Enter stores a sub-memo" wait_until 5 rows_are 2
check "the sub-memo's pid is the memo's mid" [ "$(q "select pid from memos where content='sub'")" = "$MID" ]

# Esc on a new memo stores nothing.
xdotool key Return
app_settled
xdotool type --delay 30 "given up"
xdotool key Escape
app_settled
check "Esc on a new memo stores nothing" rows_are 2

# List view from the View menu, shown with the memo and its sub-memo.
xdotool key alt+v
wait_until 5 popup_shown && app_settled
xdotool key l
list_stored() { awk '/^\[memo\]/{s=1;next} /^\[/{s=0} s' "$HOME1/zvConf.ini" | tr -d '\r' | grep -qix 'viewListEn=1'; }
check "View List stores viewListEn=1 in the memo section" wait_until 5 list_stored
app_settled
shot memo-list-view

# Back to the tree view, then Delete on the memo, answered with OK: it and its sub-memo go.
xdotool key alt+v
wait_until 5 popup_shown && app_settled
xdotool key l
app_settled
xdotool key Home
app_settled

xdotool key Delete
if wait_until 5 ask_shown; then
    pass "Delete asks (box \"Ask\")"
    wait_until 5 window_active "$(ask_box)"
    xdotool key Return
else
    fail "Delete asks (box \"Ask\")"
fi
check "Delete with OK removes the memo and its sub-memo" wait_until 5 rows_are 0

# Paste to Memo from the tray while the window is hidden: one memo, no assignTime.
hide_with_clipboard 'pasted\nmemo' # sets XCLIP, the clipboard owner
tray_menu_key m
pasted() { [ "$(q "select count(*) from memos where pid='root' and content like 'pasted%memo'")" = 1 ]; }
check "Paste to Memo stores the clipboard text as one memo" wait_until 5 pasted
AT=$(q "select coalesce(assignTime, 0) from memos where content like 'pasted%memo'")
check "a pasted memo has no assignTime ($AT)" [ "${AT%.0}" = 0 ]
app_settled
check "Paste to Memo leaves the window hidden" window_hidden
e2e_stop "$XCLIP"

# Add Memo from the tray shows the window with a new memo in the editor.
tray_menu_key d
check "Add Memo from the tray shows the window" wait_until 5 window_shown
wait_until 5 window_active "$(main_window)"
app_settled
xdotool type --delay 30 "from the tray"
shot memo-tray-add
xdotool key ctrl+Return
from_tray() { [ "$(q "select count(*) from memos where content='from the tray'")" = 1 ]; }
check "Add Memo from the tray stores the typed memo" wait_until 5 from_tray
check "no task was made by any of it" [ "$(q "select count(*) from tasks")" = 0 ]

ours "$APP" && kill -TERM "$APP"
check "SIGTERM ends the program" wait_until 10 gone "$APP"
e2e_finish
