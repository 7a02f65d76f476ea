-- The database the program is installed with: both tables, empty.
-- Date-times are REAL (days since 1899-12-30, local time), booleans 0/1.
CREATE TABLE tasks (
    tid TEXT,
    pid TEXT,
    content TEXT COLLATE NOCASE,
    checkFlag BOOLEAN,
    dueFlag BOOLEAN,
    alarmFlag BOOLEAN,
    expandFlag BOOLEAN,
    textColor INTEGER,
    backgroundColor INTEGER,
    createTime DATETIME,
    editTime DATETIME,
    checkTime DATETIME,
    alarmTime DATETIME,
    dueTime DATETIME
);
CREATE INDEX tasks_tid ON tasks (tid);
CREATE INDEX tasks_pid ON tasks (pid);
-- The tray hint lists the first incomplete tasks by content.
CREATE INDEX tasks_content ON tasks (content);

CREATE TABLE memos (
    mid TEXT,
    pid TEXT,
    content TEXT COLLATE NOCASE,
    expandFlag BOOLEAN,
    assignTime DATETIME,
    createTime DATETIME,
    editTime DATETIME
);
CREATE INDEX memos_mid ON memos (mid);
CREATE INDEX memos_pid ON memos (pid);

-- The sync's own state (CalDAV), in this file beside the data, so that one transaction
-- stores an applied change together with what was synced: a crash keeps both or neither.
-- Tables of later additions say IF NOT EXISTS: an older database gets them too.
-- Per item: its table ("tasks", "memos"), the local id (empty for a server item that is no
-- task or memo), its UID, its path on the server, the ETag, the server's parent UID, the
-- iCalendar text last synced (what another program wrote is kept from it) and the values
-- the local row had when last synced (JSON by column), against which local changes show.
CREATE TABLE IF NOT EXISTS zvsync_items (
    kind TEXT,
    id TEXT,
    uid TEXT,
    href TEXT,
    etag TEXT,
    parent TEXT,
    ical TEXT,
    fields TEXT
);
CREATE INDEX IF NOT EXISTS zvsync_items_id ON zvsync_items (kind, id);
CREATE INDEX IF NOT EXISTS zvsync_items_href ON zvsync_items (kind, href);
-- Per table: the collection it syncs with and the server's sync token for it.
CREATE TABLE IF NOT EXISTS zvsync_collections (
    kind TEXT,
    url TEXT,
    token TEXT
);
-- The last syncs: when, the counts, and the error that ended one.
CREATE TABLE IF NOT EXISTS zvsync_log (
    time DATETIME,
    up INTEGER,
    down INTEGER,
    conflicts INTEGER,
    message TEXT
);
