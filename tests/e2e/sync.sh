#!/usr/bin/env bash
# Sync in a real window with a real Radicale: the first sync once the trees are loaded, a
# task typed in the tree and sent by File > Sync Now, a second machine (`jotboard --sync`)
# that gets it and changes it, the change back in the window, the state in the status bar.
# Usage: sync.sh <staged jotboard executable>
. "$(dirname "$0")/lib.bash"
e2e_require radicale curl
e2e_setup sync
e2e_start_x

# The server: Radicale on a free port with a configuration of its own (the system's file
# does not apply), one user with a plain password.
PORT=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
mkdir -p "$E2E_TMP/dav"
printf 'tester:e2e pass\n' >"$E2E_TMP/dav/users"
cat >"$E2E_TMP/dav/config" <<EOF
[server]
hosts = 127.0.0.1:$PORT
[auth]
type = htpasswd
htpasswd_filename = $E2E_TMP/dav/users
htpasswd_encryption = plain
delay = 0
[rights]
type = owner_only
[storage]
filesystem_folder = $E2E_TMP/dav/collections
[web]
type = none
EOF
RADICALE_CONFIG= e2e_bg radicale --config "$E2E_TMP/dav/config" >"$E2E_TMP/radicale.log" 2>&1
DAV=$E2E_LAST
dav_up() { curl -s -o /dev/null "http://127.0.0.1:$PORT/"; }
check "Radicale answers" wait_until 20 dav_up
# The items on the server, by their text.
on_server() {
    curl -s -u 'tester:e2e pass' -X REPORT -H 'Depth: 1' -H 'Content-Type: application/xml' \
        --data '<c:calendar-query xmlns:d="DAV:" xmlns:c="urn:ietf:params:xml:ns:caldav"><d:prop><c:calendar-data/></d:prop><c:filter><c:comp-filter name="VCALENDAR"><c:comp-filter name="VTODO"/></c:comp-filter></c:filter></c:calendar-query>' \
        "http://127.0.0.1:$PORT/tester/zorvik-jotboard-tasks/" | grep -c "SUMMARY:$1"
}
settings() { # settings HOME: the sync section, the program's own collections by name
    printf '[sync]\r\nurl=http://127.0.0.1:%s/\r\nuser=tester\r\nenabled=1\r\ninterval=15\r\n' "$PORT" >"$1/zvConf.ini"
}

HOME1=$(e2e_make_home one)
DB="$HOME1/zvData.zvb"
settings "$HOME1"
export ZVJ_SYNC_PASSWORD='e2e pass'
e2e_start_app "$HOME1"
APP=$APP_PID
check "the window appears" wait_until 15 window_shown
W=$(main_window)
app_settled
activate "$W"
synced_once() { [ "$(q "select count(*) from zvsync_log where message=''")" -ge "$1" ]; }
check "a sync runs once both trees are loaded" wait_until 20 synced_once 1
collection_made() {
    [ "$(curl -s -o /dev/null -w '%{http_code}' -u 'tester:e2e pass' -X PROPFIND -H 'Depth: 0' \
        "http://127.0.0.1:$PORT/tester/zorvik-jotboard-tasks/")" = 207 ]
}
check "it made the program's own collection" wait_until 5 collection_made

# A task typed in the tree, then File > Sync Now.
xdotool key Return
app_settled
xdotool type --delay 30 "typed here"
xdotool key ctrl+Return
stored() { [ "$(q "select count(*) from tasks where content='typed here'")" = 1 ]; }
check "the task is stored" wait_until 5 stored
app_settled
xdotool key alt+f
app_settled
xdotool key n
app_settled
sent() { [ "$(on_server "typed here")" -ge 1 ]; }
check "File > Sync Now sends it" wait_until 20 sent
shot synced

# A second machine: the command line syncs its own folder, gets the task, changes it.
HOME2=$(e2e_make_home two)
settings "$HOME2"
OUT=$(ZVJ_HOME="$HOME2/" "$E2E_EXE" --sync 2>"$E2E_TMP/sync2.err")
check "jotboard --sync on the second machine: $OUT" [ "$OUT" = "synced: 0 up, 1 down, 0 conflicts" ]
check "it has the task with the same id" [ "$(sqlite3 "$HOME2/zvData.zvb" "select tid from tasks")" = "$(q "select tid from tasks")" ]
sqlite3 "$HOME2/zvData.zvb" "update tasks set content='changed there', checkFlag=1"
OUT=$(ZVJ_HOME="$HOME2/" "$E2E_EXE" --sync 2>>"$E2E_TMP/sync2.err")
check "the change goes up: $OUT" [ "$OUT" = "synced: 1 up, 0 down, 0 conflicts" ]

# Back in the window: Sync Now by the socket, as `jotboard --sync` with the program running.
OUT=$(ZVJ_HOME="$HOME1/" "$E2E_EXE" --sync 2>>"$E2E_TMP/sync1.err")
check "--sync is handed to the running program: $OUT" [ "$OUT" = "synced: 0 up, 1 down, 0 conflicts" ]
check "the window's database has the change" [ "$(q "select content || checkFlag from tasks")" = "changed there1" ]
app_settled
shot after-change
check "the program is still running" alive "$APP"
check "the password is in no file of the program folder" bash -c "! grep -rq 'e2e pass' '$HOME1' '$HOME2'"

e2e_stop "$DAV"
e2e_finish
