#!/usr/bin/env python3
"""Crash trials: the real program in a real X server, a random stream of operations, SIGKILL.

Each trial starts the staged program on a fresh database, drives it with xdotool through a
seeded random stream of operations (tasks: add, edit, add sub-task, complete by Space and
by the menu, due date, delete, Move to, paste; the same for memos but completion and due
dates; for both: undo and redo by their keys, import, restore with each answer of Confirm
Replace, backup) and kills it
with SIGKILL at a random moment, also in the middle of an import or a restore. Then:

- PRAGMA integrity_check is "ok";
- every acknowledged change is in the file with its acknowledged content;
- of the operation that was running, a whole prefix of its rows is there (in the file's
  order, each row complete) and nothing else changed;
- the program starts again on the file: its window appears, both trees show the rows, and
  a new task is stored.

A change is acknowledged once the program shows it and answers again (its tree is read
back through the clipboard); from then on a second connection (the sqlite3 program) must
see it. Waits are conditions with a ceiling against hangs, scaled by ZVJ_TIMEOUT_SCALE
for the sanitizer builds, never a measure of speed.

Run by tests/e2e/crash_trials.sh (X server, window manager and tray host already there) and
scripts/crash-trials.sh. The last line printed is "N trials, M changes lost, integrity ok".
"""

import argparse
import collections
import datetime as dt
import json
import os
import random
import re
import shutil
import signal
import struct
import subprocess
import sys
import time
import traceback
import uuid
import xml.etree.ElementTree as ET
import zlib

SCALE = max(1.0, float(os.environ.get("ZVJ_TIMEOUT_SCALE", "1") or 1))
TITLE = "Zorvik Jotboard"
EPOCH = dt.datetime(1899, 12, 30)
GUID_RE = re.compile(r"^\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\}$")

TASK_COLS = ["tid", "pid", "content", "checkFlag", "dueFlag", "alarmFlag", "textColor",
             "backgroundColor", "createTime", "editTime", "checkTime", "alarmTime", "dueTime"]
MEMO_COLS = ["mid", "pid", "content", "assignTime", "createTime", "editTime"]
COLS = {"tasks": TASK_COLS, "memos": MEMO_COLS}
IDCOL = {"tasks": "tid", "memos": "mid"}
TIME_COLS = {"createTime", "editTime", "checkTime", "alarmTime", "dueTime", "assignTime"}
# Times are compared to well under a second: the exchange file carries whole seconds,
# and the program's own stamps are checked against the clock separately.
TIME_TOLERANCE = 2e-7  # days (about 17 ms)


TRACE = [None]


def trace(text):
    """One line of the driver's own log (driver.log in the trial's folder)."""
    if TRACE[0]:
        TRACE[0].write("%.3f %s\n" % (time.monotonic(), text))
        TRACE[0].flush()


def ceiling(seconds):
    return seconds * SCALE


class HarnessError(Exception):
    """The driver could not do what it meant to (not a finding about the program)."""


class ProgramGone(Exception):
    """The program ended by itself."""


# ---- processes, X and the clipboard ---------------------------------------------------------

def run(args, timeout=20, data=None):
    try:
        return subprocess.run(args, input=data, capture_output=True, timeout=timeout)
    except subprocess.TimeoutExpired:
        return None


def out(args, timeout=20):
    r = run(args, timeout=timeout)
    return r.stdout.decode("utf-8", "replace") if r is not None and r.returncode == 0 else ""


def keys(*names, delay=35):
    trace("keys " + " ".join(names))
    run(["xdotool", "key", "--delay", str(delay)] + list(names))


def type_text(text, delay=25):
    trace("type %r" % text)
    run(["xdotool", "type", "--delay", str(delay), text])


def windows(name_regex):
    return out(["xdotool", "search", "--onlyvisible", "--name", name_regex], timeout=10).split()


def popup_count():
    """Menus on screen: the program's override-redirect windows that belong to a window."""
    n = 0
    for w in out(["xdotool", "search", "--onlyvisible", "--class", "jotboard"], timeout=10).split():
        if "Override Redirect State: yes" in out(["xwininfo", "-id", w], timeout=5) and \
                "window id" in out(["xprop", "-id", w, "WM_TRANSIENT_FOR"], timeout=5):
            n += 1
    return n


def popup_shown():
    return popup_count() > 0


def window_width(w):
    m = re.search(r"Width:\s+(\d+)", out(["xwininfo", "-id", w], timeout=5))
    return int(m.group(1)) if m else 0


def wait_for(cond, seconds, step=0.05):
    """Polls cond until it gives a true value; the last value after the ceiling."""
    end = time.monotonic() + seconds
    while True:
        v = cond()
        if v or time.monotonic() > end:
            return v
        time.sleep(step)


def clip_read(timeout=3.0):
    r = run(["xclip", "-selection", "clipboard", "-o"], timeout=timeout * SCALE)
    if r is None or r.returncode != 0:
        return None
    return r.stdout.decode("utf-8", "replace")


class ClipOwner:
    """xclip holding a text on the clipboard until someone else takes it or release()."""

    def __init__(self, text):
        self.text = text
        self.proc = subprocess.Popen(["xclip", "-selection", "clipboard", "-i", "-quiet"],
                                     stdin=subprocess.PIPE, stdout=subprocess.DEVNULL,
                                     stderr=subprocess.DEVNULL)
        self.proc.stdin.write(text.encode("utf-8"))
        self.proc.stdin.close()
        if not wait_for(lambda: clip_read(1.0) == text, ceiling(5)):
            self.release()
            raise HarnessError("xclip did not take the clipboard")

    def release(self):
        if self.proc.poll() is None:
            self.proc.kill()
        self.proc.wait()


def copy_after(key_names, seconds=None):
    """Puts a sentinel on the clipboard, sends the keys and returns what the program put on
    the clipboard in answer (None when nothing came within the ceiling)."""
    sentinel = "~sentinel-%08x" % random.getrandbits(32)
    owner = ClipOwner(sentinel)
    try:
        keys(*key_names)
        got = wait_for(lambda: (lambda c: c if c is not None and c != sentinel else None)(clip_read(1.5)),
                       ceiling(seconds or 10))
        trace("clipboard %s" % ("nothing" if got is None else repr(got[:80]) + (" (%d)" % len(got))))
        return got
    finally:
        owner.release()


def split_listing(text):
    # Copy joins the items with a lone CR; a CR LF belongs to an item's own text.
    return re.split(r"\r(?!\n)", text) if text else []


# ---- time values ----------------------------------------------------------------------------

def local_offset():
    return dt.timedelta(seconds=time.localtime().tm_gmtoff)


def to_days(moment):
    d = moment - EPOCH
    days = d.days
    frac = (d.seconds + d.microseconds / 1e6) / 86400.0
    return days + frac if days >= 0 else days - frac


def now_days():
    return to_days(dt.datetime.now())


def iso_to_days(text):
    m = re.match(r"^(\d{4})-(\d\d)-(\d\d)T(\d\d):(\d\d):(\d\d)(\.\d+)?(Z|[+-]\d\d:\d\d)?$", text)
    if not m:
        raise ValueError("not a time text: %r" % text)
    y, mo, d, h, mi, s = (int(m.group(i)) for i in range(1, 7))
    moment = dt.datetime(y, mo, d, h, mi, s)
    zone = m.group(8)
    offset = dt.timedelta(0)
    if zone and zone != "Z":
        sign = 1 if zone[0] == "+" else -1
        offset = sign * dt.timedelta(hours=int(zone[1:3]), minutes=int(zone[4:6]))
    return to_days(moment - offset + local_offset())


def days_to_text(v):
    if v is None:
        return "null"
    try:
        return (EPOCH + dt.timedelta(days=float(v))).strftime("%Y-%m-%d %H:%M:%S")
    except (OverflowError, ValueError):
        return repr(v)


# ---- the database through a second connection -------------------------------------------------

def sqlite(db, sql, timeout=30):
    r = run(["sqlite3", "-bail", "-cmd", ".timeout 5000", "-json", db, sql], timeout=timeout * SCALE)
    if r is None:
        raise HarnessError("sqlite3 hung on %s" % sql)
    if r.returncode != 0:
        raise HarnessError("sqlite3 failed: %s" % r.stderr.decode("utf-8", "replace").strip())
    text = r.stdout.decode("utf-8", "replace").strip()
    return json.loads(text) if text else []


def integrity(db):
    r = run(["sqlite3", "-cmd", ".timeout 5000", db, "PRAGMA integrity_check"], timeout=60 * SCALE)
    if r is None:
        return "sqlite3 hung"
    return (r.stdout.decode("utf-8", "replace") + r.stderr.decode("utf-8", "replace")).strip()


class Snapshot:
    """Both tables as a second connection sees them: id -> row, and the rowid order."""

    def __init__(self, db):
        self.rows = {}
        self.rowid = {}
        self.duplicates = []
        for table in ("tasks", "memos"):
            idc = IDCOL[table]
            rows = {}
            order = {}
            for r in sqlite(db, "select rowid as zv_rowid, * from %s" % table):
                key = r.get(idc)
                if key in rows:
                    self.duplicates.append((table, key))
                rows[key] = {c: r.get(c) for c in COLS[table]}
                order[key] = r["zv_rowid"]
            self.rows[table] = rows
            self.rowid[table] = order


