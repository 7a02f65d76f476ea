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
