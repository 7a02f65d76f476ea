#!/usr/bin/env bash
# A reminder that comes due while the window is hidden in the tray opens "Task Reminder";
# snoozing it for one hour stores the reminder armed one hour after the click.
# Usage: reminder.sh <staged jotboard executable>
. "$(dirname "$0")/lib.bash"
e2e_require trayer
e2e_setup reminder
e2e_start_x tray

HOME1=$(e2e_make_home home)
DB="$HOME1/zvData.zvb"
TID='{11111111-2222-3333-4444-555555555555}'
NOW=$(now_days)
# The program must start and hide to the tray before the reminder is due: ten seconds
# (scaled for slow builds) is many times what that takes here.
LEAD=$(awk -v f="${ZVJ_TIMEOUT_SCALE:-1}" 'BEGIN { if (f < 1) f = 1; print 10 * f }')
DUE=$(now_days "$LEAD")
q "insert into tasks (tid, pid, content, checkFlag, dueFlag, alarmFlag, textColor, backgroundColor,
     createTime, editTime, alarmTime)
   values ('$TID', 'root', 'Call the dentist', 0, 0, 1, 0, 0, $NOW, $NOW, $DUE)" ||
    { echo "FAIL: could not insert the task"; exit 1; }
# A second task due at the same moment: it follows once the first dialog has closed.
TID2='{66666666-7777-8888-9999-AAAAAAAAAAAA}'
LATER=$(now_days 1)
q "insert into tasks (tid, pid, content, checkFlag, dueFlag, alarmFlag, textColor, backgroundColor,
     createTime, editTime, alarmTime)
   values ('$TID2', 'root', 'Water the plants', 0, 0, 1, 0, 0, $LATER, $LATER, $DUE)"

e2e_start_app "$HOME1"
APP=$APP_PID
check "the window appears" wait_until 15 window_shown
app_settled # the frames load on posted messages after the first show
wmctrl -c "$E2E_TITLE"
check "the window hides to the tray" wait_until 5 window_hidden
check "the window hid before the reminder was due (${LEAD}s)" \
    python3 -c "import sys; sys.exit(0 if $(now_days) < $DUE else 1)"

dialog() { xdotool search --onlyvisible --name '^Task Reminder$' 2>/dev/null | head -1; }
has_dialog() { [ -n "$(dialog)" ]; }
check "\"Task Reminder\" appears within 25 s of the due time" wait_until 45 has_dialog
SHOWN=$(now_days)
late=$(days_diff_s "$SHOWN" "$DUE")
echo "the reminder showed ${late}s after its due time"
check "the reminder does not fire early" python3 -c "import sys; sys.exit(0 if $SHOWN >= $DUE - 1/86400 else 1)"
check "the reminder fires within 25 s of its time" within_s "$SHOWN" "$DUE" 25
D=$(dialog)
[ -n "$D" ] && TITLE=$(shown_title "$D")
if [ "${TITLE:-}" != "Task Reminder" ]; then
    echo "the dialog's window ${D:-none}:"
    xwininfo -id "${D:-0}" 2>&1 | grep -i 'error\|Map State\|Width\|Height'
    xprop -id "${D:-0}" WM_NAME _NET_WM_NAME 2>&1
    xdotool search --name '^Task Reminder$' 2>&1
fi
check "the reminder's title bar reads \"Task Reminder\" (\"${TITLE:-}\")" [ "${TITLE:-}" = "Task Reminder" ]
shot reminder-shown
check "the main window stays hidden while the reminder shows" window_hidden

if [ -n "$D" ]; then
    activate "$D"
    app_settled
    win_geom "$D"
    # The snooze list is the wide control on the bottom row, the Snooze button at its right.
    COMBO_X=$((X + 140)) ROW_Y=$((Y + HEIGHT - 24)) SNOOZE_X=$((X + WIDTH - 50))
    xdotool mousemove "$COMBO_X" "$ROW_Y" click 1
    wait_until 5 popup_shown && app_settled
    shot snooze-list-open
    # From "5 Minutes" five steps down is "1 Hour".
    xdotool key --delay 100 Down Down Down Down Down Return
    wait_until 5 no_popup && app_settled
    shot snooze-one-hour
    CLICK=$(now_days)
    xdotool mousemove "$SNOOZE_X" "$ROW_Y" click 1
fi
gone_dialog() { ! has_dialog; }
# The next due reminder may follow within half a second: watch this dialog's own window.
unmapped() { ! xwininfo -id "$1" 2>/dev/null | grep -q IsViewable; }
check "Snooze closes the reminder" wait_until 5 unmapped "${D:-0}"
# Stored once the time has moved on from the due time (by the hour, or by mistake).
moved() { [ "$(q "select alarmTime > $2 + 1.0/86400 or alarmFlag = 0 from tasks where tid='$1'")" = 1 ]; }
wait_until 5 moved "$TID" "$DUE"
IFS='|' read -r FLAG AT < <(q "select alarmFlag, alarmTime from tasks where tid='$TID'")
echo "stored: alarmFlag=$FLAG alarmTime=$AT (click at $CLICK)"
check "the snoozed reminder stays armed" [ "$FLAG" = 1 ]
WANT=$(python3 -c "print(repr(${CLICK:-0} + 1/24))")
check "alarmTime is one hour after the click (off by $(days_diff_s "${AT:-0}" "$WANT")s)" \
    within_s "${AT:-0}" "$WANT" 90
check "the program still runs" alive "$APP"
# The second reminder comes next; Dismiss disarms it.
check "the second due reminder follows the first" wait_until 5 has_dialog
D2=$(dialog)
check "the second reminder is a new dialog" test -n "$D2" -a "$D2" != "${D:-}"
if [ -n "$D2" ]; then
    activate "$D2"
    app_settled
    shot second-reminder
    win_geom "$D2"
    xdotool mousemove $((X + WIDTH - 50)) $((Y + HEIGHT - 71)) click 1
fi
check "Dismiss closes the reminder" wait_until 5 gone_dialog
wait_until 5 moved "$TID2" "$DUE"
IFS='|' read -r FLAG2 AT2 < <(q "select alarmFlag, alarmTime from tasks where tid='$TID2'")
echo "stored: alarmFlag=$FLAG2 alarmTime=$AT2"
check "Dismiss stores the reminder disarmed" [ "$FLAG2" = 0 ]
check "Dismiss stores the zero date-time as alarmTime" python3 -c "import sys; sys.exit(0 if float('${AT2:-1}') == 0 else 1)"
check "the snoozed reminder stays snoozed" [ "$(q "select alarmFlag from tasks where tid='$TID'")" = 1 ]
# Nothing to wait for: a reminder wrongly left armed would show at one of the frame's next
# checks (every half second), so two of them go by.
sleep 1.2
check "no further reminder shows" gone_dialog
shot after-snooze

ours "$APP" && kill -TERM "$APP"
check "SIGTERM ends the program" wait_until 10 gone "$APP"
check "the snoozed reminder survives the exit" [ "$(q "select alarmFlag from tasks where tid='$TID'")" = 1 ]

e2e_finish