def top_level_contents(rows, table="tasks"):
    return sorted(r["content"] or "" for r in rows[table].values() if r["pid"] == "root")


def same_value(col, a, b):
    if a is None or b is None:
        return a is None and b is None
    if col in TIME_COLS:
        try:
            return abs(float(a) - float(b)) <= TIME_TOLERANCE
        except (TypeError, ValueError):
            return a == b
    if isinstance(a, (int, float)) and isinstance(b, (int, float)):
        return a == b
    return a == b


def same_row(table, a, b):
    if a is None or b is None:
        return a is None and b is None
    return all(same_value(c, a.get(c), b.get(c)) for c in COLS[table])


def row_diff(table, want, got):
    if want is None:
        return "expected no row, found %s" % short_row(got)
    if got is None:
        return "row missing (expected %s)" % short_row(want)
    parts = []
    for c in COLS[table]:
        w = want.get(c)
        if callable(w):
            if not w(got.get(c)):
                parts.append("%s=%r (expected %s)" % (c, got.get(c), getattr(w, "desc", "?")))
        elif not same_value(c, w, got.get(c)):
            if c in TIME_COLS:
                parts.append("%s=%s (expected %s)" % (c, days_to_text(got.get(c)), days_to_text(w)))
            else:
                parts.append("%s=%r (expected %r)" % (c, got.get(c), w))
    return ", ".join(parts)


def short_row(r):
    if r is None:
        return "none"
    return "{%s}" % ", ".join("%s=%r" % (k, r[k]) for k in ("pid", "content") if k in r)


class Pred:
    """A column value the driver cannot know exactly (a stamp, a new id), with its rule."""

    def __init__(self, desc, fn):
        self.desc = desc
        self.fn = fn

    def __call__(self, v):
        try:
            return bool(self.fn(v))
        except (TypeError, ValueError):
            return False


def stamp_since(t0):
    """The program's clock is ours: a stamp made after t0 and not later than now (two
    seconds either side for the exchange file's whole seconds and rounding)."""
    lo = t0 - 2.0 / 86400
    return Pred("a time since %s" % days_to_text(lo),
                lambda v: v is not None and lo <= float(v) <= now_days() + 2.0 / 86400)


NEW_GUID = Pred("a new id", lambda v: isinstance(v, str) and GUID_RE.match(v) is not None)


def matches_want(table, want, row):
    if want is None or row is None:
        return want is None and row is None
    for c in COLS[table]:
        w = want.get(c)
        if callable(w):
            if not w(row.get(c)):
                return False
        elif not same_value(c, w, row.get(c)):
            return False
    return True


# ---- the exchange file ------------------------------------------------------------------------

def read_zvx(path):
    with open(path, "rb") as f:
        data = f.read()
    if len(data) < 8:
        raise HarnessError("%s is too short for an exchange file" % path)
    length = struct.unpack("<q", data[:8])[0]
    xml = zlib.decompress(data[8:])
    if len(xml) != length:
        raise HarnessError("%s: declared length %d, inflated %d" % (path, length, len(xml)))
    root = ET.fromstring(xml)
    items = {"tasks": [], "memos": []}
    for table, tag in (("tasks", "tasks"), ("memos", "memos")):
        container = root.find(tag)
        if container is not None:
            items[table] = [dict(child.attrib) for child in container]
    return items


def flag_value(text):
    if text == "":
        return None
    t = text.lower()
    if t and "true".startswith(t):
        return 1
    if t and "false".startswith(t):
        return 0
    raise HarnessError("flag text %r in a file of our own" % text)


def item_row(table, item):
    """The row the readers make of one exchange item (ids as in the file)."""
    row = {IDCOL[table]: item.get(IDCOL[table], ""), "pid": item.get("pid", ""),
           "content": item.get("content", "").replace("\n", "\r\n")}
    if table == "tasks":
        row["checkFlag"] = flag_value(item.get("check-flag", ""))
        row["alarmFlag"] = flag_value(item.get("alarm-flag", ""))
        row["dueFlag"] = flag_value(item.get("due-flag", ""))
        for col, attr in (("textColor", "text-color"), ("backgroundColor", "background-color")):
            v = item.get(attr, "")
            row[col] = None if v == "" else int(v)
        for col, attr in (("createTime", "create-time"), ("editTime", "edit-time"), ("checkTime", "check-time"),
                          ("alarmTime", "alarm-time"), ("dueTime", "due-time")):
            row[col] = iso_to_days(item[attr])
    else:
        for col, attr in (("assignTime", "assign-time"), ("createTime", "create-time"),
                          ("editTime", "edit-time")):
            row[col] = iso_to_days(item[attr])
    return row


def backup_matches(items, rows):
    """A backup holds every row of both tables, values as the exchange file writes them."""
    problems = []
    for table in ("tasks", "memos"):
        got = {}
        for item in items[table]:
            got[item.get(IDCOL[table])] = item_row(table, item)
        want = rows[table]
        if set(got) != set(want):
            problems.append("%s in the backup: %d rows, %d in the database (%d missing, %d extra)" % (
                table, len(got), len(want), len(set(want) - set(got)), len(set(got) - set(want))))
            continue
        for key, w in want.items():
            g = got[key]
            for c in COLS[table]:
                wv, gv = w.get(c), g.get(c)
                if c in TIME_COLS:
                    # whole seconds in the file; an unset time is written as 0
                    wv = 0.0 if wv is None else float(wv)
                    if abs(wv - float(gv)) > 1.0 / 86400:
                        problems.append("%s %s: %s %s in the backup, %s in the database" % (
                            table, key, c, days_to_text(gv), days_to_text(wv)))
                elif not same_value(c, wv, gv):
                    problems.append("%s %s: %s %r in the backup, %r in the database" % (table, key, c, gv, wv))
            if len(problems) > 5:
                return problems
    return problems


# ---- what an operation may leave in the file ---------------------------------------------------

class Change:
    def __init__(self, table, key, want):
        self.table, self.key, self.want = table, key, want


class NewRows:
    """Rows an operation adds under ids it makes itself, in the order it adds them."""

    def __init__(self, table, wants):
        self.table = table
        self.wants = wants


class Expectation:
    """An operation's effect as a sequence of steps, each stored whole or not at all: a kill
    may leave any prefix of them, never a part of a step and never a later step without the
    earlier ones. One step is one row or one statement."""

    def __init__(self, name, steps=None, new=None, shown=None):
        self.name = name
        self.steps = steps or []  # list of list of Change on existing ids (or ids from a file)
        self.new = new            # NewRows or None; counted as steps after self.steps
        self.shown = shown        # the top-level contents the tree shows afterwards

    def step_count(self):
        return len(self.steps) + (len(self.new.wants) if self.new else 0)


def evaluate(model, snap, exp):
    """Compares a snapshot with the model plus the expectation. Returns (problems, done,
    lost_keys): done is how many steps are in the file, lost_keys the acknowledged rows found
    changed or missing."""
    problems = []
    lost = set()
    touched = set()
    for step in exp.steps:
        for ch in step:
            touched.add((ch.table, ch.key))
    statuses = []
    for i, step in enumerate(exp.steps):
        is_pre = is_post = True
        for ch in step:
            pre = model[ch.table].get(ch.key)
            got = snap.rows[ch.table].get(ch.key)
            if not same_row(ch.table, pre, got):
                is_pre = False
            if not matches_want(ch.table, ch.want, got):
                is_post = False
        if not is_pre and not is_post:
            diffs = "; ".join(row_diff(ch.table, ch.want, snap.rows[ch.table].get(ch.key)) for ch in step)
            problems.append("step %d of %s is neither before nor after (a partial row?): %s" % (i + 1, exp.name, diffs))
            statuses.append("bad")
        else:
            statuses.append("both" if is_pre and is_post else "post" if is_post else "pre")

    # Rows under new ids: those of the snapshot that the model does not hold.
    new_count = 0
    for table in ("tasks", "memos"):
        extra = [k for k in snap.rows[table] if k not in model[table] and (table, k) not in touched]
        if exp.new and exp.new.table == table:
            extra.sort(key=lambda k: snap.rowid[table][k])
            if len(extra) > len(exp.new.wants):
                problems.append("%d new %s rows, the operation adds at most %d" % (len(extra), table, len(exp.new.wants)))
            for i, key in enumerate(extra[:len(exp.new.wants)]):
                row = snap.rows[table][key]
                want = exp.new.wants[i]
                if not matches_want(table, want, row):
                    problems.append("new %s row %d (in the order added) is not item %d: %s" % (
                        table, i + 1, i + 1, row_diff(table, want, row)))
                    break
            new_count = len(extra)
        else:
            for k in extra[:5]:
                problems.append("an unexpected %s row %s %s" % (table, k, short_row(snap.rows[table][k])))
    if exp.new:
        statuses += ["post"] * new_count + ["pre"] * (len(exp.new.wants) - new_count)

    # Everything the operation does not touch is as acknowledged.
    for table in ("tasks", "memos"):
        for key, want in model[table].items():
            if (table, key) in touched:
                continue
            got = snap.rows[table].get(key)
            if not same_row(table, want, got):
                lost.add((table, key))
                if len(lost) <= 5:
                    problems.append("acknowledged %s row %s: %s" % (table, key, row_diff(table, want, got)))
    for table, key in snap.duplicates[:5]:
        problems.append("two %s rows with the id %s" % (table, key))

    # A prefix: once a step is missing, no later one is there.
    done = 0
    seen_pre = False
    for i, s in enumerate(statuses):
        if s == "pre":
            seen_pre = True
        elif s == "post":
            if seen_pre:
                problems.append("step %d of %s is stored but an earlier step is not" % (i + 1, exp.name))
                break
            done = i + 1
        elif s == "both" and not seen_pre:
            done = i + 1
    return problems, done, lost


