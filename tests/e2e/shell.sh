#!/usr/bin/env bash
# The application shell in a real X server: tray residency, the second start, Exit from the
# tray menu, and the window's close and minimise buttons when there is no tray host.
# Usage: shell.sh <staged jotboard executable>
. "$(dirname "$0")/lib.bash"
e2e_require trayer
e2e_setup shell
e2e_start_x tray

HOME1=$(e2e_make_home home1)
e2e_start_app "$HOME1"
FIRST=$APP_PID
check "the window \"$E2E_TITLE\" appears" wait_until 15 window_shown
wait_until 10 tray_icon_xy >/dev/null
check "the tray icon docks in the tray host" tray_docked
shot shown

wmctrl -c "$E2E_TITLE"
check "closing the window hides it" wait_until 5 window_hidden
check "the first hide shows the balloon" wait_until 3 balloon_shown
# Had the close ended the program, it would be gone once the program has caught up.
app_settled "$FIRST"
check "closing the window leaves the process running" alive "$FIRST"
check "a hidden window is not listed by the window manager" bash -c "! wmctrl -l | grep -q '$E2E_TITLE\$'"
shot hidden
check "the balloon goes away by itself" wait_until 15 no_balloon

tray_click 1
check "a click on the tray icon brings the window back" wait_until 5 window_shown

wmctrl -c "$E2E_TITLE"
wait_until 5 window_hidden
# The hide steps, which would show the balloon, have run once the program has caught up.
app_settled "$FIRST"
check "a second hide within the hour shows no balloon" no_balloon
start=$(date +%s.%N)
ZVJ_HOME="$HOME1/" timeout 10 "$E2E_EXE" >>"$E2E_TMP/second.log" 2>&1
rc=$?
took=$(python3 -c "print(round($(date +%s.%N) - $start, 2))")
check "a second start while hidden ends with 0 (rc $rc, ${took}s)" [ "$rc" -eq 0 ]
check "a second start ends quickly" python3 -c "import sys; sys.exit(0 if $took < 3 else 1)"
# The first instance has read the second one's request once it has caught up.
app_settled "$FIRST"
check "a second start leaves the hidden window hidden" window_hidden
check "the first instance still runs" alive "$FIRST"

tray_click 1
wait_until 5 window_shown
W=$(main_window)
# Something else holds the focus when the second start comes.
e2e_bg xmessage -name other -center "another window"
OTHER=$E2E_LAST
wait_until 5 bash -c "xdotool search --onlyvisible --name '^xmessage\$' >/dev/null || xdotool search --onlyvisible --class xmessage >/dev/null"
OW=$(xdotool search --onlyvisible --class xmessage | head -1)
activate "$OW"
check "another window is active before the second start" wait_until 3 window_active "${OW:-none}"
ZVJ_HOME="$HOME1/" timeout 10 "$E2E_EXE" >>"$E2E_TMP/second.log" 2>&1
rc=$?
check "a second start while shown ends with 0 (rc $rc)" [ "$rc" -eq 0 ]
check "the window is still there after the second start" wait_until 3 window_shown
check "the second start makes the window active" wait_until 3 window_active "$W"
shot second-start-shown
e2e_stop "$OTHER"

# E&xit: the last item of the tray menu.
tray_menu_from_bottom 1
check "E&xit from the tray menu ends the process" wait_until 10 gone "$FIRST"
# (A process that is still running would be waited for forever.)
if gone "$FIRST"; then
    wait "$FIRST" 2>/dev/null
    echo "exit code of the first instance: $?"
fi
conf="$HOME1/zvConf.ini"
for key in Left Top Right Bottom Saved; do
    check "zvConf.ini [form] holds $key" python3 - "$conf" "$key" <<'EOF'
import re, sys
text = open(sys.argv[1], encoding="utf-8").read()
m = re.search(r"^\[form\]\s*$(.*?)(?=^\[|\Z)", text, re.M | re.S | re.I)
sys.exit(0 if m and re.search(r"^%s=-?\d+\s*$" % sys.argv[2], m.group(1), re.M | re.I) else 1)
EOF
done
check "no database is left open (no -wal after the checkpoint, or an empty one)" \
    bash -c "[ ! -s '$HOME1/zvData.zvb-wal' ]"

# Run minimised: the window appears, the frames load, then it hides to the tray.
HOME3=$(e2e_make_home home3)
printf '[option]\r\nrunMinimizedEn=1\r\n' >"$HOME3/zvConf.ini"
e2e_start_app "$HOME3"
MINI=$APP_PID
check "with runMinimizedEn the hide to the tray shows the balloon" wait_until 10 balloon_shown
wait_until 5 window_hidden
# Hidden, and still hidden once the start-up has run to its end.
app_settled "$MINI"
check "with runMinimizedEn the window ends up hidden in the tray" window_hidden
check "with runMinimizedEn the process keeps running" alive "$MINI"
shot run-minimised
tray_click 1
check "with runMinimizedEn a click on the tray icon shows the window" wait_until 5 window_shown
ours "$MINI" && kill -TERM "$MINI"
check "SIGTERM ends the run-minimised instance" wait_until 10 gone "$MINI"

# Without a tray host the window never hides without a way back.
e2e_stop "$E2E_TRAYER"
# The tray's selection goes with trayer's connection, and with it its windows.
wait_until 5 bash -c '! xdotool search --class trayer >/dev/null 2>&1'
HOME2=$(e2e_make_home home2)
e2e_start_app "$HOME2"
SOLO=$APP_PID
check "without a tray the window appears" wait_until 15 window_shown
W=$(main_window)
app_settled "$SOLO"
xdotool windowminimize "$W"
check "without a tray minimising leaves the window iconic on the task bar" \
    wait_until 5 window_state_is "$W" Iconic
app_settled "$SOLO"
check "without a tray minimising keeps the process" alive "$SOLO"
check "without a tray the minimised window stays listed by the window manager" \
    bash -c "wmctrl -l | grep -q '$E2E_TITLE\$'"
shot minimised-no-tray
ZVJ_HOME="$HOME2/" timeout 10 "$E2E_EXE" >>"$E2E_TMP/second.log" 2>&1
rc=$?
check "a second start while minimised ends with 0 (rc $rc)" [ "$rc" -eq 0 ]
check "a second start restores the minimised window" wait_until 5 window_state_is "$W" Normal
check "the restored window is shown" wait_until 5 window_shown
shot restored-by-second-start
wmctrl -c "$E2E_TITLE"
check "without a tray closing the window ends the process" wait_until 10 gone "$SOLO"
rc=running
gone "$SOLO" && { wait "$SOLO" 2>/dev/null; rc=$?; }
check "without a tray closing ends with exit code 0 (rc $rc)" [ "$rc" = 0 ]
check "without a tray closing writes the [form] section" grep -qi '^\[form\]' "$HOME2/zvConf.ini"
check "without a tray closing writes Saved=1" grep -q '^Saved=1' "$HOME2/zvConf.ini"

e2e_finish
