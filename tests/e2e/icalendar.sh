#!/usr/bin/env bash
# iCalendar in a real window: tasks typed in, File > Export iCalendar of the whole list, the
# file read by another iCalendar reader (python3-icalendar) and compared with the database,
# then File > Import iCalendar of that file, which adds the same tasks again under new ids.
# Usage: icalendar.sh <staged jotboard executable>
. "$(dirname "$0")/lib.bash"
# Debian's reader lives in the system's Python, which may not be the first on PATH.
ICAL_PYTHON=
for p in /usr/bin/python3 "$(command -v python3)"; do
    "$p" -c "import icalendar" 2>/dev/null && ICAL_PYTHON=$p && break
done
[ -n "$ICAL_PYTHON" ] || e2e_skip "python3-icalendar is not installed"
e2e_setup icalendar
e2e_start_x

e2e_open_on_new_home # HOME1, DB, APP and W

tasks_are() { [ "$(q "select count(*) from tasks")" = "$1" ]; }

xdotool key Return
app_settled
xdotool type --delay 20 "Buy milk"
xdotool key ctrl+Return
check "a task is stored" wait_until 5 tasks_are 1
xdotool key ctrl+Return
app_settled
xdotool type --delay 20 "two litres"
xdotool key ctrl+Return
check "a sub-task is stored" wait_until 5 tasks_are 2
xdotool key Return
app_settled
xdotool type --delay 20 "Call Anna"
xdotool key Return
xdotool type --delay 20 "about the flat"
xdotool key ctrl+Return
check "a task of two lines is stored" wait_until 5 tasks_are 3

ICS="$E2E_TMP/list.ics"
xdotool key ctrl+a
app_settled
xdotool key alt+f
wait_until 5 popup_shown && app_settled
xdotool key l # Export iCa&lendar...
answer_file_dialog "$ICS"
check "Export iCalendar writes the file" wait_until 10 test -s "$ICS"
app_settled
shot exported

q -separator $'\t' "select tid, pid, replace(replace(content, char(13), ''), char(10), '\\n'), checkFlag, createTime, editTime from tasks" \
    >"$E2E_TMP/rows.tsv"
compare() {
    "$ICAL_PYTHON" - "$ICS" "$E2E_TMP/rows.tsv" <<'EOF'
import datetime, sys, icalendar
cal = icalendar.Calendar.from_ical(open(sys.argv[1], "rb").read())
todos = {str(c["UID"]): c for c in cal.walk("VTODO")}
epoch = datetime.datetime(1899, 12, 30, tzinfo=datetime.timezone.utc)
def days(t):  # the store keeps local days since 1899-12-30; compare as UTC instants to a minute
    return (t - epoch).total_seconds() / 86400
rows = [l.rstrip("\n").split("\t") for l in open(sys.argv[2], encoding="utf-8")]
bad = []
if len(todos) != len(rows):
    bad.append("%d VTODOs for %d rows" % (len(todos), len(rows)))
for tid, pid, content, check, created, edited in rows:
    content = content.replace("\\n", "\n")
    c = todos.get(tid)
    if c is None:
        bad.append("no VTODO with UID " + tid)
        continue
    text = str(c["SUMMARY"]) + ("\n" + str(c["DESCRIPTION"]) if "DESCRIPTION" in c else "")
    if text != content:
        bad.append("%s: text %r, stored %r" % (tid, text, content))
    parent = str(c.get("RELATED-TO", "root"))
    if parent != pid:
        bad.append("%s: parent %s, stored %s" % (tid, parent, pid))
    if str(c.get("STATUS")) != ("COMPLETED" if check == "1" else "NEEDS-ACTION"):
        bad.append("%s: status %s" % (tid, c.get("STATUS")))
    for prop, stored in (("CREATED", created), ("LAST-MODIFIED", edited)):
        t = c[prop].dt
        # The stored times are local; the file's are UTC: the offset is whole quarter hours.
        off = (days(t) - float(stored)) * 1440
        if abs(off - round(off / 15) * 15) > 1:
            bad.append("%s: %s %s, stored %s" % (tid, prop, t, stored))
print("\n".join(bad))
sys.exit(1 if bad else 0)
EOF
}
check "python3-icalendar reads every task back as the database holds it" compare

xdotool key alt+f
wait_until 5 popup_shown && app_settled
xdotool key d # Import iCalen&dar...
answer_file_dialog "$ICS"
tip_box() { xdotool search --onlyvisible --name '^Tip$' 2>/dev/null | head -1; }
check "the import closes with its tip" wait_until 15 bash -c "[ -n \"\$(xdotool search --onlyvisible --name '^Tip\$' 2>/dev/null)\" ]"
shot imported
xdotool windowactivate --sync "$(tip_box)" 2>/dev/null
xdotool key Return
check "Import iCalendar adds the three tasks again" wait_until 5 tasks_are 6
check "under new ids, the sub-task under its new parent" [ "$(q "select count(*) from tasks t join tasks p on t.pid = p.tid where t.content = 'two litres' and p.content = 'Buy milk'")" = 2 ]

ours "$APP" && kill -TERM "$APP"
check "SIGTERM ends the program" wait_until 10 gone "$APP"
e2e_finish