# ---- the program ------------------------------------------------------------------------------

class App:
    def __init__(self, exe, home, log):
        self.exe, self.home, self.log = exe, home, log
        self.proc = None
        self.window = None

    def start(self):
        env = dict(os.environ)
        env["ZVJ_HOME"] = self.home.rstrip("/") + "/"
        env["ZVJ_CHECKS"] = "1"
        env.pop("QT_QPA_PLATFORM", None)
        logf = open(self.log, "ab")
        logf.write(("---- start %s\n" % dt.datetime.now().isoformat()).encode())
        logf.flush()
        self.proc = subprocess.Popen([self.exe], env=env, stdout=logf, stderr=subprocess.STDOUT,
                                     stdin=subprocess.DEVNULL, start_new_session=True)
        logf.close()
        # The pointer away from the window: no hover, no tool tips.
        run(["xdotool", "mousemove", "0", "799"])
        self.window = wait_for(self._main_window, ceiling(20), 0.1)
        if not self.window:
            self.check_alive()
            raise HarnessError("the main window did not appear")
        return self.window

    def _main_window(self):
        self.check_alive()
        for w in windows("^%s$" % TITLE):
            if window_width(w) > 64:
                return w
        return None

    def alive(self):
        return self.proc is not None and self.proc.poll() is None

    def check_alive(self):
        if self.proc is not None and self.proc.poll() is not None:
            raise ProgramGone("the program ended by itself (exit status %s)" % self.proc.returncode)

    def activate(self):
        self.check_alive()
        if self.window:
            run(["xdotool", "windowactivate", "--sync", self.window], timeout=5 * SCALE)

    def kill(self):
        if self.alive():
            os.kill(self.proc.pid, signal.SIGKILL)
        if self.proc is not None:
            self.proc.wait()

    def terminate(self):
        if not self.alive():
            return self.proc.returncode if self.proc else None
        os.kill(self.proc.pid, signal.SIGTERM)
        try:
            return self.proc.wait(timeout=ceiling(20))
        except subprocess.TimeoutExpired:
            self.kill()
            return "hung"

    def log_tail(self, lines=12):
        try:
            with open(self.log, "rb") as f:
                text = f.read().decode("utf-8", "replace").splitlines()
        except OSError:
            return ""
        return "\n".join(text[-lines:])


def wait_window(title, present=True, seconds=10, app=None):
    def cond():
        if app:
            app.check_alive()
        ws = windows("^%s$" % re.escape(title))
        return ws if present else (not ws)
    return wait_for(cond, ceiling(seconds))


def answer_dialog(title, key_names, app, seconds=10):
    ws = wait_window(title, True, seconds, app)
    if not ws:
        raise HarnessError('no "%s" window' % title)
    run(["xdotool", "windowactivate", "--sync", ws[-1]], timeout=5 * SCALE)
    keys(*key_names)
    return ws[-1]


def choose_file(title, path, app, seconds=15):
    """Qt's own file dialog: the full path into its file-name field, then Return."""
    ws = wait_window(title, True, seconds, app)
    if not ws:
        raise HarnessError('no "%s" file dialog' % title)
    for attempt in range(3):
        run(["xdotool", "windowactivate", "--sync", ws[-1]], timeout=5 * SCALE)
        # Typed into a dialog that is still setting itself up, keys can go astray: the field
        # is read back (Ctrl+C) before Return.
        if not wait_for(lambda: (keys("ctrl+a"), type_text(path, 12), copy_after(["ctrl+a", "ctrl+c"], 3))[2] == path,
                        ceiling(15), 0.2):
            raise HarnessError('the "%s" file dialog does not take the file name' % title)
        keys("Return")
        # The completer's list can take the first Return.
        if wait_window(title, False, 2, app):
            return
        keys("Return")
        if wait_window(title, False, 10, app):
            return
        ws = wait_window(title, True, 1, app) or ws
    raise HarnessError('the "%s" file dialog stayed open' % title)


# ---- one trial --------------------------------------------------------------------------------

# (operation, the tab it runs on or None for either, weight)
OPS = [("add", "tasks", 3.0), ("subadd", "tasks", 2.0), ("edit", "tasks", 2.0), ("space", "tasks", 1.5),
       ("complete", "tasks", 1.0), ("due", "tasks", 1.5), ("delete", "tasks", 1.5), ("move", "tasks", 1.5),
       ("paste", "tasks", 1.5),
       ("add", "memos", 1.2), ("subadd", "memos", 0.8), ("edit", "memos", 0.8), ("delete", "memos", 0.6),
       ("move", "memos", 0.6), ("paste", "memos", 0.6),
       ("import", None, 1.2), ("restore", None, 2.0), ("backup", None, 1.5), ("browse", None, 1.5),
       ("undo", None, 1.5), ("redo", None, 0.7)]
BULK = ("import", "restore")
# The operations each of which is one step of its list's Undo (when it changed a row).
UNDOABLE = ("add", "subadd", "edit", "space", "complete", "due", "delete", "move", "paste")
NAV_LIMIT = 30  # how far from either end of the tree the driver walks with arrow keys


class KillNow(Exception):
    """The operation was interrupted on purpose; carries its expectation."""


class Trial:
    def __init__(self, h, number, seed, workdir):
        self.h = h
        self.number = number
        self.seed = seed
        self.rng = random.Random(seed)
        self.dir = workdir
        self.home = os.path.join(workdir, "home")
        self.db = os.path.join(self.home, "zvData.zvb")
        self.app = App(h.exe, self.home, os.path.join(workdir, "app.log"))
        self.model = {"tasks": {}, "memos": {}}
        self.owner = {}  # (table, id) -> the number of the operation that acknowledged it
        self.acked = []  # names of the acknowledged operations
        self.counter = 0
        self.files = []  # exchange files of this trial: (path, items)
        self.big_imports = 0
        self.problems = []
        self.lost_ops = set()
        self.killed = ""
        self.integrity_ok = True
        self.clip = None
        self.answered_window = None
        self.failed_exp = None
        self.tree_order = []
        self.tab = "tasks"
        # Per list, the steps Ctrl+Z and Ctrl+Y take: (rows before, rows after), newest last.
        self.undo_steps = {"tasks": [], "memos": []}
        self.redo_steps = {"tasks": [], "memos": []}

    # -- helpers

    def token(self, kind):
        self.counter += 1
        return "a%d%s%d" % (self.number % 100, kind, self.counter)

    def shown_rows(self, table=None):
        """The rows a tree shows: top-level ones and their sub-items (nothing deeper)."""
        rows = self.model[table or self.tab]
        tops = {k: r for k, r in rows.items() if r["pid"] == "root"}
        children = {k: r for k, r in rows.items() if r["pid"] in tops}
        return tops, children

    def top_level(self, rows=None, table=None):
        return top_level_contents(rows or self.model, table or self.tab)

    def listing(self, expect=None, seconds=10):
        """The contents of the top-level items as the active tree shows them, in its order,
        read back through the clipboard; repeated until they are the expected ones (the tree
        may still be reloading) or the ceiling."""
        last = None
        end = time.monotonic() + ceiling(seconds)
        while True:
            self.app.check_alive()
            text = copy_after(["Home", "ctrl+a", "ctrl+c"], 5)
            if text is not None:
                last = split_listing(text)
                if expect is None or sorted(last) == sorted(expect):
                    return last
            if time.monotonic() > end:
                return last
            time.sleep(0.1)

    def menu_opens(self, key_name):
        """Opens a menu of the menu bar by its access key and closes it again: true when it
        was there (the frame of the active tab installs its own menus)."""
        ok = wait_for(lambda: (keys(key_name), wait_for(popup_shown, 1.0))[1], ceiling(20), 0.2)
        # the second Escape leaves the menu bar's keyboard mode
        keys("Escape", "Escape")
        wait_for(lambda: not popup_shown(), ceiling(5))
        return ok

    def ready(self):
        """The frames have loaded: their menus are in the menu bar and the tree answers."""
        self.app.activate()
        self.tab = "tasks"  # the To-Do List tab comes first
        expect = self.top_level()
        if expect:
            got = self.listing(expect, 20)
            if got is None or sorted(got) != sorted(expect):
                raise HarnessError("the tree never showed the rows (%s)" % describe_listing(got, expect))
            return
        if not self.menu_opens("alt+t"):
            raise HarnessError("the Tasks menu never appeared")

    def switch_tab(self, table):
        """Ctrl+Tab to the other tab; its frame's own menu (Tasks or Memos) shows it is there."""
        if self.tab == table:
            return
        keys("ctrl+Tab")
        self.tab = table
        if not self.menu_opens("alt+m" if table == "memos" else "alt+t"):
            raise HarnessError("the %s tab did not come" % table)
        expect = self.top_level()
        if expect:
            got = self.listing(expect, 20)
            if got is None or sorted(got) != sorted(expect):
                raise HarnessError("the %s tree shows %s" % (table, describe_listing(got, expect)))

    def select_top(self, index, count, content):
        """Selects the top-level item at index (of count), all others unselected."""
        # The selection follows only a move of the current row; the listing left it on the
        # first row, so the first item is reached through the second.
        if index == 0 and count > 1:
            seq = ["Home", "Left", "Down", "Up", "Left"]
        elif index <= count - 1 - index:
            seq = ["Home"] + ["Left", "Down"] * index + ["Left"]
        else:
            seq = ["End", "Left", "Left"] + ["Up", "Left", "Left"] * (count - 1 - index)
        keys(*seq, delay=20)
        got = copy_after(["ctrl+c"])
        if got != content:
            raise HarnessError("selecting %r selected %r" % (content, got))

    def select(self, key):
        """Selects one item of the active tree by the keyboard (arrows from the nearer end)."""
        row = self.model[self.tab][key]
        tops, _ = self.shown_rows()
        top_key = key if row["pid"] == "root" else row["pid"]
        names = self.tree_order
        parent_content = tops[top_key]["content"]
        if names is None or parent_content not in names:
            raise HarnessError("%r is not in the tree" % parent_content)
        index = names.index(parent_content)
        self.select_top(index, len(names), parent_content)
        if key == top_key:
            return names
        keys("Right", "Right")  # expand, then the first sub-item
        kids = copy_after(["ctrl+a", "ctrl+c"])
        kids = split_listing(kids or "")
        if row["content"] not in kids:
            raise HarnessError("sub-item %r is not under its parent (%r)" % (row["content"], kids[:5]))
        j = kids.index(row["content"])
        # Only a move of the current row selects it alone (Select All had taken them all).
        keys(*(["Down"] * j if j else ["Down", "Up"] if len(kids) > 1 else []), delay=20)
        got = copy_after(["ctrl+c"])
        if got != row["content"]:
            raise HarnessError("selecting sub-item %r selected %r" % (row["content"], got))
        return names

    def targets(self, top=None, child=None):
        """Items of the active tree the driver can reach and name: unique text, near an end."""
        tops, children = self.shown_rows()
        rows = self.model[self.tab]
        contents = collections.Counter(r["content"] for r in rows.values())
        if not tops:
            return []
        order = self.tree_order
        pos = {c: i for i, c in enumerate(order)}
        n = len(order)
        ok = []
        for k, r in rows.items():
            if contents[r["content"]] != 1 or not r["content"]:
                continue
            if k in tops:
                if top is False:
                    continue
                p = pos.get(r["content"])
            elif k in children:
                if child is False:
                    continue
                parent = tops[r["pid"]]
                if contents[parent["content"]] != 1:
                    continue
                p = pos.get(parent["content"])
            else:
                continue
            if p is not None and min(p, n - 1 - p) <= NAV_LIMIT:
                ok.append(k)
        return sorted(ok)

    def editor_open(self):
        """Waits until the in-place editor has the focus: a probe character typed into it
        comes back through the clipboard (the tree itself ignores it)."""
        def probe():
            type_text("~")
            got = copy_after(["ctrl+a", "ctrl+c"], 1.5)
            return got is not None and "~" in got
        if not wait_for(probe, ceiling(10), 0.1):
            raise HarnessError("the in-place editor did not open")

    def type_into_editor(self, text):
        self.editor_open()
        type_text(text)  # replaces the selected text
        got = copy_after(["ctrl+a", "ctrl+c"])
        if got != text:
            raise HarnessError("the editor holds %r, not %r" % (got, text))

    def new_row(self, text, pid, t0, pasted=False):
        """A row made by finishing an edit (or by Paste) on the active tree."""
        stamp = stamp_since(t0)
        if self.tab == "memos":
            # a memo made from text has no assignTime
            return {"mid": NEW_GUID, "pid": pid, "content": text, "assignTime": None if pasted else stamp,
                    "createTime": stamp, "editTime": stamp}
        return {"tid": NEW_GUID, "pid": pid, "content": text, "checkFlag": 0, "dueFlag": 0, "alarmFlag": 0,
                "textColor": 0, "backgroundColor": 0, "createTime": stamp, "editTime": stamp,
                "checkTime": None, "alarmTime": None, "dueTime": None}

    def shown_after(self, changes):
        rows = {"tasks": dict(self.model["tasks"]), "memos": dict(self.model["memos"])}
        for k, r in changes.items():
            if r is None:
                rows[self.tab].pop(k, None)
            else:
                rows[self.tab][k] = r
        return self.top_level(rows)

    def item_menu(self):
        """Opens the frame's own menu (Tasks or Memos)."""
        keys("alt+m" if self.tab == "memos" else "alt+t")
        if not wait_for(popup_shown, ceiling(5)):
            raise HarnessError("the %s menu did not open" % ("Memos" if self.tab == "memos" else "Tasks"))

    # -- the operations; each returns (expectation, trigger) where trigger() sends the last
    #    input (the one after which the program writes), and kill() may be taken after it.

    def op_add(self):
        text = self.token("t" if self.tab == "tasks" else "m")
        keys("Return")
        self.type_into_editor(text)
        want = self.new_row(text, "root", now_days())
        exp = Expectation("add" + self.kind_suffix(), new=NewRows(self.tab, [want]), shown=self.top_level() + [text])
        exp.selected = text
        return exp, lambda: keys("ctrl+Return")

    def kind_suffix(self):
        return " memo" if self.tab == "memos" else ""

    def op_subadd(self):
        tops = self.targets()
        if not tops:
            return None
        key = self.rng.choice(tops)
        self.select(key)
        row = self.model[self.tab][key]
        parent = key if row["pid"] == "root" else row["pid"]
        text = self.token("s" if self.tab == "tasks" else "n")
        keys("ctrl+Return")
        self.type_into_editor(text)
        want = self.new_row(text, parent, now_days())
        exp = Expectation("add sub-item" + self.kind_suffix(), new=NewRows(self.tab, [want]), shown=self.top_level())
        exp.selected = text
        return exp, lambda: keys("ctrl+Return")

    def op_edit(self):
        cands = self.targets()
        if not cands:
            return None
        key = self.rng.choice(cands)
        self.select(key)
        text = self.token("e")
        keys("F2")
        self.type_into_editor(text)
        row = dict(self.model[self.tab][key])
        row["content"] = text
        row["editTime"] = stamp_since(now_days())
        exp = Expectation("edit" + self.kind_suffix(), steps=[[Change(self.tab, key, row)]],
                          shown=self.shown_after({key: row}))
        exp.selected = text
        return exp, lambda: keys("ctrl+Return")

    def completion(self, by_menu):
        cands = self.targets()
        if not cands:
            return None
        key = self.rng.choice(cands)
        self.select(key)
        row = dict(self.model["tasks"][key])
        row["checkFlag"] = 0 if row["checkFlag"] else 1
        row["checkTime"] = stamp_since(now_days())
        exp = Expectation("mark complete" if by_menu else "space", steps=[[Change("tasks", key, row)]],
                          shown=self.top_level())
        if by_menu:
            # The Tasks menu from its end: Move to (only enabled when it has a target: the
            # task is a sub-task, or another top-level task exists and it has no sub-tasks of
            # its own, which could go under no task), Set Color, Set Reminder, Set Due Date,
            # Mark Complete. Disabled items are passed over.
            tops, _ = self.shown_rows()
            has_kids = any(r["pid"] == key for r in self.model["tasks"].values())
            ups = 5 if (key not in tops or (len(tops) > 1 and not has_kids)) else 4

            def trigger():
                self.item_menu()
                keys(*(["Up"] * ups + ["Return"]))
            return exp, trigger
        return exp, lambda: keys("space")

    def op_space(self):
        return self.completion(False)

    def op_complete(self):
        return self.completion(True)

    def op_due(self):
        cands = self.targets()
        if not cands:
            return None
        key = self.rng.choice(cands)
        self.select(key)
        row = dict(self.model["tasks"][key])
        self.item_menu()
        keys("u")  # Set D&ue Date...
        if not wait_window("Set Due Date", True, 10, self.app):
            raise HarnessError("the due date dialog did not open")
        clear = bool(row["dueFlag"]) and self.rng.random() < 0.4
        if clear:
            # the check box before the date picker
            keys("shift+Tab", "space")
            row["dueFlag"] = 0
            base = float(row["dueTime"])
            row["dueTime"] = Pred("the date shown", lambda v: v is not None and abs(float(v) - base) < 1e-6)
            name = "clear due date"
        else:
            years = self.rng.randint(1, 3)
            # the year section, a few years on: never today, so no question
            keys("Tab", "Tab", *(["Up"] * years))
            start = float(row["dueTime"]) if row["dueFlag"] else now_days()
            want_year = (EPOCH + dt.timedelta(days=start)).year + years
            row["dueFlag"] = 1
            row["dueTime"] = Pred("a day in %d" % want_year,
                                  lambda v: v is not None and (EPOCH + dt.timedelta(days=float(v))).year == want_year)
            name = "set due date"
        exp = Expectation(name, steps=[[Change("tasks", key, row)]], shown=self.top_level())

        def trigger():
            keys("Return")
            # "Date may be incorrect" would come only for today or earlier.
            if not wait_window("Set Due Date", False, 10, self.app):
                if windows("^Ask$"):
                    answer_dialog("Ask", ["Return"], self.app)
        return exp, trigger

    def op_delete(self):
        cands = self.targets()
        tops, children = self.shown_rows()
        # The tree is never left empty: the driver's idle probe reads it.
        if len(tops) <= 1:
            cands = [k for k in cands if k in children]
        if not cands:
            return None
        key = self.rng.choice(cands)
        self.select(key)
        cancel = self.rng.random() < 0.15
        keys("Delete")
        if not wait_window("Ask", True, 10, self.app):
            raise HarnessError("Delete did not ask")
        if cancel:
            exp = Expectation("delete%s, cancelled" % self.kind_suffix(), shown=self.top_level())
            return exp, lambda: answer_dialog("Ask", ["Escape"], self.app)
        kids = [k for k, r in self.model[self.tab].items() if r["pid"] == key]
        # Two statements: the item, then its sub-items.
        steps = [[Change(self.tab, key, None)]]
        if kids:
            steps.append([Change(self.tab, k, None) for k in kids])
        gone = {key: None}
        gone.update({k: None for k in kids})
        exp = Expectation("delete%s%s" % (self.kind_suffix(), " with %d sub-items" % len(kids) if kids else ""),
                          steps=steps, shown=self.shown_after(gone))
        return exp, lambda: answer_dialog("Ask", ["Return"], self.app)

    def op_move(self):
        tops, children = self.shown_rows()
        rows = self.model[self.tab]
        contents = collections.Counter(r["content"] for r in rows.values())
        cands = []
        for k in self.targets():
            has_kids = any(r["pid"] == k for r in rows.values())
            if k in children or not has_kids:
                cands.append(k)
        if not cands:
            return None
        key = self.rng.choice(cands)
        names = self.select(key)
        row = dict(rows[key])
        # The Move to items: "Root" for a sub-item, then the top-level items in tree order
        # but the item itself and its parent.
        items = []
        if key in children:
            items.append(("root", "Root"))
        by_content = {r["content"]: k for k, r in tops.items()}
        for name in names:
            k = by_content.get(name)
            if name == row["content"] and row["pid"] == "root":
                continue
            if key in children and k == row["pid"]:
                continue
            items.append((k if contents[name] == 1 else None, name))
        choices = [i for i, (k, _) in enumerate(items[:NAV_LIMIT]) if k is not None]
        if not choices:
            return None
        index = self.rng.choice(choices)
        target = items[index][0]
        row["pid"] = "root" if target == "root" else target
        exp = Expectation("move%s to %s" % (self.kind_suffix(), "Root" if target == "root" else "another"),
                          steps=[[Change(self.tab, key, row)]], shown=self.shown_after({key: row}))

        def trigger():
            self.item_menu()
            keys("Up", "Right")  # the last item, Move to; its first item is active
            if not wait_for(lambda: popup_count() >= 2, ceiling(5)):
                raise HarnessError("the Move to submenu did not open")
            keys(*(["Down"] * index), delay=15)
            keys("Return")
        return exp, trigger

    def op_paste(self):
        text = self.token("p" if self.tab == "tasks" else "q")
        self.clip = ClipOwner(text)
        want = self.new_row(text, "root", now_days(), pasted=True)
        exp = Expectation("paste" + self.kind_suffix(), new=NewRows(self.tab, [want]), shown=self.top_level() + [text])

        def trigger():
            keys("ctrl+v")
            # The idle probe takes the clipboard away: first let the program read it, which
            # the stored row shows (a paste stores its row before it shows it). A row that
            # never comes is found by the acknowledgement.
            query = "select count(*) as n from %s where content='%s'" % (self.tab, text)
            wait_for(lambda: sqlite(self.db, query)[0]["n"] > 0, ceiling(10), 0.05)
        return exp, trigger

    def put_back(self, undo):
        """Ctrl+Z takes the list's last step back, Ctrl+Y makes it again: one transaction, the
        rows of the step as they were before it (after it)."""
        steps = (self.undo_steps if undo else self.redo_steps)[self.tab]
        if not steps:
            return None
        before, after = steps[-1]
        want = before if undo else after
        rows = {"tasks": dict(self.model["tasks"]), "memos": dict(self.model["memos"])}
        rows[self.tab] = dict(want)
        if not self.top_level(rows):
            return None  # the driver's probe reads the tree: it is never left empty
        changes = [Change(self.tab, k, want.get(k)) for k in sorted(set(before) | set(after))
                   if not same_row(self.tab, before.get(k), after.get(k))]
        exp = Expectation("undo" if undo else "redo", steps=[changes], shown=self.top_level(rows))
        exp.history = (undo, self.tab)
        return exp, lambda: keys("ctrl+z" if undo else "ctrl+y")

    def op_undo(self):
        return self.put_back(True)

    def op_redo(self):
        return self.put_back(False)

    def note_step(self, name, exp, pre):
        """What an acknowledged operation leaves to Undo and Redo."""
        history = getattr(exp, "history", None)
        if history:
            undo, table = history
            source, target = (self.undo_steps, self.redo_steps) if undo else (self.redo_steps, self.undo_steps)
            target[table].append(source[table].pop())
            return
        table = self.tab
        keys_ = set(pre[table]) | set(self.model[table])
        if name in UNDOABLE and any(not same_row(table, pre[table].get(k), self.model[table].get(k)) for k in keys_):
            self.undo_steps[table].append((pre[table], self.model[table]))
            self.redo_steps[table] = []

    def forget_steps(self):
        """A restore or an import empties both lists' Undo and Redo."""
        for steps in (self.undo_steps, self.redo_steps):
            for table in steps:
                steps[table] = []

    def file_menu(self, key_name):
        keys("alt+f")
        if not wait_for(popup_shown, ceiling(5)):
            raise HarnessError("the File menu did not open")
        keys(key_name)

    def op_backup(self):
        self.counter += 1
        path = os.path.join(self.dir, "backup%d.zvx" % self.counter)
        self.file_menu("b")
        exp = Expectation("backup", shown=self.top_level())
        exp.backup = path
        return exp, lambda: choose_file("Save As", path, self.app)

    def op_browse(self):
        """A file dialog of the File menu shown on the program folder (its files listed, the
        completer's too), then cancelled, or the database chosen (Import and Restore refuse
        it), or a new file there chosen (Backup and Save All write it). The database keeps
        its locks throughout: the checker's probes open and close the file, and what is
        acknowledged later must still be seen."""
        command = self.rng.choice(["import", "restore", "backup", "save all"])
        title = "Open" if command in ("import", "restore") else "Save As"
        self.file_menu({"import": "i", "restore": "r", "backup": "b", "save all": "s"}[command])
        exp = Expectation("browse (%s)" % command, shown=self.top_level())
        ending = self.rng.choice(["cancel", "choose"])
        self.counter += 1
        folder = self.home.rstrip("/") + "/"

        def trigger():
            ws = wait_window(title, True, 15, self.app)
            if not ws:
                raise HarnessError('no "%s" file dialog' % title)
            run(["xdotool", "windowactivate", "--sync", ws[-1]], timeout=5 * SCALE)
            keys("ctrl+a")
            type_text(folder, 12)
            keys("Return")  # into the folder: listed, with the completer's list of its files
            time.sleep(0.8)
            if ending == "cancel":
                keys("Escape")
                if not wait_window(title, False, 10, self.app):
                    keys("Escape")
                return
            if command in ("import", "restore"):
                choose_file(title, folder + "zvData.zvb", self.app)
                answer_dialog("Error", ["Return"], self.app)
            elif command == "backup":
                exp.backup = folder + "browse%d.zvx" % self.counter
                choose_file(title, exp.backup, self.app)
            else:
                choose_file(title, folder + "browse%d.txt" % self.counter, self.app)
        return exp, trigger

    def pick_file(self, for_import):
        pool = [(p, items) for p, items in self.files]
        if for_import and self.big_imports >= 2:
            pool = [f for f in pool if not f[0].endswith("/big.zvx")]
        own = [f for f in pool if not f[0].endswith("/big.zvx")]
        # A restore of the trial's own backups asks about every row still there.
        if own and (not for_import) and self.rng.random() < 0.6:
            return self.rng.choice(own)
        return self.rng.choice(pool) if pool else None

    def op_import(self):
        f = self.pick_file(True)
        if not f:
            return None
        path, items = f
        if path.endswith("/big.zvx"):
            self.big_imports += 1
        self.file_menu("i")
        exp = self.import_expectation(os.path.basename(path), items)
        return exp, lambda: choose_file("Open", path, self.app)

    def import_expectation(self, name, items):
        """Import adds every item under a new id, memos first; a sub-item keeps its parent
        (under the parent's new id), one whose parent is not in the file becomes top-level."""
        wants_by_table = {}
        shown = self.top_level()
        for table in ("memos", "tasks"):
            ids_in_file = {it.get(IDCOL[table]) for it in items[table]}
            wants = []
            for it in items[table]:
                want = item_row(table, it)
                root = it.get("pid") == "root" or it.get("pid") not in ids_in_file
                want[IDCOL[table]] = NEW_GUID
                want["pid"] = "root" if root else NEW_GUID
                wants.append(want)
                if table == self.tab and root:
                    shown.append(want["content"])
            wants_by_table[table] = (wants, ids_in_file)
        exp = Expectation("import %s" % name, shown=shown)
        exp.import_items = items
        exp.import_wants = wants_by_table
        return exp

    def op_restore(self):
        f = self.pick_file(False)
        if not f:
            return None
        path, items = f
        self.file_menu("r")
        exp, answers = self.restore_expectation(os.path.basename(path), items)
        exp.answers = answers
        return exp, lambda: choose_file("Open", path, self.app)

    def restore_expectation(self, name, items):
        """Restore merges by id: a new id is added, an existing one asks (Yes, All, No, Abort)
        until All has been chosen."""
        steps = []
        answers = []
        answer = None
        after = {"tasks": dict(self.model["tasks"]), "memos": dict(self.model["memos"])}
        aborted = False
        for table in ("memos", "tasks"):
            for it in items[table]:
                want = item_row(table, it)
                key = want[IDCOL[table]]
                if key in self.model[table] and answer != "All":
                    if len(answers) >= 4:
                        answer = self.rng.choice(["All", "Abort"])
                    else:
                        answer = self.rng.choice(["Yes", "Yes", "No", "No", "All", "Abort"])
                    answers.append(answer)
                    if answer == "Abort":
                        aborted = True
                        break
                    if answer == "No":
                        continue
                steps.append([Change(table, key, want)])
                after[table][key] = want
            if aborted:
                break
        exp = Expectation("restore %s (%s)" % (name, ", ".join(answers) or "no questions"), steps=steps,
                          shown=self.top_level(after))
        return exp, answers

    # -- acknowledging, killing, checking

    def acknowledge(self, exp, pre_model):
        """The program shows the change and answers again; then the second connection must
        see it (the ceiling is against hangs only)."""
        if getattr(exp, "selected", None):
            got = copy_after(["ctrl+c"], 10)
            if got != exp.selected:
                raise HarnessError("after %s the tree's selection is %r, not %r" % (exp.name, got, exp.selected))
        got = self.listing(exp.shown, 60 if exp.name.startswith(("import", "restore")) else 10)
        self.shown_at = time.monotonic()
        if got is None or sorted(got) != sorted(exp.shown):
            self.problem("after %s the tree shows %s" % (exp.name, describe_listing(got, exp.shown)))
            return False
        if getattr(exp, "backup", None):
            if not wait_for(lambda: os.path.exists(exp.backup), ceiling(10)):
                self.problem("the backup %s was not written" % exp.backup)
                return False
            items = read_zvx(exp.backup)
            snap = Snapshot(self.db)
            diffs = backup_matches(items, snap.rows)
            if diffs:
                self.problem("the backup differs from the database: " + "; ".join(diffs[:5]))
                return False
            self.files.append((exp.backup, items))
        result = [None]

        def stored():
            snap = Snapshot(self.db)
            problems, done, lost = self.evaluate(pre_model, snap, exp)
            result[0] = (snap, problems, done, lost)
            return not problems and done == self.step_count(exp)
        if not wait_for(stored, ceiling(10), 0.1):
            snap, problems, done, lost = result[0]
            if done < self.step_count(exp):
                problems = [self.describe_step(exp, done, snap)] + problems
            self.problem("%s was shown but a second connection does not see it%s: %s" % (
                exp.name, " (%d of %d steps)" % (done, self.step_count(exp)) if self.step_count(exp) > 1 else "",
                "; ".join(problems[:4])))
            self.lost_ops.add(len(self.acked))
            self.failed_exp = exp
            for key in lost:
                self.lost_ops.add(self.owner.get(key))
            self.acked.append(exp.name)
            return False
        snap = result[0][0]
        self.acked.append(exp.name)
        number = len(self.acked) - 1
        for table in ("tasks", "memos"):
            for key, row in snap.rows[table].items():
                if not same_row(table, self.model[table].get(key), row):
                    self.owner[(table, key)] = number
            for key in self.model[table]:
                if key not in snap.rows[table]:
                    self.owner[(table, key)] = number
        self.model = snap.rows
        return True

    def describe_step(self, exp, i, snap):
        """What step i of the expectation should have left in the file."""
        if hasattr(exp, "import_wants"):
            memos = exp.import_wants["memos"][0]
            table, wants, j = ("memos", memos, i) if i < len(memos) else ("tasks", exp.import_wants["tasks"][0], i - len(memos))
            return "imported %s row %d (%r) is not there" % (table, j + 1, wants[j]["content"][:40])
        if i < len(exp.steps):
            return "; ".join("%s row %s: %s" % (ch.table, ch.key, row_diff(ch.table, ch.want, snap.rows[ch.table].get(ch.key)))
                             for ch in exp.steps[i])
        want = exp.new.wants[i - len(exp.steps)]
        return "the new %s row %r is not there" % (exp.new.table[:-1], want["content"][:40])

    def step_count(self, exp):
        if hasattr(exp, "import_wants"):
            return sum(len(s[0]) for s in exp.import_wants.values())
        return exp.step_count()

    def evaluate(self, model, snap, exp):
        if not hasattr(exp, "import_wants"):
            return evaluate(model, snap, exp)
        return self.evaluate_import(model, snap, exp)

    def evaluate_import(self, model, snap, exp):
        """Import adds every item under a new id, memos first, each table in the file's order;
        a sub-item finds its parent's new id whatever their order."""
        problems = []
        done = 0
        lost = set()
        totals = []
        for table in ("memos", "tasks"):
            wants, ids_in_file = exp.import_wants[table]
            items = exp.import_items[table]
            extra = sorted((k for k in snap.rows[table] if k not in model[table]), key=lambda k: snap.rowid[table][k])
            if len(extra) > len(wants):
                problems.append("%d new %s rows, the file has %d" % (len(extra), table, len(wants)))
            new_ids = {}
            existing = set(model[table])
            for i, key in enumerate(extra[:len(wants)]):
                row = snap.rows[table][key]
                if not matches_want(table, wants[i], row):
                    problems.append("new %s row %d is not the file's item %d: %s" % (
                        table, i + 1, i + 1, row_diff(table, wants[i], row)))
                    break
                it = items[i]
                own, pid = it.get(IDCOL[table]), it.get("pid")
                if pid == "root" or pid not in ids_in_file:
                    want = new_ids.setdefault(own, row[IDCOL[table]])
                    if want != row[IDCOL[table]]:
                        problems.append("item %d of %s got id %s, its sub-items point to %s" % (i + 1, table, row[IDCOL[table]], want))
                        break
                else:
                    want = new_ids.setdefault(pid, row["pid"])
                    if want != row["pid"]:
                        problems.append("sub-item %d of %s has parent %s, expected %s" % (i + 1, table, row["pid"], want))
                        break
                if row[IDCOL[table]] in existing:
                    problems.append("imported %s row %d reuses the id %s" % (table, i + 1, row[IDCOL[table]]))
                    break
            totals.append((table, len(extra), len(wants)))
            for key, want in model[table].items():
                if not same_row(table, want, snap.rows[table].get(key)):
                    lost.add((table, key))
                    if len(lost) <= 5:
                        problems.append("acknowledged %s row %s: %s" % (table, key, row_diff(table, want, snap.rows[table].get(key))))
        (mt, mn, ms), (tt, tn, ts) = totals
        if tn > 0 and mn < ms:
            problems.append("%d task rows imported before the last %d memo rows" % (tn, ms - mn))
        done = mn + tn
        for table, key in snap.duplicates[:5]:
            problems.append("two %s rows with the id %s" % (table, key))
        return problems, done, lost

    def problem(self, text):
        trace("PROBLEM " + text)
        if not self.problems:
            trace("windows: " + describe_windows())
            shot(self.dir, "problem")
        self.problems.append(text)

    def run_op(self, name, kill_mode):
        """Runs one operation; kill_mode None (acknowledge it) or how to kill it midway."""
        trace("operation %s on %s%s" % (name, self.tab, ", to be killed: %s" % kill_mode if kill_mode else ""))
        self.app.activate()
        made = getattr(self, "op_" + name)()
        if made is None:
            return None
        exp, trigger = made
        pre_model = self.model
        try:
            if kill_mode is None:
                trigger()
                ok = self.acknowledge(exp, pre_model)
                if ok:
                    self.note_step(name, exp, pre_model)
                return ok
            self.kill_during(exp, trigger, kill_mode)
            raise KillNow(exp)
        finally:
            if self.clip:
                self.clip.release()
                self.clip = None

    def kill_during(self, exp, trigger, mode):
        bulk = exp.name.startswith(("import", "restore"))
        if not bulk:
            if mode == "before":
                self.killed = "before the last key of %s" % exp.name
            else:
                trigger()
                time.sleep(self.rng.uniform(0, 0.25))
                self.killed = "right after the last key of %s" % exp.name
            self.app.kill()
            return
        answers = list(getattr(exp, "answers", []))
        trigger()
        start = time.monotonic()

        def fingerprint():
            # changes with every added or replaced row
            try:
                r = sqlite(self.db, "select (select count(*) || ':' || total(editTime) || ':' || total(length(content)) "
                                    "from tasks) || '/' || (select count(*) || ':' || total(editTime) from memos) as f", 10)
            except HarnessError:
                return None
            return r[0]["f"] if r else None

        before = fingerprint()
        if mode == "rows" and not self.step_count(exp):
            mode = "delay"  # answered so that nothing is written: no rows to wait for
        if mode == "rows":
            # As soon as a second connection sees some of the rows (or, when they change
            # nothing it can see, after about the time the operation takes).
            give_up = time.monotonic() + max(3.0, 2 * self.h.bulk_rate * self.step_count(exp))

            def partial():
                self.app.check_alive()
                self.answer_questions(answers, keep_going=True)
                f = fingerprint()
                return (f is not None and f != before) or time.monotonic() > give_up
            wait_for(partial, ceiling(60), 0.02)
            self.killed = "during %s once rows arrived" % exp.name
        elif mode == "question" and answers:
            upto = self.rng.randrange(len(answers))
            for _ in range(upto):
                self.answer_questions(answers, keep_going=False, wait=True)
            if not self.wait_question():
                raise HarnessError("question %d of %s did not come" % (upto + 1, exp.name))
            self.killed = "during %s with question %d open" % (exp.name, upto + 1)
        else:
            delay = self.rng.uniform(0, self.h.bulk_rate * self.step_count(exp) * 1.2)
            end = start + delay
            while time.monotonic() < end:
                self.answer_questions(answers, keep_going=True)
                time.sleep(0.01)
            self.killed = "during %s after %.2f s" % (exp.name, delay)
        self.app.kill()

    def new_question(self):
        ws = [w for w in windows("^Confirm Replace$") if w != self.answered_window]
        return ws[-1] if ws else None

    def wait_question(self, seconds=30):
        def cond():
            self.app.check_alive()
            return self.new_question()
        return wait_for(cond, ceiling(seconds))

    def answer_questions(self, answers, keep_going, wait=False):
        """Answers the Confirm Replace questions that are open now (or, with wait, the next
        one), in turn. Each question is a window of its own; the answered one goes first."""
        keymap = {"Yes": "alt+y", "All": "alt+a", "No": "alt+n", "Abort": "alt+b"}
        while answers:
            w = self.wait_question() if wait else self.new_question()
            if not w:
                return
            run(["xdotool", "windowactivate", "--sync", w], timeout=5 * SCALE)
            keys(keymap[answers[0]])
            self.answered_window = w
            answers.pop(0)
            wait_for(lambda: w not in windows("^Confirm Replace$"), ceiling(10))
            if not keep_going:
                return

    def bulk_acknowledge(self, exp, pre_model):
        answers = list(getattr(exp, "answers", []))
        start = time.monotonic()
        end = start + ceiling(120)
        while answers and time.monotonic() < end:
            left = len(answers)
            self.answer_questions(answers, keep_going=True, wait=True)
            if len(answers) == left:
                self.problem("%s asked %d questions, %d were to come" % (
                    exp.name, len(exp.answers) - left, len(exp.answers)))
                self.failed_exp = exp
                return False
        ok = self.acknowledge(exp, pre_model)
        if ok and self.step_count(exp) > 100:
            rate = (self.shown_at - start) / self.step_count(exp)
            self.h.bulk_rate = 0.5 * self.h.bulk_rate + 0.5 * rate
        return ok

    def after_kill(self, exp):
        """The checks after SIGKILL."""
        result = integrity(self.db)
        if result != "ok":
            self.integrity_ok = False
            self.problem("integrity_check after the kill: %s" % result[:300])
            return
        snap = Snapshot(self.db)
        exp = exp or Expectation("nothing")
        problems, done, lost = self.evaluate(self.model, snap, exp)
        for key in lost:
            self.lost_ops.add(self.owner.get(key))
        if exp.name != "nothing" and self.step_count(exp) > 1:
            self.killed += "; %d of its %d rows stored" % (done, self.step_count(exp))
        for p in problems:
            self.problem("after the kill: " + p)
        self.model = snap.rows

    def restart_check(self):
        """The program starts again on the file: its window appears and the tree shows the
        top-level rows; a new task is stored; SIGTERM ends it cleanly."""
        self.app.start()
        self.ready()
        text = self.token("r")
        pre = self.model
        self.app.activate()
        keys("Return")
        self.type_into_editor(text)
        t0 = now_days()
        keys("ctrl+Return")
        exp = Expectation("a task after the restart", new=NewRows("tasks", [self.new_row(text, "root", t0)]),
                          shown=self.top_level() + [text])
        if not self.acknowledge(exp, pre):
            return
        # the memo tree loads too
        self.switch_tab("memos")
        rc = self.app.terminate()
        if rc != 0:
            self.problem("SIGTERM after the restart: exit status %s" % rc)
        result = integrity(self.db)
        if result != "ok":
            self.integrity_ok = False
            self.problem("integrity_check after Exit: %s" % result[:300])

    def execute(self):
        # A fresh program folder: the template made by e2e_make_home, never run.
        shutil.copytree(self.h.template, self.home)
        big = os.path.join(self.dir, "big.zvx")
        shutil.copy(self.h.big_path, big)
        self.files.append((big, self.h.big_items))

        rng = self.rng
        # A first task, often an import or a restore early on (what follows it must be
        # stored as well), more operations, and the kill during or after the last one.
        count = rng.randint(self.h.min_ops, self.h.max_ops)
        plan = [("add", "tasks")] + [weighted(rng, OPS) for _ in range(count - 1)]
        if count > 2 and rng.random() < 0.6:
            plan[rng.randint(1, min(2, count - 2))] = (rng.choice(["import", "restore", "restore"]), None)
        kill_at = count
        mode = rng.choice(["idle", "during", "bulk", "bulk"])
        if mode == "bulk":
            plan[-1] = (rng.choice(["import", "restore", "restore"]), None)
            bulk_mode = rng.choice(["rows", "rows", "delay", "question"])
        else:
            bulk_mode = rng.choice(["rows", "delay"])
        self.plan = plan
        inflight = None
        try:
            self.app.start()
            self.ready()
            for i, (name, tab) in enumerate(plan):
                if tab:
                    self.switch_tab(tab)
                self.tree_order = self.listing(self.top_level()) if self.top_level() else []
                during = mode != "idle" and i == kill_at - 1
                kill_mode = None
                if during:
                    kill_mode = bulk_mode if name in BULK else rng.choice(["before", "after", "after"])
                try:
                    if name in BULK and not during:
                        made_ok = self.run_bulk(name)
                    else:
                        made_ok = self.run_op(name, kill_mode)
                    if made_ok is None:
                        # not possible in this state: an add instead
                        made_ok = self.run_op("add", kill_mode)
                except KillNow as k:
                    inflight = k.args[0]
                    break
                if made_ok is False:
                    self.app.kill()
                    self.killed = "at once, after a failed acknowledgement"
                    inflight = self.failed_exp
                    break
                if i == kill_at - 1:
                    time.sleep(rng.uniform(0, 0.3))
                    self.app.kill()
                    self.killed = "idle after %s" % self.acked[-1]
                    break
            else:
                self.app.kill()
                self.killed = "idle at the end"
        except ProgramGone as e:
            self.problem("%s; last lines of its output:\n%s" % (e, self.app.log_tail()))
            self.killed = "not needed: the program had ended"
        except HarnessError as e:
            shot(self.dir, "harness-error")
            self.app.kill()
            self.killed = "after a harness error"
            self.harness_error = str(e)
        if not self.app.alive():
            self.app.kill()
        self.after_kill(inflight)
        if not self.problems and not getattr(self, "harness_error", None):
            try:
                self.restart_check()
            except ProgramGone as e:
                self.problem("after the restart %s; last lines:\n%s" % (e, self.app.log_tail()))
            except HarnessError as e:
                self.problem("after the restart: %s" % e)
                shot(self.dir, "restart")
            finally:
                self.app.kill()
        elif self.problems:
            shot(self.dir, "failure")
        self.lost_ops.discard(None)

    def run_bulk(self, name):
        trace("operation %s" % name)
        self.app.activate()
        made = getattr(self, "op_" + name)()
        if made is None:
            return None
        exp, trigger = made
        pre = self.model
        trigger()
        self.forget_steps()
        return self.bulk_acknowledge(exp, pre)


def weighted(rng, table):
    total = sum(w for _, _, w in table)
    x = rng.uniform(0, total)
    for name, tab, w in table:
        x -= w
        if x <= 0:
            return name, tab
    return table[-1][:2]


def describe_listing(got, want):
    if got is None:
        return "nothing (no answer on the clipboard)"
    g, w = sorted(got), sorted(want)
    missing = [x for x in w if x not in g][:3]
    extra = [x for x in g if x not in w][:3]
    return "%d top-level tasks, expected %d (missing %r, unexpected %r)" % (len(g), len(w), missing, extra)


def describe_windows():
    parts = []
    for w in out(["xdotool", "search", "--onlyvisible", "--class", "jotboard"], timeout=10).split():
        name = out(["xdotool", "getwindowname", w], timeout=5).strip()
        parts.append("%s %r %dpx" % (w, name, window_width(w)))
    return ", ".join(parts)


def shot(folder, name):
    run(["import", "-window", "root", os.path.join(folder, name + ".png")], timeout=20)


# ---- the exchange files of the run ------------------------------------------------------------

def make_big_database(path, rng, memos, tasks):
    """Fills a fresh database with thousands of rows for the big exchange file: top-level items and
    sub-items (some before their parents), texts with markup characters and line breaks,
    null flags and colours, as another tool might leave them."""
    lines = ["BEGIN;"]
    base = to_days(dt.datetime(2025, 3, 1, 8, 0, 0))

    def guid():
        return "{%s}" % str(uuid.UUID(int=rng.getrandbits(128))).upper()

    def q(text):
        # a line break as char(13, 10): the sqlite3 program reads its input by lines
        return "||char(13,10)||".join("'" + part.replace("'", "''") + "'" for part in text.split("\r\n"))

    def stamp():
        return "%.10f" % (base + rng.randint(0, 400 * 86400) / 86400.0)

    roots = []
    rows = []
    for i in range(memos):
        mid = guid()
        if roots and rng.random() < 0.2:
            pid = rng.choice(roots)
        else:
            pid = "root"
            roots.append(mid)
        text = "y%05d memo & <note> \"%d\"" % (i, i) + ("\r\nsecond line" if i % 97 == 0 else "")
        rows.append("insert into memos (mid,pid,content,assignTime,createTime,editTime) values (%s,%s,%s,%s,%s,%s);"
                    % (q(mid), q(pid), q(text), stamp(), stamp(), stamp()))
    rng.shuffle(rows)
    lines += rows
    roots = []
    rows = []
    for i in range(tasks):
        tid = guid()
        if roots and rng.random() < 0.25:
            pid = rng.choice(roots)
        else:
            pid = "root"
            roots.append(tid)
        text = "z%05d task é & <b> '%d'" % (i, i) + ("\r\nline two" if i % 89 == 0 else "")
        flag = lambda: "null" if rng.random() < 0.02 else str(rng.randint(0, 1))
        color = lambda: "null" if rng.random() < 0.02 else str(rng.choice([0, 0, 255, 0xFF00, -16777199]))
        rows.append("insert into tasks (tid,pid,content,checkFlag,dueFlag,alarmFlag,textColor,backgroundColor,"
                    "createTime,editTime,checkTime,alarmTime,dueTime) values (%s,%s,%s,%s,%s,%s,%s,%s,%s,%s,%s,%s,%s);"
                    % (q(tid), q(pid), q(text), flag(), flag(), "0", color(), color(), stamp(), stamp(),
                       stamp(), "null", stamp()))
    # sub-items before their parents too: the backup writes rows in the table's order
    rng.shuffle(rows)
    lines += rows
    lines.append("COMMIT;")
    r = subprocess.run(["sqlite3", path], input="\n".join(lines).encode("utf-8"), capture_output=True)
    if r.returncode != 0:
        raise HarnessError("making the big database: %s" % r.stderr.decode())


class Harness:
    def __init__(self, args):
        self.exe = args.exe
        self.template = args.template
        self.work = args.work
        self.min_ops, self.max_ops = args.min_ops, args.max_ops
        self.bulk_rate = 1e-4  # seconds per row of an import or a restore, as measured
        self.big_path = os.path.join(self.work, "big.zvx")

    def make_big_file(self, seed, memos, tasks):
        """The big exchange file, written by the program's own backup."""
        folder = os.path.join(self.work, "bigfile")
        home = os.path.join(folder, "home")
        shutil.copytree(self.template, home)
        db = os.path.join(home, "zvData.zvb")
        make_big_database(db, random.Random(seed), memos, tasks)
        app = App(self.exe, home, os.path.join(folder, "app.log"))
        try:
            app.start()
            trial = Trial(self, 0, seed, folder)
            trial.app = app
            trial.model = Snapshot(db).rows
            trial.ready()
            keys("alt+f")
            if not wait_for(popup_shown, ceiling(5)):
                raise HarnessError("the File menu did not open")
            keys("b")
            start = time.monotonic()
            choose_file("Save As", self.big_path, app)
            got = trial.listing(top_level_contents(trial.model), 60)
            if got is None:
                raise HarnessError("the program did not answer after the backup")
            self.bulk_rate = (time.monotonic() - start) / max(1, memos + tasks)
            rc = app.terminate()
            if rc != 0:
                raise HarnessError("the program ended with %s after making the big file" % rc)
        except (ProgramGone, HarnessError):
            shot(folder, "failure")
            app.kill()
            raise
        self.big_items = read_zvx(self.big_path)
        problems = backup_matches(self.big_items, Snapshot(db).rows)
        if problems:
            raise HarnessError("the big backup does not hold the database: %s" % "; ".join(problems[:3]))


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--exe", required=True)
    ap.add_argument("--template", required=True,
                    help="a program folder with a fresh database, never opened (e2e_make_home)")
    ap.add_argument("--work", required=True)
    ap.add_argument("--trials", type=int, default=5)
    ap.add_argument("--seed", type=int, default=None)
    ap.add_argument("--min-ops", type=int, default=3)
    ap.add_argument("--max-ops", type=int, default=7)
    ap.add_argument("--memos", type=int, default=1500)
    ap.add_argument("--tasks", type=int, default=4500)
    ap.add_argument("--keep", action="store_true", help="keep the folders of passing trials too")
    args = ap.parse_args()

    seed = args.seed if args.seed is not None else random.SystemRandom().randrange(1, 10**6)
    print("crash trials: %d trials, seed %d (replay one trial: CRASH_SEED=<its seed> CRASH_TRIALS=1)" % (args.trials, seed))
    sys.stdout.flush()
    h = Harness(args)
    TRACE[0] = open(os.path.join(args.work, "bigfile-driver.log"), "w")
    t = time.monotonic()
    try:
        # the same big file in every run, so that a trial replays from its own seed alone
        h.make_big_file(1, args.memos, args.tasks)
    except (HarnessError, ProgramGone) as e:
        print("FAIL: could not make the big exchange file: %s" % e)
        print("0 trials, 0 changes lost, integrity not checked")
        return 1
    print("big exchange file: %d memos, %d tasks, backup took %.1f s" % (
        len(h.big_items["memos"]), len(h.big_items["tasks"]), time.monotonic() - t))

    lost_total = 0
    integrity_failures = 0
    failed = 0
    harness_errors = 0
    for n in range(args.trials):
        trial_seed = seed + n
        folder = os.path.join(args.work, "trial-%03d-seed-%d" % (n + 1, trial_seed))
        os.makedirs(folder, exist_ok=True)
        trial = Trial(h, n + 1, trial_seed, folder)
        TRACE[0] = open(os.path.join(folder, "driver.log"), "w")
        started = time.monotonic()
        try:
            trial.execute()
        except Exception as e:  # a bug of the driver itself: reported, the run goes on
            trial.harness_error = "driver error: %s\n%s" % (e, traceback.format_exc())
            trial.app.kill()
        lost = len(trial.lost_ops)
        lost_total += lost
        if not trial.integrity_ok:
            integrity_failures += 1
        herr = getattr(trial, "harness_error", None)
        status = "ok"
        if trial.problems:
            status = "FAIL"
            failed += 1
        elif herr:
            status = "HARNESS ERROR"
            harness_errors += 1
        print("trial %d seed %d: %s; %d acknowledged (%s); killed %s; %.1f s" % (
            n + 1, trial_seed, status, len(trial.acked), ", ".join(trial.acked) or "-", trial.killed,
            time.monotonic() - started))
        for p in trial.problems:
            print("    " + p.replace("\n", "\n    "))
        if herr:
            print("    harness: " + herr.replace("\n", "\n    "))
        TRACE[0].close()
        TRACE[0] = None
        if status == "ok" and not args.keep:
            shutil.rmtree(folder, ignore_errors=True)
        else:
            print("    kept: %s" % folder)
        sys.stdout.flush()

    if failed or harness_errors:
        print("%d of %d trials failed, %d harness errors" % (failed, args.trials, harness_errors))
    print("%d trials, %d changes lost, integrity %s" % (
        args.trials, lost_total, "ok" if integrity_failures == 0 else "FAILED in %d" % integrity_failures))
    return 0 if not failed and not harness_errors else 1


if __name__ == "__main__":
    sys.exit(main())
